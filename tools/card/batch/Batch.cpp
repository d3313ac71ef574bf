#include "tools/card/batch/Batch.h"

#include "tools/card/batch/Console.h"

namespace card {

Batch::Batch(std::wstring title, const BatchOptions& options, std::vector<std::wstring> extensions, const wchar_t* what)
    : request_{options.operands, std::move(extensions), options.recursive, options.shard},
      jobs_(options.jobs),
      what_(what),
      walked_(WalkAndReport(request_)),
      tally_(std::move(title)) {}

bool Batch::NothingFound() const { return SayNothingFound(walked_, request_.shard, what_); }

bool SayNothingFound(const Walked& walked, const scanleaf::core::Shard& shard, const wchar_t* what) {
    if (!walked.sources.empty()) return false;
    if (walked.otherShards) {
        Err(L"scanleaf-card: --shard " + std::to_wstring(shard.index) + L"/" + std::to_wstring(shard.count) + L" takes none of the " +
            std::to_wstring(walked.otherShards) + L" " + what + L" found; the other shards have them\n");
        return false;
    }
    if (walked.missing.empty()) Err(L"scanleaf-card: no " + std::wstring(what) + L" found\n");
    return true;
}

int Batch::Refuse(const std::wstring& reason, size_t& into) { return tally_.RefuseAll(reason, into, Sources().size()); }

} // namespace card
