// The PDF writer: a file whose cross-reference table points at every object, Group 4 streams
// kept byte for byte, text strings and XMP names escaped, and each of the eight orientations
// shown upright, which Ghostscript and qpdf (programs no one here wrote) confirm.
#include "core/cals/CalsImage.h"
#include "core/pdf/PdfWriter.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using namespace scanleaf::core;

std::string Write(const std::vector<std::pair<PdfPage, std::vector<std::uint8_t>>>& pages, const Text& title,
                  const CardValues& card) {
    std::string file;
    PdfWriter writer([&file](const char* bytes, std::size_t size) {
        file.append(bytes, size);
        return true;
    });
    EXPECT_TRUE(writer.Begin());
    for (const auto& [page, stream] : pages) EXPECT_TRUE(writer.AddPage(page, stream.data(), stream.size()));
    EXPECT_TRUE(writer.Finish(title, card));
    EXPECT_EQ(file.size(), writer.BytesWritten());
    return file;
}

// A picture that tells every orientation apart: a filled corner block, a bar along the top.
libtiff::Rows Picture(std::uint32_t width, std::uint32_t height) {
    libtiff::Rows rows(height, std::vector<std::uint8_t>((width + 7) / 8, 0));
    auto set = [&rows](std::uint32_t x, std::uint32_t y) { rows[y][x / 8] |= std::uint8_t(0x80 >> (x % 8)); };
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if ((x < width / 3 && y < height / 4) || y == 0 || (x == width - 1 && y > height / 2)) set(x, y);
    return rows;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool Black(const libtiff::Rows& rows, std::uint32_t x, std::uint32_t y) { return rows[y][x / 8] & (0x80 >> (x % 8)); }

TEST(PdfWriter, EveryObjectWhereTheTableSaysAndTheStreamsUnchanged) {
    const libtiff::Rows rows = Picture(40, 24);
    const std::vector<std::uint8_t> stream = libtiff::Encode(rows, 40);
    ASSERT_FALSE(stream.empty());
    PdfPage page;
    page.width = 40;
    page.height = 24;
    page.bookmark = SL_T("one");
    PdfPage second = page;
    second.bookmark.clear();
    const std::string pdf = Write({{page, stream}, {second, stream}, {page, stream}}, SL_T("T"), {{SL_T("a"), SL_T("b")}});

    ASSERT_EQ(0u, pdf.find("%PDF-1.5\n"));
    // The cross-reference stream: each entry a type byte and an offset of /W's width, big-endian.
    const std::size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(std::string::npos, startxref);
    const std::size_t xref = std::stoull(pdf.substr(startxref + 10));
    const std::size_t dictionary = pdf.find("<< /Type /XRef /Size ", xref);
    ASSERT_LT(dictionary, xref + 16);
    const std::size_t count = std::stoull(pdf.substr(dictionary + 21));
    EXPECT_EQ(6u + 2 * 3 + 1 + 2 + 1, count) << "five fixed objects, two a page and one drawing shared, two bookmarks, the stream";
    const std::size_t w = pdf.find("/W [1 ", dictionary);
    ASSERT_NE(std::string::npos, w);
    const std::size_t width = std::stoull(pdf.substr(w + 6));
    const std::size_t data = pdf.find(">>\nstream\n", dictionary) + 10;
    ASSERT_EQ(count * (1 + width) + data, pdf.find("\nendstream", data));
    ASSERT_EQ(0u, pdf.compare(xref, std::to_string(count - 1).size() + 6, std::to_string(count - 1) + " 0 obj"));
    EXPECT_EQ(0, pdf[data]) << "object 0 is free";
    for (std::size_t object = 1; object < count; ++object) {
        const char* entry = pdf.data() + data + object * (1 + width);
        ASSERT_EQ(1, entry[0]) << object;
        std::size_t offset = 0;
        for (std::size_t b = 1; b <= width; ++b) offset = offset << 8 | static_cast<unsigned char>(entry[b]);
        EXPECT_EQ(0u, pdf.compare(offset, std::to_string(object).size() + 6, std::to_string(object) + " 0 obj")) << object;
    }
    EXPECT_EQ(1u, Count(pdf, "cm /Im0 Do Q")) << "pages of one size draw through one content stream";
    const std::string bytes(stream.begin(), stream.end());
    std::size_t found = 0;
    for (std::size_t at = pdf.find(bytes); at != std::string::npos; at = pdf.find(bytes, at + 1)) ++found;
    EXPECT_EQ(3u, found);
    EXPECT_NE(std::string::npos, pdf.find("/Title (one)"));
    EXPECT_NE(std::string::npos, pdf.find(" card:a=\"b\""));
}

TEST(PdfWriter, TextStringsAndPropertyNames) {
    const struct {
        Text text;
        const char* pdf;
        const char* xmpName;
    } cases[] = {
        {SL_T("A3-000471"), "(A3-000471)", "A3-000471"},
        {SL_T("a(b)\\c"), "(a\\(b\\)\\\\c)", "a_x0028_b_x0029__x005C_c"},
        {SL_T("caf\u00e9"), "<FEFF00630061006600E9>", "caf_x00E9_"},
        {SL_T("2nd sheet"), "(2nd sheet)", "_x0032_nd_x0020_sheet"},
        {SL_T("_x"), "(_x)", "_x005F_x"},
        {Text{Unit(0xD83D), Unit(0xDE00), Unit(0xDC00), Unit('a')}, "<FEFFD83DDE00FFFD0061>", "_xD83D__xDE00__xDC00_a"},
        {SL_T(""), "()", "_"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.pdf, PdfTextString(c.text)) << c.pdf;
        EXPECT_EQ(c.xmpName, XmpPropertyName(c.text)) << c.pdf;
    }
    // A value is an attribute: a tab and line ends go as references, as XML reads them as spaces.
    const std::string xmp = XmpPacket(SL_T("<T&>"), {{SL_T("notes"), SL_T("a < b & \"c\"\x01\t\r\n")}});
    EXPECT_NE(std::string::npos, xmp.find("<rdf:li xml:lang=\"x-default\">&lt;T&amp;&gt;</rdf:li>"));
    EXPECT_NE(std::string::npos, xmp.find(" card:notes=\"a &lt; b &amp; &quot;c&quot;\xEF\xBF\xBD&#9;&#13;&#10;\""));
    std::string problem;
    EXPECT_EQ((CardValues{{SL_T("notes"), SL_T("a < b & \"c\"\uFFFD\t\r\n")}}), XmpCard(xmp, problem)) << problem;
}

// The pels that Ghostscript draws at the drawing's own dpi, as rows of 0 (white) and 1.
std::vector<std::string> Render(const std::string& pdf, int dpi) {
    libtiff::TempPath in, out;
    std::ofstream(in.c_str(), std::ios::binary) << pdf;
    const std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw -r" + std::to_string(dpi) +
                                " -sOutputFile=" + out.c_str() + " " + in.c_str() + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream file(out.c_str(), std::ios::binary);
    // "P4", then width and height, with "#" comment lines among them.
    std::vector<std::uint32_t> numbers;
    std::string token;
    while (numbers.size() < 2 && file >> token) {
        if (token[0] == '#') {
            std::getline(file, token);
        } else if (token != "P4") {
            numbers.push_back(std::uint32_t(std::stoul(token)));
        }
    }
    file.get();
    if (numbers.size() < 2) return {};
    const std::uint32_t width = numbers[0], height = numbers[1];
    std::vector<std::string> rows;
    std::vector<char> row((width + 7) / 8);
    for (std::uint32_t y = 0; y < height && file.read(row.data(), std::streamsize(row.size())); ++y) {
        std::string pels;
        for (std::uint32_t x = 0; x < width; ++x) pels += (row[x / 8] & (0x80 >> (x % 8))) ? '1' : '0';
        rows.push_back(pels);
    }
    return rows;
}

TEST(PdfWriter, EachOrientationShownUprightAsGhostscriptDrawsIt) {
    const std::uint32_t width = 40, height = 24;
    const libtiff::Rows rows = Picture(width, height);
    const std::vector<std::uint8_t> stream = libtiff::Encode(rows, width);
    const int orientations[8][2] = {{0, 270}, {180, 90}, {180, 270}, {0, 90}, {270, 90}, {270, 270}, {90, 90}, {90, 270}};
    for (const auto& o : orientations) {
        PdfPage page;
        page.width = width;
        page.height = height;
        page.dpi = 72; // one pel a point
        page.pelPath = o[0];
        page.lineProgression = o[1];
        const std::vector<std::string> shown = Render(Write({{page, stream}}, Text(), {}), 72);
        const Orientation orientation(o[0], o[1], width, height);
        ASSERT_EQ(orientation.ShownHeight(), shown.size()) << o[0] << "," << o[1];
        std::vector<std::string> expected(orientation.ShownHeight(), std::string(orientation.ShownWidth(), '0'));
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint32_t sx = 0, sy = 0;
                orientation.Place(x, y, sx, sy);
                if (Black(rows, x, y)) expected[sy][sx] = '1';
            }
        EXPECT_EQ(expected, shown) << o[0] << "," << o[1];
    }
}

TEST(PdfWriter, QpdfFindsNothingWrongWhateverTheCard) {
    std::mt19937 random(11);
    const libtiff::Rows rows = Picture(64, 30);
    const std::vector<std::uint8_t> stream = libtiff::Encode(rows, 64);
    for (int round = 0; round < 5; ++round) {
        auto text = [&random]() {
            Text t;
            for (int i = int(random() % 12); i > 0; --i) t += Unit(random() % 3 ? 0x20 + random() % 0x5F : random() % 0x3000);
            return t;
        };
        std::vector<std::pair<PdfPage, std::vector<std::uint8_t>>> pages;
        for (int p = 0; p < 1 + round; ++p) {
            PdfPage page;
            page.width = 64;
            page.height = 30;
            page.dpi = 100 + 50 * p;
            page.bookmark = text();
            pages.push_back({page, stream});
        }
        CardValues card;
        for (int v = 0; v < 4; ++v) card.push_back({text(), text()});
        libtiff::TempPath path;
        std::ofstream(path.c_str(), std::ios::binary) << Write(pages, text(), card);
        const std::string command = std::string("qpdf --check ") + path.c_str() + " >/dev/null 2>&1";
        EXPECT_EQ(0, std::system(command.c_str())) << "round " << round;
    }
}

// A roll drawing longer than 200 inches: the page gets a user unit, so PDF 1.4 readers' limit of
// 14400 units holds and the page still measures its true size; qpdf finds nothing wrong.
TEST(PdfWriter, PagesLongerThan200InchesKeepTheirSizeInUserUnits) {
    const libtiff::Rows rows = Picture(64, 30);
    const std::vector<std::uint8_t> stream = libtiff::Encode(rows, 64);
    const struct {
        std::uint32_t width, height, dpi;
        const char* unit;   // "" for none
        const char* box;
    } cases[] = {
        {64, 30, 200, "", "/MediaBox [0 0 23.04 10.8]"},
        {28800, 600, 144, "", "/MediaBox [0 0 14400 300]"},        // exactly 200 inches
        {28801, 600, 144, " /UserUnit 2", "/MediaBox [0 0 7200.25 150]"},
        {60000, 2000, 100, " /UserUnit 3", "/MediaBox [0 0 14400 480]"},
    };
    for (const auto& c : cases) {
        PdfPage page;
        page.width = c.width;
        page.height = c.height;
        page.dpi = c.dpi;
        EXPECT_EQ(*c.unit ? std::uint32_t(c.unit[11] - '0') : 1u, scanleaf::core::PdfUserUnit(page)) << c.width;
        // The stream's own size does not matter to the page's dictionary.
        const std::string pdf = Write({{page, stream}}, Text(), CardValues());
        EXPECT_NE(std::string::npos, pdf.find(std::string(c.box) + c.unit + " /Resources")) << c.width;
        EXPECT_EQ(*c.unit != 0, pdf.find("/Type /Catalog /Version /1.6") != std::string::npos) << c.width;
        libtiff::TempPath path;
        std::ofstream(path.c_str(), std::ios::binary) << pdf;
        const std::string command = std::string("qpdf --check ") + path.c_str() + " >/dev/null 2>&1";
        EXPECT_EQ(0, std::system(command.c_str())) << c.width;
    }
}

} // namespace
