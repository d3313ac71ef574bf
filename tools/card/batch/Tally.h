// The closing line of a batch command and its exit code, from counts declared once in the
// order the line shows them: "verify: files 3, sound 2, damaged 1, ...". Every path of a
// command ends with it.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace card {

class Tally {
public:
    enum Shown { Always, IfAny, Never };

    explicit Tally(std::wstring title) : title_(std::move(title)) {}
    // A count of the line. `failing`: above 0 it makes the exit code 1. The reference stays
    // valid as long as the tally.
    size_t& Count(const std::wstring& name, bool failing = false, Shown shown = Always);
    void Retitle(std::wstring title) { title_ = std::move(title); }

    // "TITLE: name N, name N\n"
    std::wstring Line() const;
    // "name N, name N", for a line that goes on ("repair (dry run): ...; nothing written").
    std::wstring Counts() const;
    // 1 when a failing count is above 0 or `failedOtherwise`, else 0.
    int ExitCode(bool failedOtherwise = false) const;
    // The line on standard error; the exit code.
    int Report(bool failedOtherwise = false) const;
    // A run refused whole, before any work: the reason on a line of its own, `sources` added to
    // the failing count `into`, then the closing line. Exit 1.
    int RefuseAll(const std::wstring& reason, size_t& into, size_t sources);

private:
    struct Entry {
        std::wstring name;
        size_t count;
        bool failing;
        Shown shown;
    };
    std::wstring title_;
    std::deque<Entry> counts_;
};

// The counts of a run that changes files (import, repair): one closing line of a Tally.
struct Summary {
    size_t read = 0;
    size_t changed = 0;
    size_t unchanged = 0;
    size_t failed = 0;
    size_t skipped = 0; // read, and left as they are on purpose
    std::wstring Line() const; // "files read 3, changed 1, unchanged 2, failed 0[, skipped 1]"
};

} // namespace card
