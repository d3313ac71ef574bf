// The TIFF writer, read back by libtiff: every page's tags, its strip byte for byte, its pels
// and its XMP; and the orientation tag agreeing with how the core shows each orientation.
#include "core/cals/CalsImage.h"
#include "core/tiff/TiffWriter.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace scanleaf::core;

libtiff::Rows Stripes(std::uint32_t width, std::uint32_t height, unsigned seed) {
    libtiff::Rows rows(height, std::vector<std::uint8_t>((width + 7) / 8, 0));
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (((x * 7 + y * 3 + seed) % 11) < 4) rows[y][x / 8] |= std::uint8_t(0x80 >> (x % 8));
    return rows;
}

TEST(TiffWriter, LibtiffReadsEveryPageAsWritten) {
    struct Page {
        TiffPage page;
        libtiff::Rows rows;
        std::vector<std::uint8_t> stream;
    };
    std::vector<Page> pages;
    const struct {
        std::uint32_t width, height, dpi;
        int path, lines;
        const char* xmp;
    } cases[] = {{41, 17, 200, 0, 270, "<x>one</x>"}, {64, 30, 300, 270, 270, ""}, {9, 5, 72, 180, 90, "odd"}};
    for (const auto& c : cases) {
        Page p;
        p.page.width = c.width;
        p.page.height = c.height;
        p.page.dpi = c.dpi;
        p.page.pelPath = c.path;
        p.page.lineProgression = c.lines;
        p.page.xmp = c.xmp;
        p.rows = Stripes(c.width, c.height, c.dpi);
        p.stream = libtiff::Encode(p.rows, c.width);
        pages.push_back(p);
    }
    std::string file;
    TiffWriter writer([&file](const char* bytes, std::size_t size) {
        file.append(bytes, size);
        return true;
    });
    for (std::size_t i = 0; i < pages.size(); ++i)
        ASSERT_TRUE(writer.AddPage(pages[i].page, pages[i].stream.data(), pages[i].stream.size(), i + 1 == pages.size()));
    EXPECT_EQ(file.size(), writer.BytesWritten());

    libtiff::TempPath path;
    std::ofstream(path.c_str(), std::ios::binary) << file;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(nullptr, tif);
    EXPECT_EQ(pages.size(), std::size_t(TIFFNumberOfDirectories(tif)));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(TIFFSetDirectory(tif, tdir_t(i)));
        const TiffPage& page = pages[i].page;
        std::uint32_t width = 0, height = 0;
        std::uint16_t compression = 0, photometric = 9, fill = 0, orientation = 0, unit = 0;
        float xres = 0, yres = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_FILLORDER, &fill);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres);
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        EXPECT_EQ(page.width, width);
        EXPECT_EQ(page.height, height);
        EXPECT_EQ(COMPRESSION_CCITTFAX4, compression);
        EXPECT_EQ(PHOTOMETRIC_MINISWHITE, photometric);
        EXPECT_EQ(FILLORDER_MSB2LSB, fill);
        EXPECT_EQ(TiffOrientation(page.pelPath, page.lineProgression), orientation);
        EXPECT_EQ(float(page.dpi), xres);
        EXPECT_EQ(float(page.dpi), yres);
        EXPECT_EQ(RESUNIT_INCH, unit);
        EXPECT_EQ(1u, TIFFNumberOfStrips(tif));
        std::vector<std::uint8_t> raw(pages[i].stream.size() + 16);
        raw.resize(std::size_t(TIFFReadRawStrip(tif, 0, raw.data(), tmsize_t(raw.size()))));
        EXPECT_EQ(pages[i].stream, raw);
        std::uint32_t xmpSize = 0;
        void* xmp = nullptr;
        const bool hasXmp = TIFFGetField(tif, TIFFTAG_XMLPACKET, &xmpSize, &xmp);
        EXPECT_EQ(!page.xmp.empty(), hasXmp);
        if (hasXmp) {
            EXPECT_EQ(page.xmp, std::string(static_cast<const char*>(xmp), xmpSize));
        }
        std::vector<std::uint8_t> row(TIFFScanlineSize(tif));
        for (std::uint32_t y = 0; y < height; ++y) {
            ASSERT_EQ(1, TIFFReadScanline(tif, row.data(), y, 0));
            ASSERT_EQ(pages[i].rows[y], row) << "line " << y;
        }
    }
    TIFFClose(tif);
}

// TIFF's values say where row 0 and column 0 are shown; the core's orientation places the pels.
TEST(TiffWriter, OrientationTagsAgreeWithTheShownPicture) {
    const std::uint32_t w = 5, h = 3;
    for (int path : {0, 90, 180, 270}) {
        for (int lines : {90, 270}) {
            const Orientation o(path, lines, w, h);
            std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            o.Place(0, 0, x0, y0);     // row 0, column 0
            o.Place(w - 1, 0, x1, y1); // row 0, last column
            const bool rowAlongX = y0 == y1;
            int expected = 0;
            if (rowAlongX)
                expected = y0 == 0 ? (x0 == 0 ? 1 : 2) : (x0 == 0 ? 4 : 3);
            else
                expected = x0 == 0 ? (y0 == 0 ? 5 : 8) : (y0 == 0 ? 6 : 7);
            EXPECT_EQ(expected, TiffOrientation(path, lines)) << path << "," << lines;
        }
    }
    EXPECT_EQ(1, TiffOrientation(45, 270));
}

} // namespace
