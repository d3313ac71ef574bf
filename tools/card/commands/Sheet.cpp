// sheet: one self-contained HTML page for reviewing a batch: each drawing's thumbnail beside its
// card and its verify status, sorted by path. No script, nothing fetched: the thumbnails are
// embedded; it reads on a phone (one column) and prints (no backgrounds needed, no card split).
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/cards/Card.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/Drawing.h"
#include "tools/card/picture/ReviewPage.h"
#include "tools/common/Plugin.h"

#include <algorithm>

#include <memory>

namespace card {

int Sheet(const BatchOptions& options, const Setup& setup) {
    OutputTarget target;
    std::wstring error;
    if (!ReadOutputTarget(options.output, {L".html", L".htm"}, L"sheet", target, error, false)) return UsageError(error);
    const std::wstring& page = options.output;
    Batch batch(L"sheet: " + page, options, setup.Extensions());
    const std::vector<Source>& files = batch.Sources();
    size_t& shown = batch.Count(L"drawings");
    size_t& sound = batch.Count(L"sound");
    size_t& damaged = batch.Count(L"damaged", true);
    size_t& other = batch.Count(L"not type 1");
    size_t& foreign = batch.Count(L"left out (not CALS)", true, Tally::IfAny);
    batch.Count(L"not found", true, Tally::IfAny) = batch.Missing();
    // The line goes with the page: to standard output when it is written, else as an error.
    auto summary = [&](bool written) {
        Tally& tally = batch.Counts();
        if (!written) tally.Retitle(L"sheet: " + page + L" not written");
        (written ? Out : Err)(tally.Line());
        return tally.ExitCode(!written);
    };
    // A shard that the split left empty writes its page all the same, without drawings.
    if (files.empty() && batch.NothingFound()) return summary(false);
    SectionSpool sections;
    bool ok = true;
    // Each drawing's section is made on a job's thread (with its own reader of cards) and added
    // here, in path order.
    struct Made {
        DrawingCheck check;
        std::string section;
    };
    const auto readers = CardReaders(setup.Format(), batch.Jobs());
    batch.Each<Made>(
        [&](unsigned worker, size_t i) {
            Made made;
            ThumbnailSink sink(256);
            made.check = DecodeDrawing(files[i].path, &sink);
            if (!made.check.foreign) made.section = Utf8(ReviewSection(files[i].path, made.check, sink, *readers[worker]));
            return made;
        },
        [&](size_t i, Made& made) {
            if (made.check.foreign) {
                Err(files[i].path + L": " + made.check.unreadable + L"; left out\n");
                ++foreign;
                return;
            }
            ++shown;
            const std::wstring header = HeaderProblem(made.check);
            if (!header.empty()) Err(files[i].path + L": " + header + L"; shown as stored\n");
            ++(made.check.Sound() ? sound : made.check.unreadable.empty() && !made.check.info.type1 ? other : damaged);
            ok = ok && sections.Add(made.section);
        },
        [&] { return !ok; });
    std::wstring heading = std::to_wstring(shown) + L" drawing(s)";
    if (damaged) heading += L", " + std::to_wstring(damaged) + L" damaged";
    if (other) heading += L", " + std::to_wstring(other) + L" not type 1";
    const std::wstring problem = IsFolder(page) ? OccupiedText(page, false) : MakeFoldersOf(page);
    if (!problem.empty()) {
        Err(L"scanleaf-card: " + problem + L"\n");
        return summary(false);
    }
    AtomicFile written(page);
    ok = ok && written.IsOpen() && written.Write(Utf8(std::wstring(kReviewPageHead) + L"<h1>" + heading + L"</h1>\n")) &&
         sections.CopyTo(written) && written.Write(Utf8(L"</body></html>\n")) && written.Commit();
    if (!ok) {
        Err(L"scanleaf-card: " + CannotWrite(page, GetLastError()) + L"\n");
        return summary(false);
    }
    return summary(true);
}

} // namespace card
