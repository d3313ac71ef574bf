#include "tools/card/batch/Batch.h"

#include "tools/card/batch/Console.h"

namespace card {

Batch::Batch(std::wstring title, const WalkRequest& walk) : walked_(WalkAndReport(walk)), tally_(std::move(title)) {}

int Batch::NoneFound(const wchar_t* what) {
    if (walked_.missing.empty()) Err(L"scanleaf-card: no " + std::wstring(what) + L" found\n");
    return End(true);
}

int Batch::Refuse(const std::wstring& reason, size_t& into) { return tally_.RefuseAll(reason, into, Sources().size()); }

} // namespace card
