#include "tools/card/batch/Batch.h"

#include "tools/card/batch/Console.h"

namespace card {

Batch::Batch(std::wstring title, const BatchOptions& options, std::vector<std::wstring> extensions, const wchar_t* what)
    : request_{options.operands, std::move(extensions), options.recursive, options.shard},
      jobs_(options.jobs),
      what_(what),
      walked_(WalkAndReport(request_)),
      tally_(ShardTitle(std::move(title), options.shard)) {}

std::wstring ShardTitle(std::wstring title, const scanleaf::core::Shard& shard) {
    if (shard.Splits()) title += L" (shard " + scanleaf::core::ShardText(shard) + L")";
    return title;
}

bool Batch::NothingFound() const { return SayNothingFound(walked_, request_.shard, what_); }

bool SayNothingFound(const Walked& walked, const scanleaf::core::Shard& shard, const wchar_t* what) {
    if (!walked.sources.empty()) return false;
    if (walked.otherShards) {
        Err(L"scanleaf-card: --shard " + scanleaf::core::ShardText(shard) + L" takes none of the " +
            std::to_wstring(walked.otherShards) + L" " + what + L" found; the other shards have them\n");
        return false;
    }
    if (walked.missing.empty()) Err(L"scanleaf-card: no " + std::wstring(what) + L" found\n");
    return true;
}

int Batch::Refuse(const std::wstring& reason, size_t& into) { return tally_.RefuseAll(reason, into, Sources().size()); }

bool Batch::PrepareOutputs(const OutputTarget& target, const wchar_t* one, const wchar_t* many, size_t& into, int& exit) {
    if (one && target.Single() && Sources().size() > 1) {
        exit = Refuse(L"-o " + target.file + L" names one " + one + L", for " + std::to_wstring(Sources().size()) + L" " + many +
                          L"; name a folder",
                      into);
        return false;
    }
    if (const std::wstring problem = MakeTargetFolders(target); !problem.empty()) {
        exit = Refuse(problem, into);
        return false;
    }
    return true;
}

OutputPlan Batch::PlanOutputs(const OutputTarget& target, const std::wstring& extension, bool replace,
                              std::vector<scanleaf::core::PlannedSource> planned) const {
    if (planned.empty())
        for (const std::wstring& path : walked_.everyone) planned.push_back({path, 1});
    return card::PlanOutputs(planned, walked_.mine, target, extension, replace, true);
}

} // namespace card
