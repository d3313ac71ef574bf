// sheet: one self-contained HTML page for reviewing a batch: each drawing's thumbnail beside its
// card and its verify status, sorted by path. No script, nothing fetched: the thumbnails are
// embedded; it reads on a phone (one column) and prints (no backgrounds needed, no card split).
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Output.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/card/Card.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/Drawing.h"
#include "tools/card/picture/Png.h"
#include "tools/common/Plugin.h"

#include <algorithm>

#include <memory>

namespace card {

namespace {

struct SheetRequest {
    bool recursive = false;
    unsigned jobs = 1;
    std::wstring output;
    scanleaf::core::Shard shard;
    std::vector<std::wstring> paths;
};

bool ParseRequest(const Arguments& a, SheetRequest& request) {
    request.jobs = JobsOf(a);
    request.shard = ShardOf(a);
    request.recursive = a.Has(L"--recursive");
    request.output = a.Value(L"-o");
    request.paths = a.operands;
    if (request.output.empty()) return UsageError(L"sheet needs -o PAGE.html"), false;
    OutputTarget target;
    std::wstring error;
    if (!ReadOutputTarget(request.output, {L".html", L".htm"}, L"sheet", target, error, false))
        return UsageError(error), false;
    return true;
}

std::wstring Html(const std::wstring& text) { return scanleaf::core::MarkupEscaped(text); }

std::wstring Base64(const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned n = (unsigned(static_cast<unsigned char>(bytes[i])) << 16) |
                           (i + 1 < bytes.size() ? unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0) |
                           (i + 2 < bytes.size() ? unsigned(static_cast<unsigned char>(bytes[i + 2])) : 0);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

const wchar_t kHead[] = LR"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Drawings for review</title>
<style>
body { font: 14px/1.4 system-ui, sans-serif; margin: 1rem; color: #111; }
h1 { font-size: 1.3rem; }
.drawing { display: grid; grid-template-columns: 260px 1fr; gap: 1rem; padding: 1rem 0;
           border-top: 1px solid #bbb; break-inside: avoid; }
.drawing img { max-width: 256px; max-height: 256px; border: 1px solid #888; image-rendering: auto; }
.path { font-weight: 600; word-break: break-all; }
.status { display: inline-block; padding: 0 .4em; border: 1px solid; border-radius: 3px; margin: .3em 0; }
.sound { color: #075; } .damaged { color: #b00; font-weight: 600; } .other { color: #555; }
table { border-collapse: collapse; } td { padding: 0 .8em 0 0; vertical-align: top; }
td.name { color: #555; white-space: nowrap; } .ro { color: #999; font-size: .85em; }
@media (max-width: 600px) { .drawing { grid-template-columns: 1fr; } }
@media print { body { margin: 0; } .drawing { page-break-inside: avoid; } }
</style></head><body>
)";

// The page's sections, held in a temporary file until the heading can count them.
class SectionSpool {
public:
    SectionSpool() : file_(OpenScratchFile(L"sls")) {}
    ~SectionSpool() {
        if (file_) fclose(file_);
    }
    SectionSpool(const SectionSpool&) = delete;
    SectionSpool& operator=(const SectionSpool&) = delete;
    bool Add(const std::string& bytes) { return file_ && fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size(); }
    bool CopyTo(AtomicFile& page) {
        if (!file_ || fflush(file_) != 0 || fseek(file_, 0, SEEK_SET) != 0) return false;
        std::string buffer(65536, '\0');
        size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), file_)) > 0)
            if (!page.Write(buffer.substr(0, n))) return false;
        return !ferror(file_);
    }

private:
    FILE* file_;
};

// A header the page cannot show as it says (a density or orientation no scanner gives): the
// thumbnail is shown as stored, and the page says so.
std::wstring HeaderProblem(const DrawingCheck& check) {
    return check.Decodable() ? FromUtf8(scanleaf::core::DrawingHeaderProblem(check.info)) : std::wstring();
}

std::wstring HeaderNote(const DrawingCheck& check) {
    const std::wstring problem = HeaderProblem(check);
    return problem.empty() ? std::wstring() : L"<div class=\"status other\">" + Html(problem) + L"; shown as stored</div>";
}

std::wstring Section(const std::wstring& path, const DrawingCheck& check, ThumbnailSink& sink, CardReader& reader) {
    std::wstring picture = L"<div>no picture</div>";
    if (check.Decodable()) {
        const ThumbnailSink::Picture shown = sink.Shown();
        std::string png;
        if (SUCCEEDED(GreyPngBytes(shown.width, shown.height, shown.grey, shown.dpi, png)))
            picture = L"<img alt=\"thumbnail\" width=\"" + std::to_wstring(shown.width) + L"\" height=\"" +
                      std::to_wstring(shown.height) + L"\" src=\"data:image/png;base64," + Base64(png) + L"\">";
    }
    const bool other = check.unreadable.empty() && !check.info.type1;
    std::wstring html = L"<section class=\"drawing\"><div>" + picture + L"</div><div><div class=\"path\">" + Html(path) +
                        L"</div><div class=\"status " +
                        (check.Sound() ? L"sound\">sound"
                         : other       ? L"other\">not type 1"
                                       : L"damaged\">damaged: " + Html(check.Problem())) +
                        L"</div>" + HeaderNote(check);
    std::vector<CardEntry> card;
    const HRESULT read = reader.ReadChecked(path, card); // decoded above: not of another format
    if (FAILED(read)) {
        html += L"<div>card: " + Html(DescribeHresult(read)) + L"</div>";
    } else {
        html += L"<table>";
        for (const CardEntry& e : card)
            html += L"<tr><td class=\"name\">" + Html(e.name) + (e.readOnly ? L" <span class=\"ro\">ro</span>" : L"") +
                    L"</td><td>" + Html(e.value) + L"</td></tr>";
        html += L"</table>";
    }
    return html + L"</div></section>\n";
}

} // namespace

int Sheet(const Arguments& args, const Setup& setup) {
    SheetRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    const Walked walked = WalkAndReport({request.paths, CalsExtensions(setup.Format()), request.recursive, request.shard});
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);
    const size_t missing = walked.missing.size();
    Tally tally(L"sheet: " + request.output);
    size_t& shown = tally.Count(L"drawings");
    size_t& sound = tally.Count(L"sound");
    size_t& damaged = tally.Count(L"damaged", true);
    size_t& other = tally.Count(L"not type 1");
    size_t& foreign = tally.Count(L"left out (not CALS)", true, Tally::IfAny);
    tally.Count(L"not found", true, Tally::IfAny) = missing;
    // The line goes with the page: to standard output when it is written, else as an error.
    auto summary = [&](bool written) {
        if (!written) tally.Retitle(L"sheet: " + request.output + L" not written");
        (written ? Out : Err)(tally.Line());
        return tally.ExitCode(!written);
    };
    if (files.empty()) {
        if (!missing) Err(L"scanleaf-card: no CALS files found\n");
        return summary(false);
    }
    SectionSpool sections;
    bool ok = true;
    // Each drawing's section is made on a job's thread (with its own reader of cards) and added
    // here, in path order.
    struct Made {
        DrawingCheck check;
        std::string section;
    };
    const auto readers = CardReaders(setup.Format(), request.jobs);
    {
        Progress progress(files.size());
        size_t done = 0;
        OrderedPool<size_t, Made> pool(
            request.jobs,
            [&](unsigned worker, const size_t& i) {
                Made made;
                ThumbnailSink sink(256);
                made.check = DecodeDrawing(files[i], &sink);
                if (!made.check.foreign) made.section = Utf8(Section(files[i], made.check, sink, *readers[worker]));
                return made;
            },
            [&](const size_t& i, Made& made) {
                progress.Step(done++, files[i]);
                if (made.check.foreign) {
                    progress.Clear();
                    Err(files[i] + L": " + made.check.unreadable + L"; left out\n");
                    ++foreign;
                    return;
                }
                ++shown;
                const std::wstring header = HeaderProblem(made.check);
                if (!header.empty()) {
                    progress.Clear();
                    Err(files[i] + L": " + header + L"; shown as stored\n");
                }
                ++(made.check.Sound() ? sound : made.check.unreadable.empty() && !made.check.info.type1 ? other : damaged);
                ok = ok && sections.Add(made.section);
            });
        for (size_t i = 0; i < files.size() && ok; ++i) pool.Add(i);
        pool.Finish();
    }
    std::wstring heading = std::to_wstring(shown) + L" drawing(s)";
    if (damaged) heading += L", " + std::to_wstring(damaged) + L" damaged";
    if (other) heading += L", " + std::to_wstring(other) + L" not type 1";
    const std::wstring problem = IsFolder(request.output) ? OccupiedText(request.output, false) : MakeFoldersOf(request.output);
    if (!problem.empty()) {
        Err(L"scanleaf-card: " + problem + L"\n");
        return summary(false);
    }
    AtomicFile page(request.output);
    ok = ok && page.IsOpen() && page.Write(Utf8(std::wstring(kHead) + L"<h1>" + heading + L"</h1>\n")) &&
         sections.CopyTo(page) && page.Write(Utf8(L"</body></html>\n")) && page.Commit();
    if (!ok) {
        Err(L"scanleaf-card: " + CannotWrite(request.output, GetLastError()) + L"\n");
        return summary(false);
    }
    return summary(true);
}

} // namespace card
