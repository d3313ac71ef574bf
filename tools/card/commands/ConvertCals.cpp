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

} // namespace

int ConvertToCals(const ConvertOptions& options, const Setup& setup) {
    // -o names one file when it ends as a CALS file does; otherwise a folder.
    std::vector<std::wstring> calsExtensions;
    for (const std::wstring& e : setup.Extensions()) calsExtensions.push_back(L"." + e);
    OutputTarget target;
    std::wstring error;
    if (!ReadOutputTarget(options.output, calsExtensions, L"--to cals", target, error)) return UsageError(error);
    const CalsOptions cals{options.set, options.threshold, options.dpi, options.skipExisting};
    Batch batch(L"convert", options, kPictureExtensions, L"pictures");
    const Walked& walked = batch.Walk();
    std::vector<std::wstring> sources;
    for (const Source& s : walked.sources) sources.push_back(s.path);
    batch.Count(L"pictures") = sources.size();
    size_t& written = batch.Count(L"CALS files written");
    size_t& upToDate = batch.Count(L"pictures up to date", false, options.skipExisting ? Tally::Always : Tally::Never);
    size_t& refused = batch.Count(L"pictures refused", true);
    size_t& leftOut = batch.Count(L"pages left out", true, Tally::IfAny);
    size_t& newCards = batch.Count(L"pages that came without a header", false, Tally::IfAny);
    refused = batch.Missing();
    auto refuseAll = [&](const std::wstring& reason) { return batch.Refuse(reason, refused); };
    PictureCardRows table;
    if (!options.table.empty() && !table.Load(options.table, options.Reading(), walked))
        return refuseAll(options.table + L" refused: every row names a picture of the run, and every picture has a row");
    if (sources.empty()) return batch.NoneFound();
    int refusedWhole = 0;
    if (!batch.PrepareOutputs(target, L"file", L"pictures", refused, refusedWhole)) return refusedWhole;
    std::vector<std::unique_ptr<CalsConverter>> converters;
    for (unsigned w = 0; w < batch.Jobs(); ++w)
        converters.push_back(std::make_unique<CalsConverter>(setup.Format(), cals, table));
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
            batch.Jobs(),
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
    const OutputPlan plan = batch.PlanOutputs(target, L".cal", options.overwrite || options.skipExisting, planned);
    const std::vector<std::vector<std::wstring>>& names = plan.names;
    {
        std::vector<std::wstring> own(sources.size());
        for (size_t i = 0; i < sources.size(); ++i) own[i] = problems[walked.mine[i]].empty() ? plan.blocked[i] : problems[walked.mine[i]];
        problems = std::move(own);
    }
    batch.Each<CalsConverter::Result>(
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
