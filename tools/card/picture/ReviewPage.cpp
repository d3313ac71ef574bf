#include "tools/card/picture/ReviewPage.h"
#include "tools/card/cards/PluginCodes.h"

#include "core/Text.h"
#include "tools/card/batch/Console.h"
#include "tools/card/picture/Png.h"

namespace card {

namespace {

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

} // namespace

const wchar_t kReviewPageHead[] = LR"(<!DOCTYPE html>
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

SectionSpool::SectionSpool() : file_(OpenScratchFile(L"sls")) {}

bool SectionSpool::Add(const std::string& bytes) { return file_ && fwrite(bytes.data(), 1, bytes.size(), file_.Get()) == bytes.size(); }

bool SectionSpool::CopyTo(AtomicFile& page) {
    if (!file_ || fflush(file_.Get()) != 0 || fseek(file_.Get(), 0, SEEK_SET) != 0) return false;
    std::string buffer(65536, '\0');
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), file_.Get())) > 0)
        if (!page.Write(buffer.substr(0, n))) return false;
    return !ferror(file_.Get());
}

// A header the page cannot show as it says (a density or orientation no scanner gives): the
// thumbnail is shown as stored, and the page says so.
std::wstring HeaderProblem(const DrawingCheck& check) {
    return check.Decodable() ? FromUtf8(scanleaf::core::DrawingHeaderProblem(check.info)) : std::wstring();
}

namespace {

std::wstring HeaderNote(const DrawingCheck& check) {
    const std::wstring problem = HeaderProblem(check);
    return problem.empty() ? std::wstring() : L"<div class=\"status other\">" + Html(problem) + L"; shown as stored</div>";
}

} // namespace

std::wstring ReviewSection(const std::wstring& path, const DrawingCheck& check, ThumbnailSink& sink, CardReader& reader) {
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

} // namespace card
