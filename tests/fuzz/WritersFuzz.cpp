// The PDF and TIFF writers on any card values, titles, bookmarks, sizes, densities, orientations
// and PDF/A part: libqpdf reads the PDF without a warning and gives back the title, every page
// that the part holds (the others refused), its stream, and its card from its image's XMP, which
// the core reads back as written; a PDF/A document's schema names every card property;
// libtiff reads the TIFF without a warning and gives back every page's size, strip and XMP packet,
// and so does the core's own reader of TIFF directories, which keeps nothing past the end of a
// file cut in half.
#include "core/pdf/PdfWriter.h"
#include "core/tiff/TiffReader.h"
#include "core/tiff/TiffWriter.h"
#include "tests/fuzz/FuzzSupport.h"

#define POINTERHOLDER_TRANSITION 4 // qpdf's shared pointers as std::shared_ptr
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <tiffio.h>

#include <cmath>
#include <cstring>

using namespace scanleaf::core;
using fuzzsupport::DrawText;

namespace {

const int kAngles[9][2] = {{0, 270}, {180, 90}, {180, 270}, {0, 90}, {270, 90}, {270, 270}, {90, 90}, {90, 270}, {45, 0}};

// What a reader gives back for a value: UTF-8, with the characters XML cannot hold as U+FFFD.
std::string AsRead(const Text& text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += "\xEF\xBF\xBD";
        else
            out += c;
    }
    return out;
}

// libtiff over the bytes in memory.
struct Memory {
    const std::string* bytes;
    toff_t at;
};
tmsize_t Read(thandle_t h, void* buffer, tmsize_t size) {
    Memory& m = *static_cast<Memory*>(h);
    const toff_t left = m.at < m.bytes->size() ? m.bytes->size() - m.at : 0;
    const tmsize_t n = tmsize_t(std::min<toff_t>(left, toff_t(size)));
    std::memcpy(buffer, m.bytes->data() + m.at, std::size_t(n));
    m.at += toff_t(n);
    return n;
}
tmsize_t Write(thandle_t, void*, tmsize_t) { return 0; }
toff_t Seek(thandle_t h, toff_t offset, int whence) {
    Memory& m = *static_cast<Memory*>(h);
    m.at = whence == SEEK_SET ? offset : whence == SEEK_CUR ? m.at + offset : m.bytes->size() + offset;
    return m.at;
}
int Close(thandle_t) { return 0; }
toff_t Size(thandle_t h) { return static_cast<Memory*>(h)->bytes->size(); }
int Map(thandle_t, void**, toff_t*) { return 0; }
void Unmap(thandle_t, void*, toff_t) {}

bool warned = false;
void Complain(const char*, const char*, va_list) { warned = true; }

} // namespace

// A card holds each variable once, by a name that is not empty.
void Add(CardValues& card, const Text& name, const Text& value) {
    for (const auto& entry : card)
        if (XmpPropertyName(entry.first) == XmpPropertyName(name)) return;
    if (!name.empty()) card.push_back({name, value});
}

// A card as the core reads it back from a packet: names exactly, values as XML holds them.
CardValues AsReadBack(const CardValues& card) {
    CardValues back;
    for (const auto& [name, value] : card) back.push_back({name, FromUtf8(AsRead(value))});
    return back;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Pdfa pdfa = in.PickValueInArray({Pdfa::None, Pdfa::Part1b, Pdfa::Part2b});
    const Text title = DrawText(in, 40, SL_T("Ab (x)\\\u00e9<&"));
    CardValues card;
    for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n)
        Add(card, DrawText(in, 12, SL_T("abc_x1 ")), DrawText(in, 30, SL_T("v<&>\"'() \u00e9")));
    struct Page {
        PdfPage pdf;
        std::string stream;
    };
    std::vector<Page> pages(in.ConsumeIntegralInRange<std::size_t>(1, 3));
    for (Page& p : pages) {
        p.pdf.width = in.ConsumeIntegralInRange<std::uint32_t>(1, 20000);
        p.pdf.height = in.ConsumeIntegralInRange<std::uint32_t>(1, 20000);
        p.pdf.dpi = in.ConsumeIntegralInRange<int>(1, 2400);
        const auto& angles = kAngles[in.ConsumeIntegralInRange<int>(0, 8)];
        p.pdf.pelPath = angles[0];
        p.pdf.lineProgression = angles[1];
        p.pdf.bookmark = DrawText(in, 20, SL_T("p1 ()"));
        p.pdf.title = DrawText(in, 10, SL_T("t\u00e9"));
        for (int n = in.ConsumeIntegralInRange<int>(0, 3); n > 0; --n)
            Add(p.pdf.card, DrawText(in, 8, SL_T("abx_1")), DrawText(in, 12, SL_T("v<&\u00e9")));
        p.stream = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(1, 64));
        if (p.stream.empty()) p.stream = std::string(1, '\0'); // a drawing's stream is never empty
    }

    std::string pdf;
    PdfWriter writer(
        [&pdf](const char* bytes, std::size_t n) {
            pdf.append(bytes, n);
            return true;
        },
        pdfa);
    FUZZ_CHECK(writer.Begin());
    std::vector<const Page*> held;
    for (const Page& p : pages) {
        const bool added = writer.AddPage(p.pdf, reinterpret_cast<const std::uint8_t*>(p.stream.data()), p.stream.size());
        FUZZ_CHECK(added == PdfPageProblem(p.pdf, pdfa).empty());
        if (added) held.push_back(&p);
    }
    FUZZ_CHECK(writer.Finish(title, card));
    try {
        QPDF read;
        read.setSuppressWarnings(true);
        read.processMemoryFile("fuzz.pdf", pdf.data(), pdf.size());
        QPDFObjectHandle info = read.getTrailer().getKey("/Info");
        if (!title.empty()) FUZZ_CHECK(info.getKey("/Title").getUTF8Value() == ToUtf8(title));
        std::vector<QPDFPageObjectHelper> shown = QPDFPageDocumentHelper(read).getAllPages();
        FUZZ_CHECK(shown.size() == held.size());
        const auto xmpData = read.getRoot().getKey("/Metadata").getStreamData();
        const std::string xmp(reinterpret_cast<const char*>(xmpData->getBuffer()), xmpData->getSize());
        for (std::size_t i = 0; i < held.size(); ++i) {
            QPDFObjectHandle image = shown[i].getObjectHandle().getKey("/Resources").getKey("/XObject").getKey("/Im0");
            const auto raw = image.getRawStreamData();
            FUZZ_CHECK(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()) == held[i]->stream);
            const PdfPage& page = held[i]->pdf;
            QPDFObjectHandle metadata = image.getDict().getKey("/Metadata");
            FUZZ_CHECK(metadata.isStream() == (!page.card.empty() || !page.title.empty()));
            if (!metadata.isStream()) continue;
            const auto packetData = metadata.getStreamData();
            std::string problem;
            const CardValues back = XmpCard(std::string(reinterpret_cast<const char*>(packetData->getBuffer()), packetData->getSize()), problem);
            FUZZ_CHECK(problem.empty() && back == AsReadBack(page.card));
            for (const auto& entry : page.card)
                if (pdfa != Pdfa::None)
                    FUZZ_CHECK(xmp.find("<pdfaProperty:name>" + XmpPropertyName(entry.first) + "</") != std::string::npos);
        }
        // The document's own card, in its order, as the reader takes it back.
        std::string problem;
        FUZZ_CHECK(XmpCard(xmp, problem) == AsReadBack(card) && problem.empty());
        for (const QPDFExc& warning : read.getWarnings()) std::fprintf(stderr, "qpdf: %s\n", warning.what());
        FUZZ_CHECK(read.getWarnings().empty());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qpdf: %s\n", e.what());
        FUZZ_CHECK(!"qpdf reads the file");
    }

    std::string tiff;
    TiffWriter tiffWriter([&tiff](const char* bytes, std::size_t n) {
        tiff.append(bytes, n);
        return true;
    });
    const std::string packet = XmpPacket(title, card);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const TiffPage page{pages[i].pdf, i % 2 ? std::string() : packet};
        FUZZ_CHECK(tiffWriter.AddPage(page, reinterpret_cast<const std::uint8_t*>(pages[i].stream.data()),
                                      pages[i].stream.size(), i + 1 == pages.size()));
    }
    TIFFSetErrorHandler(Complain);
    TIFFSetWarningHandler(Complain);
    warned = false;
    Memory memory{&tiff, 0};
    TIFF* read = TIFFClientOpen("fuzz.tif", "rm", &memory, Read, Write, Seek, Close, Size, Map, Unmap);
    FUZZ_CHECK(read != nullptr);
    FUZZ_CHECK(TIFFNumberOfDirectories(read) == pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        FUZZ_CHECK(TIFFSetDirectory(read, tdir_t(i)));
        std::uint32_t width = 0, height = 0;
        TIFFGetField(read, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(read, TIFFTAG_IMAGELENGTH, &height);
        FUZZ_CHECK(width == pages[i].pdf.width && height == pages[i].pdf.height);
        std::string strip(pages[i].stream.size() + 8, '\0');
        const tmsize_t got = TIFFReadRawStrip(read, 0, strip.data(), tmsize_t(strip.size()));
        FUZZ_CHECK(got >= 0);
        FUZZ_CHECK(strip.substr(0, std::size_t(got)) == pages[i].stream);
        std::uint32_t xmpSize = 0;
        void* xmp = nullptr;
        const bool hasXmp = TIFFGetField(read, TIFFTAG_XMLPACKET, &xmpSize, &xmp);
        FUZZ_CHECK(hasXmp == (i % 2 == 0));
        if (hasXmp) FUZZ_CHECK(std::string(static_cast<const char*>(xmp), xmpSize) == packet);
        std::string problem;
        if (hasXmp) {
            const CardValues back = XmpCard(packet, problem);
            if (!problem.empty()) std::fprintf(stderr, "XmpCard: %s\n", problem.c_str());
            FUZZ_CHECK(back == AsReadBack(card) && problem.empty());
        }
    }
    TIFFClose(read);
    FUZZ_CHECK(!warned);
    // Our own reader of directories finds the same pages, each one strip that a CALS file can
    // take as it is, and the bytes past the file's end refused.
    const auto readBytes = [&tiff](std::uint64_t at, std::size_t n, std::uint8_t* out) {
        if (at > tiff.size() || n > tiff.size() - at) return false;
        std::memcpy(out, tiff.data() + at, n);
        return true;
    };
    namespace core = scanleaf::core;
    const core::TiffFileInfo info = core::ReadTiffDirectories(tiff.size(), readBytes);
    FUZZ_CHECK(info.tiff && info.problem.empty() && info.pages.size() == pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const core::TiffPageInfo& page = info.pages[i];
        const core::PagePicture& written = pages[i].pdf;
        FUZZ_CHECK(core::TiffPageProblem(page, tiff.size()).empty() ||
                   std::uint64_t(written.width) * written.height > core::kMaxPicturePels);
        FUZZ_CHECK(page.width == written.width && page.height == written.height);
        double x = 0, y = 0;
        core::TiffResolution(page, x, y);
        FUZZ_CHECK(core::IsCalsStream(page) && std::lround(x) == long(written.dpi) && std::lround(y) == long(written.dpi));
        FUZZ_CHECK(page.orientation == core::TiffOrientation(written.pelPath, written.lineProgression));
        FUZZ_CHECK(tiff.compare(std::size_t(page.stripOffsets[0]), std::size_t(page.stripByteCounts[0]), pages[i].stream) == 0);
        FUZZ_CHECK(i % 2 ? page.xmpSize == 0 : tiff.compare(std::size_t(page.xmpOffset), page.xmpSize, packet) == 0);
    }
    // The first half of the file: whatever the reader keeps of a page without a problem lies in it.
    const std::string half = tiff.substr(0, tiff.size() / 2);
    const core::TiffFileInfo cut =
        core::ReadTiffDirectories(half.size(), [&half](std::uint64_t at, std::size_t n, std::uint8_t* out) {
            if (at > half.size() || n > half.size() - at) return false;
            std::memcpy(out, half.data() + at, n);
            return true;
        });
    for (const auto& page : cut.pages)
        if (core::TiffPageProblem(page, half.size()).empty() && !page.tiled)
            for (std::size_t s = 0; s < page.stripOffsets.size(); ++s)
                FUZZ_CHECK(page.stripOffsets[s] + page.stripByteCounts[s] <= half.size());
    return 0;
}
