// The PDF reader held against libqpdf's reading of the same documents: every object qpdf finds,
// its kind, entries, numbers, strings and stream data (raw, and with the general filters undone)
// equal, in documents as this writer, qpdf (object streams, linearized, uncompressed, an
// incremental update), Ghostscript and other projects write them; a damaged cross-reference
// rebuilt and said; encrypted documents refused; and each page's picture with the size,
// resolution, orientation and stream it was written with.
#include "core/pdf/PdfPictures.h"
#include "core/pdf/PdfWriter.h"
#include "core/cals/Xmp.h"
#include "tests/native/Libtiff.h"

#include <qpdf/QPDF.hh>
#include <zlib.h>
#include <qpdf/QPDFObjectHandle.hh>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>
#include <fstream>
#include <sstream>

namespace {

using namespace scanleaf::core;
using Kind = PdfObject::Kind;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string DataPath(const std::string& name) { return std::string(SCANLEAF_TEST_DATA) + "/realfiles/" + name; }

// A PDF of `count` pages, each a picture in another orientation and resolution.
std::string Written(int count, std::vector<std::vector<std::uint8_t>>& streams) {
    std::string file;
    PdfWriter writer([&file](const char* bytes, std::size_t size) {
        file.append(bytes, size);
        return true;
    });
    writer.Begin();
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    for (int p = 0; p < count; ++p) {
        PdfPage page;
        page.width = 61 + std::uint32_t(p);
        page.height = 37;
        page.dpi = std::uint32_t(100 + 50 * p);
        page.pelPath = kOrientations[p % 8][0];
        page.lineProgression = kOrientations[p % 8][1];
        page.title = Ascii("page " + std::to_string(p));
        if (p % 2) page.bookmark = Ascii("mark ") + Text(1, Unit(0xE9)) + Ascii(" " + std::to_string(p));
        libtiff::Rows rows(page.height, std::vector<std::uint8_t>((page.width + 7) / 8, 0));
        for (std::uint32_t y = 0; y < page.height; ++y) rows[y][(y * 3 + std::uint32_t(p)) % rows[y].size()] = std::uint8_t(0x81 + y);
        streams.push_back(libtiff::Encode(rows, page.width));
        writer.AddPage(page, streams.back().data(), streams.back().size());
    }
    writer.Finish(Ascii("drawings"), {{Ascii("notes"), Ascii("x")}});
    return file;
}

// `command` then the input and output files ("out-first": the other way round).
std::string Rewritten(const std::string& file, const std::string& command, bool outFirst = false) {
    libtiff::TempPath in, out;
    std::ofstream(in.c_str(), std::ios::binary) << file;
    const std::string line = command + " " + (outFirst ? out.c_str() : in.c_str()) + " " + (outFirst ? in.c_str() : out.c_str()) +
                             " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    EXPECT_TRUE(status == 0 || line.rfind("qpdf", 0) == 0) << line; // qpdf exits 3 on warnings
    return ReadFile(out.c_str());
}

// Our object against qpdf's, to a depth.
void Same(PdfDocument& ours, const PdfObject& object, QPDFObjectHandle theirs, const std::string& where, int depth) {
    const PdfObject& o = object;
    if (theirs.isIndirect() && depth > 0) {
        ASSERT_TRUE(o.Is(Kind::Reference)) << where;
        EXPECT_EQ(std::uint32_t(theirs.getObjectID()), o.object) << where;
        return;
    }
    if (theirs.isNull()) {
        EXPECT_TRUE(o.Is(Kind::Null)) << where;
        return;
    }
    if (theirs.isBool()) {
        EXPECT_TRUE(o.Is(Kind::Boolean) && o.boolean == theirs.getBoolValue()) << where;
        return;
    }
    if (theirs.isInteger()) {
        EXPECT_TRUE(o.Is(Kind::Integer) && o.number == double(theirs.getIntValue())) << where;
        return;
    }
    if (theirs.isReal()) {
        EXPECT_NEAR(std::stod(theirs.getRealValue()), o.number, 1e-9) << where;
        return;
    }
    if (theirs.isString()) {
        EXPECT_TRUE(o.Is(Kind::String) && o.text == theirs.getStringValue()) << where;
        return;
    }
    if (theirs.isName()) {
        EXPECT_TRUE(o.Is(Kind::Name) && "/" + o.text == theirs.getName()) << where;
        return;
    }
    if (theirs.isArray()) {
        ASSERT_TRUE(o.Is(Kind::Array)) << where;
        ASSERT_EQ(std::size_t(theirs.getArrayNItems()), o.items.size()) << where;
        for (std::size_t i = 0; i < o.items.size(); ++i) Same(ours, o.items[i], theirs.getArrayItem(int(i)), where + "[" + std::to_string(i) + "]", depth + 1);
        return;
    }
    if (theirs.isDictionary() || theirs.isStream()) {
        ASSERT_TRUE(theirs.isStream() ? o.Is(Kind::Stream) : o.Is(Kind::Dictionary)) << where;
        QPDFObjectHandle dictionary = theirs.isStream() ? theirs.getDict() : theirs;
        std::size_t count = 0;
        for (const std::string& key : dictionary.getKeys()) {
            if (dictionary.getKey(key).isNull()) continue;
            ++count;
            const PdfObject* value = o.Find(key.substr(1));
            ASSERT_TRUE(value) << where << key;
            Same(ours, *value, dictionary.getKey(key), where + key, depth + 1);
        }
        EXPECT_EQ(count, o.entries.size()) << where;
    }
    if (theirs.isStream()) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::string problem;
        ASSERT_TRUE(ours.RawStream(o, data, size, problem)) << where << ": " << problem;
        const auto raw = theirs.getRawStreamData();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()),
                  std::string(reinterpret_cast<const char*>(data), size))
            << where;
        const PdfDecoded decoded = ours.Decoded(o);
        bool general = decoded.undone == ours.Filters(o).size() && decoded.problem.empty();
        if (general) {
            const auto filtered = theirs.getStreamData(qpdf_dl_generalized);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(filtered->getBuffer()), filtered->getSize()), decoded.bytes) << where;
        }
    }
}

void SameAsQpdf(const std::string& file, const std::string& what) {
    PdfDocument ours;
    ASSERT_TRUE(ours.Open(reinterpret_cast<const std::uint8_t*>(file.data()), file.size())) << what << ": " << ours.Problem();
    QPDF theirs;
    theirs.setSuppressWarnings(true);
    theirs.processMemoryFile(what.c_str(), file.data(), file.size());
    for (QPDFObjectHandle object : theirs.getAllObjects()) {
        PdfObject reference;
        reference.kind = Kind::Reference;
        reference.object = std::uint32_t(object.getObjectID());
        const PdfObject& mine = ours.Resolve(reference);
        // A cross-reference stream is not an object a reader asks for.
        if (object.isStream() && object.getDict().getKey("/Type").isNameAndEquals("/XRef")) continue;
        Same(ours, mine, object, what + " " + std::to_string(object.getObjectID()), 0);
    }
    std::vector<PdfPageInfo> pages;
    std::string problem;
    ASSERT_TRUE(ours.Pages(pages, problem)) << what << ": " << problem;
    EXPECT_EQ(theirs.getAllPages().size(), pages.size()) << what;
}

TEST(PdfReader, ReadsWhatQpdfReads) {
    std::vector<std::vector<std::uint8_t>> streams;
    const std::string written = Written(9, streams);
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"as written", written},
        {"object streams", Rewritten(written, "qpdf --object-streams=generate --compress-streams=y")},
        {"linearized", Rewritten(written, "qpdf --linearize --object-streams=generate")},
        {"uncompressed", Rewritten(written, "qpdf --qdf --object-streams=disable")},
        {"Ghostscript", Rewritten(written, "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o", true)},
        {"pdfcpu", ReadFile(DataPath("pdfcpu-T6.pdf"))},
        {"pdf.js end of block", ReadFile(DataPath("pdfjs-ccitt_EndOfBlock_false.pdf"))},
        {"pdf.js 1-bit", ReadFile(DataPath("pdfjs-images_1bit_grayscale.pdf"))},
        {"qpdf fax", ReadFile(DataPath("qpdf-fax-decode-parms.pdf"))},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.what;
        SameAsQpdf(c.file, c.what);
    }
}

TEST(PdfReader, PagesGiveThePicturesTheyWereWrittenWith) {
    std::vector<std::vector<std::uint8_t>> streams;
    const std::string written = Written(9, streams);
    for (const std::string& file : {written, Rewritten(written, "qpdf --object-streams=generate --compress-streams=y"),
                                    Rewritten(written, "qpdf --linearize")}) {
        PdfDocument document;
        ASSERT_TRUE(document.Open(reinterpret_cast<const std::uint8_t*>(file.data()), file.size())) << document.Problem();
        std::vector<PdfPageInfo> pages;
        std::string problem;
        ASSERT_TRUE(document.Pages(pages, problem));
        ASSERT_EQ(9u, pages.size());
        static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
        const std::map<const PdfObject*, std::string> bookmarks = document.Bookmarks();
        EXPECT_EQ(4u, bookmarks.size());
        for (int p = 0; p < 9; ++p) {
            const PdfPagePicture picture = ReadPdfPagePicture(document, pages[std::size_t(p)], -1);
            ASSERT_EQ("", picture.problem) << p;
            // Each page's names: its title in its picture's packet, and every other one's bookmark.
            EXPECT_EQ("page " + std::to_string(p), ToUtf8(XmpTitle(picture.xmp))) << p;
            const auto mark = bookmarks.find(pages[std::size_t(p)].page);
            EXPECT_EQ(p % 2 ? "mark \xC3\xA9 " + std::to_string(p) : "", mark == bookmarks.end() ? "" : ToUtf8(PdfText(mark->second))) << p;
            std::string kept, note;
            EXPECT_TRUE(PdfKeptGroup4(document, picture, kept, note, problem)) << p << ": " << problem;
            EXPECT_EQ(std::string(streams[std::size_t(p)].begin(), streams[std::size_t(p)].end()), kept) << p;
            EXPECT_EQ(61u + std::uint32_t(p), picture.width);
            EXPECT_EQ(37u, picture.height);
            EXPECT_EQ(100.0 + 50 * p, picture.dpiX) << p;
            EXPECT_EQ(picture.dpiX, picture.dpiY) << p;
            EXPECT_EQ(kOrientations[p % 8][0], picture.pelPath) << p;
            EXPECT_EQ(kOrientations[p % 8][1], picture.lineProgression) << p;
        }
    }
}

// Damage and updates: the newest object wins; a cross-reference that lies is rebuilt by a scan
// and said; what cannot be read is named.
TEST(PdfReader, UpdatesDamageAndEncryption) {
    std::vector<std::vector<std::uint8_t>> streams;
    const std::string written = Written(2, streams);
    // An update: the information dictionary given again, a section linking back.
    const std::size_t previous = std::stoul(written.substr(written.rfind("startxref") + 10));
    auto named = [&written](const std::string& key) {
        const std::size_t at = written.rfind(key + " ") + key.size() + 1;
        return written.substr(at, written.find(" 0 R", at) - at);
    };
    const std::string info = named("/Info"), root = named("/Root");
    std::string updated = written + info + " 0 obj\n<< /Title (updated) >>\nendobj\n";
    const std::size_t at = written.size();
    char xref[160];
    std::snprintf(xref, sizeof xref, "xref\n%s 1\n%010zu 00000 n \ntrailer\n<< /Size 40 /Root %s 0 R /Info %s 0 R /Prev %zu >>\n",
                  info.c_str(), at, root.c_str(), info.c_str(), previous);
    updated += std::string(xref) + "startxref\n" + std::to_string(updated.size()) + "\n%%EOF\n";
    std::string wrongOffset = written;
    wrongOffset.replace(wrongOffset.rfind("startxref") + 10, 1, "9");
    std::string noTable = written;
    noTable.replace(noTable.rfind("/Type /XRef"), 11, "/Type /Xxxx");
    const struct {
        const char* what;
        std::string file;
        bool opens;
        const char* repaired; // the start of Repaired(), or of Problem() when it does not open
    } cases[] = {
        {"an update", updated, true, ""},
        {"startxref off", wrongOffset, true, "its cross-reference is damaged ("},
        {"no table", noTable, true, "its cross-reference is damaged (no cross-reference table or stream"},
        {"truncated", written.substr(0, written.size() / 2), false, "its cross-reference is damaged (no startxref at its end)"},
        {"encrypted", Rewritten(written, "qpdf --encrypt u o 256 --"), false, "encrypted"},
        {"not a PDF", "GIF89a", false, "no PDF"},
    };
    for (const auto& c : cases) {
        PdfDocument document;
        EXPECT_EQ(c.opens, document.Open(reinterpret_cast<const std::uint8_t*>(c.file.data()), c.file.size())) << c.what;
        const std::string& said = c.opens ? document.Repaired() : document.Problem();
        EXPECT_EQ(0u, said.rfind(c.repaired, 0)) << c.what << ": " << said;
        if (!c.opens) continue;
        std::vector<PdfPageInfo> pages;
        std::string problem;
        EXPECT_TRUE(document.Pages(pages, problem)) << c.what;
        EXPECT_EQ(2u, pages.size()) << c.what;
        if (std::string(c.what) == "an update") {
            EXPECT_EQ("updated", document.Get(document.Trailer(), "Info").Find("Title")->text);
            SameAsQpdf(c.file, c.what);
        }
    }
}

} // namespace

namespace {

// A PDF of `objects` (numbered from 1; the first the catalog) with a classic cross-reference table.
std::string Pdf(const std::vector<std::string>& objects) {
    std::string file = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(file.size());
        file += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = file.size();
    file += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        file += line;
    }
    return file + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

std::string Stream(const std::string& entries, const std::string& data) {
    return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A one-page PDF whose picture is `image` (its dictionary's entries) with `data`; `more`: objects
// 6 on (a mask).
std::string OnePicture(const std::string& image, const std::string& data, const std::string& draw = "q 90 0 0 40 0 0 cm /Im Do Q",
                       const std::vector<std::string>& more = {}) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 90 40] /Resources << /XObject << /Im 5 0 R >> >> /Contents 4 0 R >>",
        Stream("", draw),
        Stream("/Type /XObject /Subtype /Image " + image, data),
    };
    objects.insert(objects.end(), more.begin(), more.end());
    return Pdf(objects);
}

// A document's one page read as the tool reads it: its picture planned, then its rows decoded
// (black 1), a problem found on the way said as the plan's.
struct Read {
    std::string file;
    PdfDocument document;
    PdfPagePicture picture;
    std::vector<std::vector<std::uint8_t>> rows;
    bool kept = false;
    std::string note;

    Read(std::string bytes, int threshold) : file(std::move(bytes)) {
        std::vector<PdfPageInfo> pages;
        if (!document.Open(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()) ||
            !document.Pages(pages, picture.problem) || pages.size() != 1) {
            picture.problem = "the document: " + document.Problem() + picture.problem;
            return;
        }
        picture = ReadPdfPagePicture(document, pages[0], threshold);
        if (!picture.problem.empty() || picture.coding == PdfPagePicture::Coding::Jpeg) return;
        std::string bytes_;
        kept = PdfKeptGroup4(document, picture, bytes_, note, picture.problem);
        if (!picture.problem.empty()) return;
        PdfPictureRows decoded(document, picture);
        std::vector<std::uint8_t> row(decoded.RowBytes());
        while (decoded.NextRow(row.data())) rows.push_back(row);
        if (!decoded.Problem().empty()) {
            picture.problem = decoded.Problem();
            picture.noDrawing = decoded.LeftOut();
        } else if (decoded.NextRow(row.data()) || rows.size() != picture.height) {
            picture.problem = "rows past its height";
        }
    }
};

std::string Bytes(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

libtiff::Rows Inverted(libtiff::Rows rows, std::uint32_t width) {
    for (auto& row : rows) {
        for (auto& b : row) b = std::uint8_t(~b);
        if (width & 7) row.back() &= std::uint8_t(0xFF << (8 - (width & 7)));
    }
    return rows;
}

std::string Packed(const libtiff::Rows& rows) {
    std::string out;
    for (const auto& row : rows) out += Bytes(row);
    return out;
}

std::string Zlib(const std::string& data) {
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 9);
    out.resize(size);
    return out;
}

} // namespace

// Every 1-bit coding a PDF may give a picture, decoded to the pels it shows (black 1): CCITT
// Group 4 and Group 3 with their parameters, masks, palettes, /Decode, and samples through
// general filters and predictors. Only a Group 4 stream that shows black as black is kept.
TEST(PdfPictures, EveryOneBitCodingGivesThePelsItShows) {
    constexpr std::uint32_t w = 45, h = 20;
    libtiff::Rows rows(h, std::vector<std::uint8_t>((w + 7) / 8, 0));
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            if ((x < 15 && y < 5) || y == 0 || (x == w - 1) || (x + y) % 7 == 0) rows[y][x / 8] |= std::uint8_t(0x80 >> (x % 8));
    const libtiff::Rows inverted = Inverted(rows, w);
    const std::string size = "/Width 45 /Height 20 ";
    const std::string g4 = Bytes(libtiff::Encode(rows, w)), g4Inverted = Bytes(libtiff::Encode(inverted, w));
    auto g3 = [&](std::uint16_t compression, std::uint32_t options) { return Bytes(libtiff::Encode(rows, w, {compression, options})); };
    // PNG's Up predictor on every row.
    std::string up;
    for (std::size_t r = 0; r < inverted.size(); ++r) {
        up += '\2';
        for (std::size_t i = 0; i < inverted[r].size(); ++i) up += char(inverted[r][i] - (r ? inverted[r - 1][i] : 0));
    }
    std::string runs; // RunLength: every row a literal run
    for (const auto& row : inverted) runs += char(row.size() - 1) + Bytes(row);
    runs += char(128);
    std::string hex;
    for (unsigned char c : Packed(inverted)) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    // Eight bits a pel: a palette of white and black as GraphicsMagick writes one, grey and RGB.
    std::string indexed8, grey8, rgb8, grey2, bw8;
    for (const auto& row : rows) {
        std::uint8_t two = 0;
        for (std::uint32_t x = 0; x < w; ++x) {
            const bool black = row[x / 8] & (0x80 >> (x % 8));
            indexed8 += char(black ? 1 : 0);
            grey8 += char(black ? 40 : 200);
            bw8 += char(black ? 0 : 255);
            rgb8 += black ? std::string("\x60\x20\x10") : std::string("\xF0\xE0\xFF");
            two = std::uint8_t((two << 2) | (black ? 0 : 3));
            if (x % 4 == 3 || x == w - 1) {
                grey2 += char(two << (x % 4 == 3 ? 0 : 2 * (3 - x % 4)));
                two = 0;
            }
        }
    }
    const struct {
        const char* what;
        std::string image, data;
        bool keep;
        int threshold = -1;
    } cases[] = {
        {"Group 4", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4, true},
        {"Group 4, rows given", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCF /DecodeParms << /K -1 /Columns 45 /Rows 20 >>", g4, true},
        {"a mask", size + "/ImageMask true /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4, true},
        {"BlackIs1", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 /BlackIs1 true >>", g4Inverted, false},
        {"Decode [1 0]", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0] /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4Inverted, false},
        {"a mask, Decode [1 0]", size + "/ImageMask true /Decode [1 0] /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4Inverted, false},
        {"white and black palette", size + "/ColorSpace [/Indexed /DeviceRGB 1 <FFFFFF000000>] /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4Inverted, false},
        {"black and white grey palette", size + "/ColorSpace [/Indexed /DeviceGray 1 <00FF>] /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 >>", g4, true},
        {"Group 4 after Flate", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter [/FlateDecode /CCITTFaxDecode] /DecodeParms [null << /K -1 /Columns 45 >>]", Zlib(g4), true},
        {"Group 3 1-D", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 45 /EndOfLine true >>", g3(COMPRESSION_CCITTFAX3, 0), false},
        {"Group 3 1-D, aligned", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 45 /EndOfLine true /EncodedByteAlign true >>", g3(COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS), false},
        {"Group 3 2-D", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K 4 /Columns 45 /EndOfLine true >>", g3(COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING), false},
        {"Modified Huffman", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 45 /EncodedByteAlign true >>", g3(COMPRESSION_CCITTRLE, 0), false},
        {"samples", size + "/ColorSpace /DeviceGray /BitsPerComponent 1", Packed(inverted), false},
        {"Flate samples", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode", Zlib(Packed(inverted)), false},
        {"Flate with PNG predictors", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode /DecodeParms << /Predictor 15 /Columns 45 /BitsPerComponent 1 >>", Zlib(up), false},
        {"RunLength samples", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /RunLengthDecode", runs, false},
        {"ASCIIHex samples", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /AHx", hex + ">", false},
        {"a mask of samples", size + "/ImageMask true", Packed(inverted), false},
        {"8-bit palette of white and black", size + "/ColorSpace [/Indexed /DeviceRGB 1 <FFFFFF000000>] /BitsPerComponent 8 /Filter /FlateDecode", Zlib(indexed8), false},
        {"8-bit grey by threshold", size + "/ColorSpace /DeviceGray /BitsPerComponent 8", grey8, false, 50},
        {"8-bit grey of black and white only", size + "/ColorSpace /DeviceGray /BitsPerComponent 8", bw8, false},
        {"2-bit grey by threshold", size + "/ColorSpace /DeviceGray /BitsPerComponent 2", grey2, false, 50},
        {"RGB by threshold", size + "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode", Zlib(rgb8), false, 50},
    };
    for (const auto& c : cases) {
        const Read read(OnePicture(c.image, c.data), c.threshold);
        ASSERT_EQ("", read.picture.problem) << c.what;
        EXPECT_EQ(c.keep, read.kept) << c.what;
        EXPECT_EQ(36.0, read.picture.dpiX) << c.what; // 45 pels over 90 points
        EXPECT_EQ(36.0, read.picture.dpiY) << c.what;
        EXPECT_EQ(rows, read.rows) << c.what;
    }
}

// Pages that hold no drawing are named (to be left out), and pictures that lie refused.
TEST(PdfPictures, PagesOfNoDrawingAndPicturesThatLie) {
    const std::string gray = "/Width 45 /Height 20 /ColorSpace /DeviceGray ";
    const std::string g4 = Bytes(libtiff::Encode(libtiff::Rows(20, std::vector<std::uint8_t>(6, 0x18)), 45));
    const std::string ccitt = gray + "/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 45 ";
    const struct {
        const char* what;
        std::string image, data, draw;
        bool noDrawing;
        const char* problem;
        int threshold;
    } cases[] = {
        {"no picture", ccitt + ">>", g4, "BT ET", true, "its page holds no picture", -1},
        {"two pictures", ccitt + ">>", g4, "/Im Do /Im Do", true, "its page holds 2 pictures, not one drawing", -1},
        {"an image and an inline image", ccitt + ">>", g4, "/Im Do BI /W 1 /H 1 /BPC 1 /IM true ID \x80 EI", true, "its page holds 2 pictures", -1},
        {"an inline image without its end", ccitt + ">>", g4, "BI /W 1 /H 1 /IM true ID \x80", false, "an inline image without its end (EI)", -1},
        {"JPEG", gray + "/BitsPerComponent 8 /Filter /DCTDecode", "x", "/Im Do", true, "its picture is a JPEG (DCTDecode): --threshold N", -1},
        {"grey", gray + "/BitsPerComponent 8", std::string(900, 'x'), "/Im Do", true, "grey pels: --threshold N", -1},
        {"16 bits", gray + "/BitsPerComponent 16", std::string(1800, 'x'), "/Im Do", true, "its picture has 16 bits a component, which is not read", -1},
        {"colour palette", "/Width 45 /Height 20 /ColorSpace [/Indexed /DeviceRGB 1 <D3D3D3654321>] /BitsPerComponent 1", std::string(120, 'x'),
         "/Im Do", true, "a palette of two colours other than black and white: --threshold N makes those below N per cent of full lightness black", -1},
        {"turned by 45 degrees", ccitt + ">>", g4, "q 30 30 -30 30 0 0 cm /Im Do Q", false, "its picture is drawn turned or slanted by other than quarter turns", -1},
        {"other columns", gray + "/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 44 >>", g4, "/Im Do", false,
         "its CCITT /Columns 44 is not its /Width 45", -1},
        {"rows missing", ccitt + ">>", g4.substr(0, g4.size() / 3), "/Im Do", false, "its CCITT data holds", -1},
        {"no size", "/ColorSpace /DeviceGray /BitsPerComponent 1", "", "/Im Do", false, "its picture gives a size of 0 by 0 pels", -1},
    };
    for (const auto& c : cases) {
        const Read read(OnePicture(c.image, c.data, c.draw), c.threshold);
        EXPECT_EQ(0u, read.picture.problem.rfind(c.problem, 0)) << c.what << ": " << read.picture.problem;
        EXPECT_EQ(c.noDrawing, read.picture.noDrawing) << c.what;
    }
}

// The general filters on streams whose decoding is known (LZW's is the PDF reference's own
// example), their faults named, and a stream that grows past the limit refused.
// A page tree that names a page twice gives it twice; one that names its own ancestor loops.
TEST(PdfReader, PageTreesThatRepeatOrLoop) {
    auto tree = [](const std::string& kids) {
        std::string file = OnePicture("/Width 1 /Height 1 /ImageMask true", "\x80");
        const std::size_t at = file.find("/Kids [3 0 R] /Count 1");
        return file.replace(at, 22, "/Kids [" + kids + "] /Count 2");
    };
    const struct {
        std::string kids;
        bool ok;
        std::size_t pages;
    } cases[] = {{"3 0 R 3 0 R", true, 2}, {"3 0 R 2 0 R", false, 0}};
    for (const auto& c : cases) {
        const std::string file = tree(c.kids);
        PdfDocument document;
        ASSERT_TRUE(document.Open(reinterpret_cast<const std::uint8_t*>(file.data()), file.size())) << document.Problem();
        std::vector<PdfPageInfo> pages;
        std::string problem;
        EXPECT_EQ(c.ok, document.Pages(pages, problem)) << c.kids;
        if (c.ok) EXPECT_EQ(c.pages, pages.size()) << c.kids;
        else EXPECT_EQ("its page tree loops", problem) << c.kids;
    }
}

TEST(PdfFilters, KnownStreamsAndTheirFaults) {
    const std::string zeros = Zlib(std::string(1 << 20, '\0'));
    const struct {
        std::vector<std::string> filters;
        std::string in, out, problem;
        std::size_t limit;
    } cases[] = {
        {{"LZWDecode"}, std::string("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 9), "-----A---B", "", 100},
        {{"ASCII85Decode"}, "A9)+&Bl7P`!!!!B~>", std::string("drawing\0\0\0\0!", 12), "", 100},
        {{"A85"}, "z~>", std::string(4, '\0'), "", 100},
        {{"ASCIIHexDecode"}, "64 72 6\n17>", "dra\x70", "", 100},
        {{"RunLengthDecode"}, "\x02" "abc\xFDx\x80zz", "abcxxxx", "", 100},
        {{"AHx", "RL"}, "0261626380>", "abc", "", 100},
        {{"FlateDecode"}, zeros, "", "it decodes to more than 1000 bytes", 1000},
        {{"FlateDecode"}, "xyz", "", "its FlateDecode data is damaged (zlib: incorrect header check)", 100},
        {{"LZWDecode"}, std::string("\x80\x0B\xFF\xFF", 4), "", "its LZWDecode data holds a code", 100},
        {{"ASCII85Decode"}, "v~>", "", "its ASCII85Decode data holds a byte outside ! to u", 100},
        {{"ASCIIHexDecode"}, "6g>", "", "its ASCIIHexDecode data holds a byte that is no hexadecimal digit", 100},
        {{"Foo"}, "x", "", "its filter Foo is not one PDF names", 100},
    };
    for (const auto& c : cases) {
        std::vector<PdfFilter> filters;
        for (const std::string& f : c.filters) filters.push_back({f, PdfObject()});
        const PdfDecoded decoded = PdfDecode(reinterpret_cast<const std::uint8_t*>(c.in.data()), c.in.size(), filters, c.limit);
        EXPECT_EQ(0u, decoded.problem.rfind(c.problem, 0)) << c.filters[0] << ": " << decoded.problem;
        if (c.problem.empty()) EXPECT_EQ(c.out, decoded.bytes) << c.filters[0];
    }
}

namespace {

// 45 by 20 pels drawn by one rule; the same figure as the masks below cut it.
libtiff::Rows Figure() {
    libtiff::Rows rows(20, std::vector<std::uint8_t>(6, 0));
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 45; ++x)
            if ((x + 2 * y) % 9 < 2 || y == 3 || x == 44) rows[y][x / 8] |= std::uint8_t(0x80 >> (x % 8));
    return rows;
}

// Each pel of the figure as a byte: `on` where it is black, `off` elsewhere.
std::string Bytewise(const libtiff::Rows& rows, char on, char off) {
    std::string out;
    for (const auto& row : rows)
        for (std::uint32_t x = 0; x < 45; ++x) out += row[x / 8] & (0x80 >> (x % 8)) ? on : off;
    return out;
}

} // namespace

// A picture's /Mask and /SMask as viewers draw it on white: black where the picture is black and
// painted; a partly transparent soft mask mixed with white and thresholded, or named without
// --threshold; a mask that does not fit named, never a black rectangle.
TEST(PdfPictures, MasksAsViewersDrawThemOnWhite) {
    const libtiff::Rows figure = Figure();
    const std::string size = "/Width 45 /Height 20 ";
    const std::string black = size + "/ColorSpace /DeviceGray /BitsPerComponent 8 ";
    const std::string blackData(45 * 20, '\0');
    auto mask = [&](const std::string& entries, const std::string& data) {
        return Stream("/Type /XObject /Subtype /Image " + entries, data);
    };
    // A stencil paints where its sample is 0.
    const std::string stencil = Packed(Inverted(figure, 45));
    const struct {
        const char* what;
        std::string image, data;
        std::vector<std::string> more;
        int threshold;
        const char* problem; // the start of the reason, empty when the figure comes out
        bool noDrawing;
    } cases[] = {
        {"a stencil", black + "/Mask 6 0 R", blackData, {mask("/ImageMask true " + size, stencil)}, -1, "", false},
        {"a stencil of Decode [1 0]", black + "/Mask 6 0 R", blackData, {mask("/ImageMask true /Decode [1 0] " + size, Packed(figure))}, -1, "", false},
        {"a soft mask", black + "/SMask 6 0 R", blackData,
         {mask(size + "/ColorSpace /DeviceGray /BitsPerComponent 8", Bytewise(figure, '\xFF', '\0'))}, -1, "", false},
        {"a soft mask of one bit", black + "/SMask 6 0 R", blackData,
         {mask(size + "/ColorSpace /DeviceGray /BitsPerComponent 1", Packed(figure))}, -1, "", false},
        {"a partly transparent soft mask by threshold", black + "/SMask 6 0 R", blackData,
         {mask(size + "/ColorSpace /DeviceGray /BitsPerComponent 8", Bytewise(figure, '\xC8', '\x10'))}, 50, "", false},
        {"a colour key", black + "/Mask [100 255]", Bytewise(figure, '\0', '\xC8'), {}, -1, "", false},
        {"a one-bit picture through a stencil", size + "/ColorSpace /DeviceGray /BitsPerComponent 1 /Mask 6 0 R", std::string(120, '\0'),
         {mask("/ImageMask true " + size, stencil)}, -1, "", false},
        {"a partly transparent soft mask", black + "/SMask 6 0 R", blackData,
         {mask(size + "/ColorSpace /DeviceGray /BitsPerComponent 8", Bytewise(figure, '\xC8', '\0'))}, -1,
         "its soft mask is partly transparent: --threshold N", true},
        {"a mask of another size", black + "/Mask 6 0 R", blackData, {mask("/ImageMask true /Width 90 /Height 40", std::string(480, '\0'))}, -1,
         "its mask is 90 by 40 pels, not its picture's 45 by 20", true},
        {"a soft mask with a matte", black + "/SMask 6 0 R", blackData,
         {mask(size + "/ColorSpace /DeviceGray /BitsPerComponent 8 /Matte [0]", Bytewise(figure, '\xFF', '\0'))}, -1,
         "its soft mask's /Matte", true},
    };
    for (const auto& c : cases) {
        const Read read(OnePicture(c.image, c.data, "q 90 0 0 40 0 0 cm /Im Do Q", c.more), c.threshold);
        EXPECT_EQ(0u, read.picture.problem.rfind(c.problem, 0)) << c.what << ": " << read.picture.problem;
        EXPECT_EQ(c.noDrawing, read.picture.noDrawing) << c.what;
        if (!*c.problem) EXPECT_EQ(figure, read.rows) << c.what;
    }
}

// Inline images are read: abbreviated keys and names, data of the length its size gives (an "EI"
// inside it no end), or up to an EI that stands alone after a filter's data.
TEST(PdfPictures, InlineImagesAreRead) {
    const libtiff::Rows figure = Figure();
    std::string samples = Packed(Inverted(figure, 45));
    samples.replace(7, 4, " EI ");
    libtiff::Rows withEi(20, std::vector<std::uint8_t>(6));
    for (std::size_t i = 0; i < samples.size(); ++i) withEi[i / 6][i % 6] = std::uint8_t(~samples[i]);
    for (auto& row : withEi) row[5] &= 0xF8;
    std::string hex;
    for (unsigned char c : Packed(Inverted(figure, 45))) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", c);
        hex += two;
    }
    const struct {
        const char* what;
        std::string draw;
        libtiff::Rows rows;
    } cases[] = {
        {"samples as they are", "q 90 0 0 40 0 0 cm BI /W 45 /H 20 /CS /G /BPC 1 ID " + samples + "\nEI Q", withEi},
        {"through ASCIIHex", "q 90 0 0 40 0 0 cm BI /W 45 /H 20 /CS /DeviceGray /BPC 1 /F /AHx ID " + hex + "> EI Q", figure},
        {"a mask", "q 90 0 0 40 0 0 cm BI /W 45 /H 20 /IM true /D [1 0] ID " + Packed(figure) + " EI Q", figure},
    };
    for (const auto& c : cases) {
        const Read read(OnePicture("/Width 1 /Height 1 /ImageMask true", "\x80", c.draw), -1);
        ASSERT_EQ("", read.picture.problem) << c.what;
        EXPECT_EQ(nullptr, read.picture.image) << c.what;
        EXPECT_EQ(36.0, read.picture.dpiX) << c.what;
        EXPECT_EQ(c.rows, read.rows) << c.what;
    }
}

// Documents made to cost: each is read, or refused by name, at a cost linear in what it holds,
// within the document's budget, on a stack no input deepens.
TEST(PdfReader, HostileDocumentsCostWhatTheyHold) {
    const std::string mask = "/Width 45 /Height 20 /ImageMask true";
    const std::string maskData(120, '\0');
    auto withPage = [&](const std::string& extra) {
        std::string file = OnePicture(mask, maskData);
        const std::size_t at = file.find("<< /Type /Page /Parent");
        return file.replace(file.find("/Contents 4 0 R", at), 15, "/Contents 4 0 R " + extra);
    };
    // A page tree whose 30 levels each name their one kid twice.
    std::vector<std::string> dag = {"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int level = 0; level < 30; ++level)
        dag.push_back("<< /Type /Pages /Kids [" + std::to_string(3 + level) + " 0 R " + std::to_string(3 + level) + " 0 R] >>");
    dag.push_back("<< /Type /Pages /Kids [] >>");
    // Forms nested 9 deep, each drawing the next 10 times, the last nothing; then the picture.
    std::vector<std::string> forms = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /MediaBox [0 0 90 40] /Resources << /XObject << /Im 5 0 R /F 6 0 R >> >> /Contents 4 0 R >>",
                                      Stream("", "/F Do q 90 0 0 40 0 0 cm /Im Do Q"), Stream("/Type /XObject /Subtype /Image " + mask, maskData)};
    for (int d = 0; d < 9; ++d) {
        std::string draws;
        for (int i = 0; i < 10 && d < 8; ++i) draws += "/F Do ";
        forms.push_back(Stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /F " + std::to_string(7 + d) + " 0 R >> >>",
                               draws.empty() ? "0 0 m" : draws));
    }
    // A dictionary of 80,000 keys.
    std::string keys;
    for (int k = 0; k < 80000; ++k) keys += "/K" + std::to_string(k) + " " + std::to_string(k) + " ";
    // A picture of zeros inflated twice, far more than its size needs.
    const std::string twice = Zlib(Zlib(std::string(std::size_t(64) << 20, '\0')));
    const struct {
        const char* what;
        std::string file;
        const char* problem; // from the pages or the picture; empty when the picture reads
    } cases[] = {
        {"a page tree that repeats its kids", Pdf(dag), "the document: its page tree names more than 200000 nodes"},
        {"forms drawn 10 times a level", Pdf(forms), ""},
        {"a dictionary of 80,000 keys", OnePicture(mask + " " + keys, maskData), ""},
        {"Flate twice", OnePicture("/Width 45 /Height 20 /ImageMask true /Filter [/FlateDecode /FlateDecode]", twice), ""},
        {"a /Rotate of 1e30", withPage("/Rotate 1e30"), "its /Rotate 1e30 is not a multiple of 90"},
        {"a /Rotate of 90.5", withPage("/Rotate 90.5"), "its /Rotate 90.5 is not a multiple of 90"},
        {"a /Rotate of -90", withPage("/Rotate -90"), ""},
        {"a /Width of 1e34", OnePicture("/Width 1e34 /Height 20 /ImageMask true", maskData), "its picture gives a size of 1e34 by 20 pels"},
        {"a /Length of 1e34", [&] {
             std::string file = OnePicture(mask, maskData);
             return file.replace(file.find("/Length 120"), 11, "/Length 1e34");
         }(), ""},
    };
    for (const auto& c : cases) {
        const Read read(c.file, -1);
        EXPECT_EQ(0u, read.picture.problem.rfind(c.problem, 0)) << c.what << ": " << read.picture.problem;
        if (!*c.problem) EXPECT_EQ(20u, read.rows.size()) << c.what;
        // Nothing is decoded past what the pages need, a piece of each filter at most.
        EXPECT_LT(read.document.Budget().Spent(), std::uint64_t(1) << 20) << c.what;
    }
}

// A chain of 3,000 object streams, each holding the /Length of the one before: read without the
// stack growing with it.
TEST(PdfReader, ChainsOfObjectStreamsKeepTheStackFlat) {
    constexpr int links = 3000;
    const std::string draw = "q 90 0 0 40 0 0 cm /Im Do Q";
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                        "<< /Type /Page /MediaBox [0 0 90 40] /Resources << /XObject << /Im 5 0 R >> >> /Contents 4 0 R >>",
                                        "<< /Length 6 0 R >>\nstream\n" + draw + "\nendstream",
                                        Stream("/Type /XObject /Subtype /Image /Width 45 /Height 20 /ImageMask true", std::string(120, '\0'))};
    std::string file = "%PDF-1.5\n";
    std::map<int, std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets[int(i) + 1] = file.size();
        file += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int first = 7; // object stream k is first + k; its /Length is first + links + k, in the next
    std::size_t previous = draw.size();
    for (int k = 0; k < links; ++k) {
        const std::string head = std::to_string(k == 0 ? 6 : first + links + k - 1) + " 0 ";
        const std::string data = head + std::to_string(previous);
        const std::string length = k + 1 < links ? std::to_string(first + links + k) + " 0 R" : std::to_string(data.size());
        offsets[first + k] = file.size();
        file += std::to_string(first + k) + " 0 obj\n<< /Type /ObjStm /N 1 /First " + std::to_string(head.size()) + " /Length " + length +
                " >>\nstream\n" + data + "\nendstream\nendobj\n";
        previous = data.size();
    }
    const int xref = first + 2 * links - 1;
    std::string table;
    auto entry = [&table](int type, std::size_t field) {
        table += char(type);
        for (int s = 24; s >= 0; s -= 8) table += char((field >> s) & 0xFF);
        table += std::string(2, '\0');
    };
    for (int n = 0; n <= xref; ++n) {
        if (n == 6) entry(2, first);
        else if (n >= first + links && n < xref) entry(2, std::size_t(n - links + 1));
        else if (n == xref) entry(1, file.size());
        else if (offsets.count(n)) entry(1, offsets[n]);
        else entry(0, 0);
    }
    const std::size_t at = file.size();
    file += std::to_string(xref) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xref + 1) + " /W [1 4 2] /Root 1 0 R /Length " +
            std::to_string(table.size()) + " >>\nstream\n" + table + "\nendstream\nendobj\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
    const Read read(file, -1);
    EXPECT_EQ("", read.picture.problem);
    EXPECT_EQ(20u, read.rows.size());
}

// The chain hands out what is asked for: a bomb costs a piece, the document's budget stops what
// passes it, a wrong checksum alone is forgiven with a note.
TEST(PdfFilters, TheChainDecodesOnlyWhatIsAskedFor) {
    const std::string zeros = Zlib(std::string(std::size_t(8) << 20, '\0'));
    const std::vector<PdfFilter> flate = {{"FlateDecode", PdfObject()}};
    {
        PdfBudget budget(std::uint64_t(1) << 30);
        PdfFilterChain chain(reinterpret_cast<const std::uint8_t*>(zeros.data()), zeros.size(), flate, &budget);
        std::uint8_t out[100];
        EXPECT_EQ(100u, chain.Read(out, sizeof out));
        EXPECT_LE(budget.Spent(), 65536u);
    }
    {
        PdfBudget budget(std::uint64_t(1) << 20);
        const PdfDecoded decoded = PdfDecode(reinterpret_cast<const std::uint8_t*>(zeros.data()), zeros.size(), flate, std::size_t(64) << 20, &budget);
        EXPECT_EQ("the document decodes to more than 1048576 bytes in all", decoded.problem);
        EXPECT_LE(budget.Spent(), budget.Limit());
    }
    {
        std::string wrong = Zlib("a drawing's content");
        wrong.back() = char(wrong.back() ^ 0xFF);
        const PdfDecoded decoded = PdfDecode(reinterpret_cast<const std::uint8_t*>(wrong.data()), wrong.size(), flate, 100);
        EXPECT_EQ("", decoded.problem);
        EXPECT_EQ("a drawing's content", decoded.bytes);
        EXPECT_EQ("its FlateDecode data ends with a wrong checksum, which is forgiven", decoded.note);
    }
}

namespace {

// The figure's rows [top, top + count) and columns [left, left + width) as 1-bit samples, 0 black.
std::string Part(const libtiff::Rows& figure, std::uint32_t left, std::uint32_t width, std::uint32_t top, std::uint32_t count) {
    std::string out;
    for (std::uint32_t y = top; y < top + count; ++y) {
        std::string row((width + 7) / 8, '\0');
        for (std::uint32_t x = 0; x < width; ++x)
            if (!(figure[y][(left + x) / 8] & (0x80 >> ((left + x) % 8)))) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

// A page of 90 by 40 points drawing the figure's parts (left, width, top, height), each an image
// of its own placed 2 points a pel; `nudge` moves the last one by that many points across.
std::string Tiles(const std::vector<std::array<std::uint32_t, 4>>& parts, double nudge = 0, double scale = 2,
                  const std::string& pageExtra = "") {
    const libtiff::Rows figure = Figure();
    std::string names, draw;
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "", ""};
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const auto& [left, width, top, height] = parts[k];
        const std::string n = std::to_string(5 + k);
        names += "/Im" + n + " " + n + " 0 R ";
        char cm[128];
        const double s = k + 1 == parts.size() ? scale : 2;
        std::snprintf(cm, sizeof cm, "q %g 0 0 %g %g %g cm /Im%s Do Q\n", width * s, height * s,
                      left * 2.0 + (k + 1 == parts.size() ? nudge : 0), 40.0 - 2.0 * (top + height), n.c_str());
        draw += cm;
        objects.push_back(Stream("/Type /XObject /Subtype /Image /ColorSpace /DeviceGray /BitsPerComponent 1 /Width " + std::to_string(width) +
                                     " /Height " + std::to_string(height),
                                 Part(figure, left, width, top, height)));
    }
    objects[2] = "<< /Type /Page /MediaBox [0 0 90 40] /Resources << /XObject << " + names + ">> >> /Contents 4 0 R " + pageExtra + ">>";
    objects[3] = Stream("", draw);
    return Pdf(objects);
}

} // namespace

// Strips and tiles of one drawing at one resolution make that drawing, whatever their order and
// however their columns fall on bytes; ones that overlap, leave room between them, or are drawn
// at other resolutions or between pels, are several pictures.
TEST(PdfPictures, StripsAndTilesMakeOneDrawing) {
    const libtiff::Rows figure = Figure();
    const struct {
        const char* what;
        std::string file;
        const libtiff::Rows* rows; // null: several pictures
    } cases[] = {
        {"three strips", Tiles({{0, 45, 0, 7}, {0, 45, 7, 7}, {0, 45, 14, 6}}), &figure},
        {"strips given bottom first", Tiles({{0, 45, 14, 6}, {0, 45, 0, 7}, {0, 45, 7, 7}}), &figure},
        {"four tiles, split off a byte", Tiles({{0, 21, 0, 10}, {21, 24, 0, 10}, {0, 21, 10, 10}, {21, 24, 10, 10}}), &figure},
        {"strips with a row between", Tiles({{0, 45, 0, 7}, {0, 45, 8, 12}}), nullptr},
        {"strips on a turned page", Tiles({{0, 45, 0, 7}, {0, 45, 7, 13}}, 0, 2, "/Rotate 90"), &figure},
        {"strips that overlap", Tiles({{0, 45, 0, 8}, {0, 45, 7, 13}}), nullptr},
        {"a strip between pels", Tiles({{0, 45, 0, 7}, {0, 45, 7, 13}}, 0.9), nullptr},
        {"a strip at another resolution", Tiles({{0, 45, 0, 7}, {0, 45, 7, 13}}, 0, 3), nullptr},
    };
    for (const auto& c : cases) {
        const Read read(c.file, -1);
        if (!c.rows) {
            EXPECT_TRUE(read.picture.noDrawing) << c.what;
            EXPECT_EQ(0u, read.picture.problem.rfind("its page holds 2 pictures, not one drawing", 0)) << c.what << ": " << read.picture.problem;
            continue;
        }
        ASSERT_EQ("", read.picture.problem) << c.what;
        EXPECT_EQ(36.0, read.picture.dpiX) << c.what;
        EXPECT_EQ(*c.rows, read.rows) << c.what;
    }
    // Turned with the page, as one picture is.
    const Read turned(Tiles({{0, 45, 0, 7}, {0, 45, 7, 13}}, 0, 2, "/Rotate 90"), -1);
    const Read one(OnePicture("/ColorSpace /DeviceGray /BitsPerComponent 1 /Width 45 /Height 20", Part(figure, 0, 45, 0, 20), "q 90 0 0 40 0 0 cm /Im Do Q"),
                   -1);
    EXPECT_EQ(0, one.picture.pelPath);
    std::string file = OnePicture("/ColorSpace /DeviceGray /BitsPerComponent 1 /Width 45 /Height 20", Part(figure, 0, 45, 0, 20));
    file.replace(file.find("/Contents 4 0 R"), 15, "/Contents 4 0 R /Rotate 90");
    const Read oneTurned(file, -1);
    EXPECT_EQ(oneTurned.picture.pelPath, turned.picture.pelPath);
    EXPECT_EQ(oneTurned.picture.lineProgression, turned.picture.lineProgression);
}

// Nesting 100,000 deep, of every kind the reader follows, costs the bound it meets: an object's
// arrays (100 levels), a content's arrays, forms (10), the page tree (64) and the outline (read
// on its own stack); none deepens the stack with its input.
TEST(PdfReader, NestingAHundredThousandDeepMeetsItsBound) {
    constexpr int deep = 100000;
    const std::string mask = "/Width 45 /Height 20 /ImageMask true";
    const std::string maskData(120, '\0');
    const std::string arrays = std::string(deep, '[') + std::string(deep, ']');
    std::vector<std::string> tree = {"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int level = 0; level < deep; ++level) tree.push_back("<< /Type /Pages /Kids [" + std::to_string(3 + level) + " 0 R] >>");
    tree.push_back("<< /Type /Page /MediaBox [0 0 90 40] >>");
    std::vector<std::string> forms = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /MediaBox [0 0 90 40] /Resources << /XObject << /F 5 0 R >> >> /Contents 4 0 R >>",
                                      Stream("", "/F Do")};
    for (int d = 0; d < deep; ++d)
        forms.push_back(Stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /F " + std::to_string(6 + d) + " 0 R >> >>",
                               "/F Do"));
    std::string outline;
    {
        std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                            "<< /Type /Page /MediaBox [0 0 90 40] /Resources << /XObject << /Im 5 0 R >> >> /Contents 4 0 R >>",
                                            Stream("", "q 90 0 0 40 0 0 cm /Im Do Q"), Stream("/Type /XObject /Subtype /Image " + mask, maskData),
                                            "<< /First 7 0 R >>"};
        for (int d = 0; d < deep; ++d)
            objects.push_back("<< /Title (mark) /Dest [3 0 R /Fit] /First " + std::to_string(8 + d) + " 0 R >>");
        outline = Pdf(objects);
    }
    const struct {
        const char* what;
        std::string file;
        const char* problem; // empty: the picture reads
    } cases[] = {
        {"an image's dictionary", OnePicture(mask + " /Deep " + arrays, maskData), "its page holds no picture"},
        {"the page's content", OnePicture(mask, maskData, arrays + " q 90 0 0 40 0 0 cm /Im Do Q"), "its content cannot be read"},
        {"forms", Pdf(forms), "forms nested deeper than 10"},
        {"the page tree", Pdf(tree), "the document: its page tree is deeper than 64"},
        {"the outline", outline, ""},
    };
    for (const auto& c : cases) {
        Read read(c.file, -1);
        EXPECT_EQ(0u, read.picture.problem.rfind(c.problem, 0)) << c.what << ": " << read.picture.problem;
        if (!*c.problem) EXPECT_EQ(1u, read.document.Bookmarks().size()) << c.what;
    }
}
