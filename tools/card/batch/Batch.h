// The one driver of a batch command: the walk before any work (missing operands named and
// counted), "no files found", the jobs with their results reported in the files' order, the
// progress line, and the closing line with its exit code on every path. A command declares its
// counts, says what one file's work is and how its result is reported, and ends with End.
#pragma once

#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"

#include <functional>
#include <string>

namespace card {

class Batch {
public:
    // Walks at once; each operand that names nothing is said on standard error.
    Batch(std::wstring title, const WalkRequest& walk);

    const Walked& Walk() const { return walked_; }
    const std::vector<Source>& Sources() const { return walked_.sources; }
    size_t Missing() const { return walked_.missing.size(); }

    // The counts of the closing line, in the order it shows them (see Tally).
    size_t& Count(const wchar_t* name, bool failing = false, Tally::Shown shown = Tally::Always) {
        return tally_.Count(name, failing, shown);
    }
    Tally& Counts() { return tally_; }

    // No source: "scanleaf-card: no WHAT found" unless an operand named nothing, then the
    // closing line, exit 1.
    int NoneFound(const wchar_t* what = L"CALS files");
    // A run refused whole before any work: the reason, every source counted into `into`, the
    // closing line, exit 1.
    int Refuse(const std::wstring& reason, size_t& into);
    // The closing line on standard error; 1 when a failing count is above 0 or `failedOtherwise`.
    int End(bool failedOtherwise = false) const { return tally_.Report(failedOtherwise); }

    // Each source by `jobs` threads: `work` on a job's thread, `report` here in the sources'
    // order, the progress line stepping after each. `stop`, when given, ends the adding of
    // sources once it says so (a resumable table that can no longer be kept).
    template <class Result>
    void Each(unsigned jobs, std::function<Result(unsigned worker, size_t index)> work,
              std::function<void(size_t index, Result& result)> report, std::function<bool()> stop = {}) {
        Progress progress(Sources().size());
        size_t done = 0;
        OrderedPool<size_t, Result> pool(jobs, work, [&](const size_t& i, Result& result) {
            report(i, result);
            progress.Step(++done, Sources()[i].path);
        });
        for (size_t i = 0; i < Sources().size() && !(stop && stop()); ++i) pool.Add(i);
        pool.Finish();
        progress.Clear();
    }

private:
    Walked walked_;
    Tally tally_;
};

} // namespace card
