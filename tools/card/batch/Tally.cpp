#include "tools/card/batch/Tally.h"

#include "tools/card/batch/Console.h"

namespace card {

size_t& Tally::Count(const std::wstring& name, bool failing, Shown shown) {
    counts_.push_back({name, 0, failing, shown});
    return counts_.back().count;
}

std::wstring Tally::Counts() const {
    std::wstring counts;
    for (const Entry& e : counts_) {
        if (e.shown == Never || (e.shown == IfAny && e.count == 0)) continue;
        counts += (counts.empty() ? L"" : L", ") + e.name + L" " + std::to_wstring(e.count);
    }
    return counts;
}

std::wstring Tally::Line() const {
    const std::wstring counts = Counts();
    return title_ + L":" + (counts.empty() ? L"" : L" " + counts) + L"\n";
}

int Tally::ExitCode(bool failedOtherwise) const {
    bool failed = failedOtherwise;
    for (const Entry& e : counts_) failed = failed || (e.failing && e.count);
    return failed ? 1 : 0;
}

int Tally::Report(bool failedOtherwise) const {
    Err(Line());
    return ExitCode(failedOtherwise);
}

int Tally::RefuseAll(const std::wstring& reason, size_t& into, size_t sources) {
    Err(L"scanleaf-card: " + reason + L"\n");
    into += sources;
    return Report(true);
}

std::wstring Summary::Line() const {
    Tally tally(L"");
    tally.Count(L"files read") = read;
    tally.Count(L"changed") = changed;
    tally.Count(L"unchanged") = unchanged;
    tally.Count(L"failed") = failed;
    tally.Count(L"skipped", false, Tally::IfAny) = skipped;
    return tally.Counts();
}

} // namespace card
