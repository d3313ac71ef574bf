// convert --to cals: scans made CALS type 1 files, by the CALS writer, with every output of the
// whole walk named before any work.
#include "tools/card/commands/ConvertCals.h"

#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/cards/TableFile.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/CalsConversion.h"
#include "tools/common/Plugin.h"

#include <memory>

namespace card {

namespace {

struct CalsRequest {
    CalsOptions options;
    std::wstring table;
    TableReading reading;
    std::wstring output;
    scanleaf::core::Shard shard;
    bool overwrite = false;
    bool recursive = false;
    unsigned jobs = 1;
    std::vector<std::wstring> paths;
};

// The other mode's options are refused by the parser (the command list says which are whose).
bool ParseRequest(const ConvertOptions& a, CalsRequest& request) {
    request.options.threshold = int(a.threshold);
    request.options.dpi = std::uint32_t(a.dpi);
    for (const std::wstring& pair : a.set) {
        const size_t eq = pair.find(L'=');
        if (eq == std::wstring::npos || eq == 0) return UsageError(L"--set takes NAME=VALUE, not \"" + pair + L"\""), false;
        request.options.values.push_back({pair.substr(0, eq), pair.substr(eq + 1)});
    }
    request.table = a.table;
    request.reading.ansi = a.encoding == L"ansi";
    if (!a.delimiter.empty()) request.reading.parse.delimiter = a.delimiter[0];
    request.output = a.output;
    request.overwrite = a.overwrite;
    request.recursive = a.recursive;
    request.options.skipExisting = a.skipExisting;
    request.paths = a.operands;
    request.jobs = a.jobs;
    request.shard = a.shard;
    return true;
}

} // namespace

int ConvertToCals(const ConvertOptions& args, const Setup& setup) {
    CalsRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    // -o names one file when it ends as a CALS file does; otherwise a folder.
    std::vector<std::wstring> calsExtensions;
    for (const std::wstring& e : CalsExtensions(setup.Format())) calsExtensions.push_back(L"." + e);
    OutputTarget target;
    std::wstring error;
    if (!ReadOutputTarget(request.output, calsExtensions, L"--to cals", target, error)) return UsageError(error);
    Batch batch(L"convert", {request.paths, kPictureExtensions, request.recursive, request.shard}, L"pictures");
    const Walked& walked = batch.Walk();
    std::vector<std::wstring> sources;
    for (const Source& s : walked.sources) sources.push_back(s.path);
    batch.Count(L"pictures") = sources.size();
    size_t& written = batch.Count(L"CALS files written");
    size_t& upToDate = batch.Count(L"pictures up to date", false, request.options.skipExisting ? Tally::Always : Tally::Never);
    size_t& refused = batch.Count(L"pictures refused", true);
    size_t& leftOut = batch.Count(L"pages left out", true, Tally::IfAny);
    size_t& newCards = batch.Count(L"pages that came without a header", false, Tally::IfAny);
    refused = batch.Missing();
    auto refuseAll = [&](const std::wstring& reason) { return batch.Refuse(reason, refused); };
    PictureCardRows table;
    if (!request.table.empty() && !table.Load(request.table, request.reading, walked))
        return refuseAll(request.table + L" refused: every row names a picture of the run, and every picture has a row");
    if (sources.empty()) return batch.NoneFound();
    if (target.Single() && sources.size() > 1)
        return refuseAll(L"-o " + request.output + L" names one file, for " + std::to_wstring(sources.size()) +
                         L" pictures; name a folder");
    if (const std::wstring problem = MakeTargetFolders(target); !problem.empty()) return refuseAll(problem);
    std::vector<std::unique_ptr<CalsConverter>> converters;
    for (unsigned w = 0; w < request.jobs; ++w)
        converters.push_back(std::make_unique<CalsConverter>(setup.Format(), request.options, table));
    // The plan: every source's pages counted first, then every output named from the sources
    // alone, so that no two share a name and every job count names alike; a name that was there
    // before the run refuses its source unless --overwrite or --skip-existing.
    // A shard counts the pages of the whole walk, so that its names are those of a whole run.
    const std::vector<std::wstring>& everyone = walked.everyone;
    std::vector<std::wstring> problems(everyone.size());
    std::vector<scanleaf::core::PlannedSource> planned;
    {
        struct Counted {
            std::uint32_t pages = 0;
            std::wstring problem;
            std::vector<std::wstring> titles;
        };
        std::vector<Counted> counts(everyone.size());
        OrderedPool<size_t, Counted> counting(
            request.jobs,
            [&](unsigned worker, const size_t& i) {
                Counted counted;
                counted.pages = converters[worker]->Pages(everyone[i], counted.problem, counted.titles);
                return counted;
            },
            [&](const size_t& i, Counted& counted) { counts[i] = std::move(counted); });
        for (size_t i = 0; i < everyone.size(); ++i) counting.Add(i);
        counting.Finish();
        for (size_t i = 0; i < everyone.size(); ++i) {
            problems[i] = counts[i].problem;
            planned.push_back({everyone[i], counts[i].pages, counts[i].titles});
        }
    }
    const OutputPlan plan =
        PlanOutputs(planned, walked.mine, target, L".cal", request.overwrite || request.options.skipExisting, true);
    const std::vector<std::vector<std::wstring>>& names = plan.names;
    {
        std::vector<std::wstring> own(sources.size());
        for (size_t i = 0; i < sources.size(); ++i) own[i] = problems[walked.mine[i]].empty() ? plan.blocked[i] : problems[walked.mine[i]];
        problems = std::move(own);
    }
    batch.Each<CalsConverter::Result>(
        request.jobs,
        [&](unsigned worker, size_t i) {
            if (!problems[i].empty()) {
                CalsConverter::Result result;
                result.refused = sources[i] + L": " + problems[i] + L"; nothing written\n";
                return result;
            }
            return converters[worker]->Convert(sources[i], names[i]);
        },
        [&](size_t, CalsConverter::Result& result) {
            if (!result.refused.empty()) {
                Err(result.refused);
                ++refused;
                return;
            }
            Out(result.lines);
            if (!result.leftOut.empty()) Err(result.leftOut);
            leftOut += result.pagesLeftOut;
            written += result.written;
            newCards += result.newCards;
            upToDate += result.upToDate;
        });
    return batch.End();
}

} // namespace card
