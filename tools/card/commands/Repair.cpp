// repair: the one damage that a drawing's own stream proves, mended. When a type 1 stream ends
// with its end-of-block code after a number of whole lines that differs from rpelcnt's, the line
// count is set to the lines decoded, in place, digit for digit; no other byte of the file
// changes, and every change goes through the journal that undo reads. Damage the stream does not
// prove (a stream cut short, a code that fits no width) is named and left as it is.
#include "core/cals/CalsImage.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/cards/Journaled.h"
#include "tools/card/cards/LineCountFinding.h"
#include "tools/card/commands/Commands.h"
#include "tools/common/Plugin.h"

#include <map>

namespace card {

namespace {

namespace core = scanleaf::core;

std::wstring RpelcntText(const std::string& header) {
    const core::CalsImageInfo info = core::ReadImageInfo(reinterpret_cast<const unsigned char*>(header.data()));
    return std::to_wstring(info.width) + L"," + std::to_wstring(info.height);
}

} // namespace

int Repair(const RepairOptions& request, const Setup& setup) {
    Batch batch(L"repair", request, setup.Extensions());
    std::vector<std::wstring> files;
    for (const Source& s : batch.Sources()) files.push_back(s.path);
    std::vector<FilePlan> plans;
    std::map<std::wstring, std::pair<std::string, std::string>> headers; // path -> before, after
    std::wstring mended;                                                 // said once the journal holds them
    size_t sound = 0, left = batch.Missing();
    // One file at a time: what is mended is written later, behind one journal.
    batch.Each<LineCountFinding>([&](unsigned, size_t i) { return ExamineLineCount(files[i]); }, [&](size_t i, LineCountFinding& f) {
        const std::wstring& file = files[i];
        if (f.sound) {
            ++sound;
        } else if (f.header.empty()) {
            Err(file + L": not mended: " + f.reason + L"\n");
            ++left;
        } else {
            plans.push_back({file, L"", {{L"rpelcnt", RpelcntText(f.before), RpelcntText(f.header)}}});
            headers[file] = {f.before, f.header};
            mended += file + L": " + (request.dryRun ? L"would mend: " : L"") + L"rpelcnt " +
                      plans.back().changes[0].before + L" -> " + plans.back().changes[0].after +
                      L": the stream ends cleanly after " + Lines(f.decoded) + L", not " + std::to_wstring(f.lines) + L"\n";
        }
    });
    const bool none = batch.NothingFound();
    Summary summary;
    summary.read = files.size();
    summary.changed = plans.size();
    summary.unchanged = sound;
    summary.failed = left;
    Tally tally(ShardTitle(L"repair", request.shard));
    tally.Count(L"files") = files.size();
    tally.Count(L"sound") = sound;
    tally.Count(request.dryRun ? L"would mend" : L"mended") = plans.size();
    tally.Count(L"not mended") = left;
    const std::wstring counts = tally.Counts();
    if (request.dryRun || plans.empty()) {
        Out(mended + ShardTitle(request.dryRun ? L"repair (dry run)" : L"repair", request.shard) + L": " + counts +
            (request.dryRun && !plans.empty() ? L"; nothing written\n" : L"\n"));
        return left || none ? 1 : 0;
    }
    // What is mended is said once the journal that undoes it is written and the headers saved.
    const int rc = WritePlans(
        plans, request.journal, JournalOf::Repair, summary, ShardTitle(L"repair", request.shard),
        [&headers](const FilePlan& plan) {
            const auto& h = headers[plan.path];
            return ReplaceHeader(plan.path, h.first, h.second);
        },
        counts, mended);
    return rc ? rc : left ? 1 : 0;
}

} // namespace card
