#include "tools/card/batch/Tally.h"

#include "tools/card/batch/Console.h"

namespace card {

size_t& Tally::Count(const wchar_t* name, bool failing, Shown shown) {
    counts_.push_back({name, 0, failing, shown});
    return counts_.back().count;
}

std::wstring Tally::Line() const {
    std::wstring line = title_ + L":";
    bool first = true;
    for (const Entry& e : counts_) {
        if (e.shown == Never || (e.shown == IfAny && e.count == 0)) continue;
        line += (first ? L" " : L", ") + e.name + L" " + std::to_wstring(e.count);
        first = false;
    }
    return line + L"\n";
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

} // namespace card
