// The TIFF directory reader on files libtiff wrote, and on the lies a file can tell.
#include "core/cals/CalsImage.h"
#include "core/tiff/TiffReader.h"
#include "core/tiff/TiffWriter.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using scanleaf::core::TiffPageInfo;

struct Written {
    std::uint16_t compression = COMPRESSION_CCITTFAX4;
    std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    std::uint16_t fillOrder = FILLORDER_MSB2LSB;
    std::uint32_t rowsPerStrip = 0; // 0: one strip
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    float dpi = 300;
    std::uint16_t unit = RESUNIT_INCH;
    int pages = 1;
};

std::string Bytes(const Written& w) {
    libtiff::TempPath path;
    TIFF* out = TIFFOpen(path.c_str(), "w");
    const std::uint32_t width = 100, height = 40;
    for (int p = 0; p < w.pages; ++p) {
        libtiff::Describe(out, width, height);
        TIFFSetField(out, TIFFTAG_COMPRESSION, w.compression);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, w.photometric);
        TIFFSetField(out, TIFFTAG_FILLORDER, w.fillOrder);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, w.rowsPerStrip ? w.rowsPerStrip : height);
        TIFFSetField(out, TIFFTAG_ORIENTATION, w.orientation);
        TIFFSetField(out, TIFFTAG_XRESOLUTION, w.dpi);
        TIFFSetField(out, TIFFTAG_YRESOLUTION, w.dpi);
        TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, w.unit);
        std::vector<std::uint8_t> row((width + 7) / 8, 0x0F);
        for (std::uint32_t r = 0; r < height; ++r) TIFFWriteScanline(out, row.data(), r, 0);
        TIFFWriteDirectory(out);
    }
    TIFFClose(out);
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

scanleaf::core::TiffFileInfo Read(const std::string& bytes) {
    return scanleaf::core::ReadTiffDirectories(bytes.size(), [&](std::uint64_t at, std::size_t size, std::uint8_t* out) {
        if (at > bytes.size() || size > bytes.size() - at) return false;
        std::copy(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size), out);
        return true;
    });
}

TEST(TiffReader, TellsWhichPagesHoldACalsStream) {
    const struct {
        const char* what;
        Written written;
        bool calsStream;
        std::uint32_t dpi;
    } cases[] = {
        {"one Group 4 strip", {}, true, 300},
        {"several strips", {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 16}, false, 300},
        {"LZW", {COMPRESSION_LZW}, false, 300},
        {"0 is black", {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK}, false, 300},
        {"least significant bit first", {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, FILLORDER_LSB2MSB}, false, 300},
        {"turned, in centimetres", {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0,
                                    ORIENTATION_RIGHTTOP, 78.74f, RESUNIT_CENTIMETER}, true, 200},
        {"no unit", {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0, ORIENTATION_TOPLEFT, 300,
                     RESUNIT_NONE}, true, 0},
    };
    for (const auto& c : cases) {
        const std::string bytes = Bytes(c.written);
        const auto info = Read(bytes);
        ASSERT_TRUE(info.tiff) << c.what;
        ASSERT_EQ(1u, info.pages.size()) << c.what;
        const TiffPageInfo& page = info.pages[0];
        EXPECT_EQ("", scanleaf::core::TiffPageProblem(page, bytes.size())) << c.what;
        EXPECT_EQ(c.calsStream, scanleaf::core::IsCalsStream(page)) << c.what;
        double x = 0, y = 0;
        scanleaf::core::TiffResolution(page, x, y);
        EXPECT_NEAR(double(c.dpi), x, 0.01) << c.what;
        EXPECT_NEAR(double(c.dpi), y, 0.01) << c.what;
        EXPECT_EQ(c.written.orientation, page.orientation) << c.what;
        EXPECT_EQ(100u, page.width);
        EXPECT_EQ(40u, page.height);
    }
    EXPECT_EQ(3u, Read(Bytes({COMPRESSION_LZW, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0, 1, 300, 2, 3})).pages.size());
}

// Little-endian fields at known places of libtiff's one-page Group 4 file of 100 by 40.
void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
}

std::size_t EntryOf(const std::string& bytes, std::uint16_t tag) {
    const std::size_t directory = std::uint8_t(bytes[4]) | std::uint8_t(bytes[5]) << 8 | std::uint8_t(bytes[6]) << 16;
    const std::size_t count = std::uint8_t(bytes[directory]) | std::uint8_t(bytes[directory + 1]) << 8;
    for (std::size_t e = 0; e < count; ++e) {
        const std::size_t at = directory + 2 + e * 12;
        if ((std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8) == tag) return at;
    }
    return 0;
}

// A tag's one value, made a LONG.
void SetLong(std::string& bytes, std::uint16_t tag, std::uint32_t value) {
    const std::size_t at = EntryOf(bytes, tag);
    bytes[at + 2] = char(TIFF_LONG);
    bytes[at + 3] = 0;
    Put32(bytes, at + 8, value);
}

TEST(TiffReader, FilesThatLieAreNamed) {
    const std::string good = Bytes({});
    const struct {
        const char* what;
        std::function<void(std::string&)> edit;
        std::string problem; // what TiffPageProblem begins with; "chain:" for the reader's own
    } cases[] = {
        {"a strip past the end", [](std::string& b) { Put32(b, EntryOf(b, TIFFTAG_STRIPOFFSETS) + 8, 1u << 30); },
         "strip 1 lies past"},
        {"a strip too long", [](std::string& b) { Put32(b, EntryOf(b, TIFFTAG_STRIPBYTECOUNTS) + 8, 1u << 20); },
         "strip 1 lies past"},
        {"a width of 0", [](std::string& b) { SetLong(b, TIFFTAG_IMAGEWIDTH, 0); }, "a size of 0"},
        {"100,000 by 100,000", [](std::string& b) {
             SetLong(b, TIFFTAG_IMAGEWIDTH, 100000);
             SetLong(b, TIFFTAG_IMAGELENGTH, 100000);
         }, "claims 100000 by 100000"},
        {"rows past its strips", [](std::string& b) {
             SetLong(b, TIFFTAG_ROWSPERSTRIP, 1);
         }, "strips for fewer rows"},
        {"a directory past the end", [](std::string& b) { Put32(b, 4, 1u << 30); }, "chain: a directory past"},
        {"a directory linking to itself", [](std::string& b) {
             const std::size_t directory = std::uint8_t(b[4]) | std::uint8_t(b[5]) << 8;
             const std::size_t count = std::uint8_t(b[directory]);
             Put32(b, directory + 2 + count * 12, std::uint32_t(directory));
         }, "chain: a directory links back"},
        {"cut short", [](std::string& b) { b.resize(b.size() / 2); }, "chain: a directory past"},
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        c.edit(bytes);
        const auto info = Read(bytes);
        std::string problem = info.problem.empty() ? "" : "chain: " + info.problem;
        if (problem.empty() && !info.pages.empty()) problem = scanleaf::core::TiffPageProblem(info.pages[0], bytes.size());
        EXPECT_EQ(0u, problem.rfind(c.problem, 0)) << c.what << ": " << problem;
    }
    EXPECT_FALSE(Read("GIF89a..").tiff);
}

} // namespace
