#include "tools/card/picture/Documents.h"
#include "tools/card/cards/PluginCodes.h"

#include "cardcore/BatchPlan.h"
#include "core/cals/Xmp.h"
#include "tools/card/batch/Console.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/picture/Drawing.h"
#include "hostenv/SettingsLight.h"
#include "hostenv/SystemText.h"

namespace card {

scanleaf::core::PagePicture HandedDrawing::Picture() const {
    return scanleaf::core::HeaderPicture(reinterpret_cast<const unsigned char*>(bytes.data()));
}

bool ReadDrawingBytes(const std::wstring& path, HandedDrawing& drawing, std::wstring& problem) {
    if (ReadWholeFile(path, drawing.bytes)) return true;
    problem = L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
    return false;
}

bool VaultIsSet() { return !scanleaf::SettingsLight().GetFolder(scanleaf::SharedFolder).empty(); }

std::wstring LoadDrawing(const std::wstring& path, const HandOn& how, CardReader& reader, HandedDrawing& drawing) {
    if (how.check) {
        const DrawingCheck check =
            DecodeDrawing(reinterpret_cast<const std::uint8_t*>(drawing.bytes.data()), drawing.bytes.size());
        if (!check.Sound()) return check.Problem();
    }
    if (IsForeignHeader(drawing.bytes.data(), drawing.bytes.size())) return kNotCalsText;
    if (drawing.bytes.size() < scanleaf::core::kHeaderSize) return L"shorter than a CALS header";
    drawing.info = scanleaf::core::ReadImageInfo(reinterpret_cast<const unsigned char*>(drawing.bytes.data()));
    if (!drawing.info.type1) return L"not a type 1 CALS file: its picture is no Group 4 stream";
    if (!drawing.info.sizeKnown) return L"no usable rpelcnt";
    const std::string header = scanleaf::core::DrawingHeaderProblem(drawing.info);
    if (!header.empty()) return FromUtf8(header);
    const std::string page = scanleaf::core::PdfPageProblem(drawing.Picture(), how.pdfa);
    if (!page.empty()) return FromUtf8(page);
    // Not even --no-check hands on a page without a picture.
    if (drawing.StreamSize() == 0) return L"no image data after its header";
    drawing.header = scanleaf::core::CarryHeader(reinterpret_cast<const unsigned char*>(drawing.bytes.data()),
                                                 scanleaf::AnsiCodePage());
    drawing.card.clear();
    std::vector<CardEntry> entries;
    if (how.vault) {
        const HRESULT hr = reader.ReadChecked(path, entries); // its bytes were found CALS above
        if (FAILED(hr)) return L"its card cannot be read: " + DescribeHresult(hr);
    } else {
        for (const std::wstring& record : drawing.header.records) {
            std::wstring name, value;
            if (scanleaf::core::SplitRecord(record, name, value)) entries.push_back({name, value, true, true});
        }
    }
    drawing.title = scanleaf::core::BaseName(path);
    bool titled = how.title.empty();
    for (const CardEntry& e : entries) {
        if (how.vault) drawing.card.push_back({e.name, e.value});
        if (!titled && Lower(e.name) == Lower(how.title)) {
            titled = true;
            if (!e.value.empty() && e.value != L"NONE") drawing.title = e.value;
        }
    }
    if (!titled) return L"no variable " + how.title + L" to title it (--title)";
    return std::wstring();
}

Document::Document(const std::wstring& path, bool pdf, scanleaf::core::Pdfa pdfa)
    : file_(path), pdf_(pdf), pdfWriter_(Sink(), pdfa), tiffWriter_(Sink()) {
    if (pdf_) ok_ = file_.IsOpen() && pdfWriter_.Begin();
    ok_ = ok_ && file_.IsOpen();
    if (!file_.IsOpen()) error_ = GetLastError();
}

void Document::Add(HandedDrawing drawing, bool bookmark) {
    if (pdf_) {
        const scanleaf::core::PdfPage page{drawing.Picture(), bookmark ? drawing.title : std::wstring(), drawing.title,
                                           drawing.card, drawing.header};
        ok_ = ok_ && pdfWriter_.AddPage(page, drawing.Stream(), drawing.StreamSize());
        return;
    }
    FlushTiff(false);
    pending_ = std::make_unique<HandedDrawing>(std::move(drawing));
}

bool Document::Finish(const std::wstring& title, const scanleaf::core::CardValues& card) {
    if (pdf_)
        ok_ = ok_ && pdfWriter_.Finish(title, card);
    else
        FlushTiff(true);
    if (!ok_ && !error_) error_ = GetLastError();
    if (ok_ && !file_.Commit()) {
        error_ = GetLastError();
        ok_ = false;
    }
    return ok_;
}

scanleaf::core::ByteSink Document::Sink() {
    return [this](const char* bytes, std::size_t size) { return file_.Write(bytes, size); };
}

void Document::FlushTiff(bool last) {
    if (!pending_) return;
    const HandedDrawing& d = *pending_;
    const scanleaf::core::TiffPage page{d.Picture(), scanleaf::core::XmpPacket(d.title, d.card, {}, true, d.header)};
    ok_ = ok_ && tiffWriter_.AddPage(page, d.Stream(), d.StreamSize(), last);
    pending_.reset();
}

} // namespace card
