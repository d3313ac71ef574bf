// Fax pages of every layout and coding that libtiff writes (Group 4, Group 3 1-D and 2-D with and
// without end-of-line codes on bytes, Modified Huffman), decoded by the core piece by piece,
// against libtiff's own reading of the same file: one strip, several, tiles, each fill order, 0 as
// white or black; and pages whose pieces are spoilt, refused with their place.
#include "core/tiff/FaxPage.h"
#include "core/tiff/TiffReader.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace {

using libtiff::Rows;

struct Layout {
    const char* name;
    std::uint32_t width, height;
    std::uint32_t rowsPerStrip; // 0: one strip
    std::uint32_t tile;         // 0: strips; else square tiles of this side
    std::uint16_t fillOrder;
    std::uint16_t photometric;
    std::uint16_t compression = COMPRESSION_CCITTFAX4;
    std::uint32_t t4Options = 0; // Group 3: 1 two-dimensional, 4 end-of-line codes padded to a byte
};

Rows Drawing(std::uint32_t width, std::uint32_t height, unsigned seed) {
    std::mt19937 rng(seed);
    Rows rows(height, std::vector<std::uint8_t>((width + 7) / 8, 0));
    // Lines and blocks, as a drawing has them, with some noise.
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool ink = (x % 37 < 3) || (y % 23 < 2) || ((x / 16 + y / 16) % 5 == 0) || rng() % 97 == 0;
            if (ink) rows[y][x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        }
    return rows;
}

// The file libtiff writes for the layout, holding `pels` (1 = black) whatever its photometric.
std::string Write(const Layout& l, const Rows& pels) {
    libtiff::TempPath path;
    TIFF* out = TIFFOpen(path.c_str(), "w");
    libtiff::Describe(out, l.width, l.height);
    TIFFSetField(out, TIFFTAG_COMPRESSION, l.compression);
    if (l.compression == COMPRESSION_CCITTFAX3) TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, l.t4Options);
    TIFFSetField(out, TIFFTAG_FILLORDER, l.fillOrder);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, l.photometric);
    const auto stored = [&](std::uint32_t y, std::uint32_t x0, std::uint32_t count, std::uint8_t* to) {
        for (std::uint32_t x = 0; x < count; ++x) {
            const bool black = x0 + x < l.width && y < l.height && (pels[y][(x0 + x) >> 3] & (0x80 >> ((x0 + x) & 7)));
            if (black != (l.photometric == PHOTOMETRIC_MINISBLACK)) to[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        }
    };
    if (l.tile) {
        TIFFSetField(out, TIFFTAG_TILEWIDTH, l.tile);
        TIFFSetField(out, TIFFTAG_TILELENGTH, l.tile);
        for (std::uint32_t ty = 0; ty < l.height; ty += l.tile)
            for (std::uint32_t tx = 0; tx < l.width; tx += l.tile) {
                std::vector<std::uint8_t> tile(std::size_t(l.tile / 8) * l.tile, 0);
                for (std::uint32_t r = 0; r < l.tile; ++r) stored(ty + r, tx, l.tile, tile.data() + r * (l.tile / 8));
                TIFFWriteTile(out, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip ? l.rowsPerStrip : l.height);
        for (std::uint32_t y = 0; y < l.height; ++y) {
            std::vector<std::uint8_t> row((l.width + 7) / 8, 0);
            stored(y, 0, l.width, row.data());
            TIFFWriteScanline(out, row.data(), y, 0);
        }
    }
    TIFFClose(out);
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// libtiff's reading of the file's pels (1 = black).
Rows ReadWithLibtiff(const std::string& bytes, const Layout& l) {
    libtiff::TempPath path;
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
    TIFF* in = TIFFOpen(path.c_str(), "r");
    Rows rows(l.height, std::vector<std::uint8_t>((l.width + 7) / 8, 0));
    std::vector<std::uint32_t> rgba(std::size_t(l.width) * l.height);
    TIFFReadRGBAImageOriented(in, l.width, l.height, rgba.data(), ORIENTATION_TOPLEFT, 0);
    TIFFClose(in);
    for (std::uint32_t y = 0; y < l.height; ++y)
        for (std::uint32_t x = 0; x < l.width; ++x)
            if (TIFFGetR(rgba[std::size_t(y) * l.width + x]) < 128) rows[y][x >> 3] |= std::uint8_t(0x80 >> (x & 7));
    return rows;
}

struct Decoded {
    Rows rows;
    std::string problem;
};

Decoded DecodeWithCore(const std::string& bytes) {
    const auto read = [&bytes](std::uint64_t at, std::size_t size, std::uint8_t* out) {
        if (at > bytes.size() || size > bytes.size() - at) return false;
        std::copy(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size), out);
        return true;
    };
    const scanleaf::core::TiffFileInfo info = scanleaf::core::ReadTiffDirectories(bytes.size(), read);
    Decoded d;
    if (!info.tiff || info.pages.empty()) return d.problem = "no TIFF page", d;
    const std::string lie = scanleaf::core::TiffPageProblem(info.pages[0], bytes.size());
    if (!lie.empty()) return d.problem = lie, d;
    scanleaf::core::FaxPageDecoder decoder(info.pages[0], read);
    std::vector<std::uint8_t> row(decoder.RowBytes());
    while (decoder.NextRow(row.data())) d.rows.push_back(row);
    d.problem = decoder.Problem();
    return d;
}

const Layout kLayouts[] = {
    {"one strip", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"strips of 16 rows", 203, 97, 16, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"strips of one row", 64, 40, 1, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"fill order 2", 203, 97, 0, 0, FILLORDER_LSB2MSB, PHOTOMETRIC_MINISWHITE},
    {"0 is black", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISBLACK},
    {"strips, fill order 2, 0 is black", 203, 97, 7, 0, FILLORDER_LSB2MSB, PHOTOMETRIC_MINISBLACK},
    {"tiles of 64", 203, 97, 0, 64, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"tiles of 16 on a page of whole tiles", 128, 64, 0, 16, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"tiles, fill order 2, 0 is black", 150, 70, 0, 32, FILLORDER_LSB2MSB, PHOTOMETRIC_MINISBLACK},
    {"one pel wide", 1, 300, 64, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE},
    {"Group 3 1-D", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 0},
    {"Group 3 2-D", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 1},
    {"Group 3 1-D, end-of-line codes on bytes", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE,
     COMPRESSION_CCITTFAX3, 4},
    {"Group 3 2-D, end-of-line codes on bytes, strips of 10, fill order 2", 1728, 60, 10, 0, FILLORDER_LSB2MSB,
     PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 5},
    {"Group 3 2-D, tiles of 32, 0 is black", 150, 70, 0, 32, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISBLACK,
     COMPRESSION_CCITTFAX3, 1},
    {"Modified Huffman", 203, 97, 0, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTRLE, 0},
    {"Modified Huffman, strips of 7, fill order 2", 64, 40, 7, 0, FILLORDER_LSB2MSB, PHOTOMETRIC_MINISWHITE,
     COMPRESSION_CCITTRLE, 0},
};

TEST(FaxPage, EveryLayoutGivesLibtiffsPels) {
    unsigned seed = 37;
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.name);
        const Rows pels = Drawing(l.width, l.height, seed++);
        const std::string file = Write(l, pels);
        ASSERT_FALSE(file.empty());
        const Rows reference = ReadWithLibtiff(file, l);
        ASSERT_EQ(pels, reference) << "libtiff reads what was written";
        const Decoded core = DecodeWithCore(file);
        EXPECT_EQ("", core.problem);
        EXPECT_EQ(reference, core.rows);
    }
}

// A page spoilt in one piece: libtiff names an error there, and the core refuses the page with
// the piece's place; it never hands out the rest as if sound.
TEST(FaxPage, ASpoiltPieceRefusesThePageWithItsPlace) {
    const Layout strips{"strips", 203, 97, 16, 0, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE};
    const Layout tiles{"tiles", 203, 97, 0, 64, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE};
    for (const Layout& l : {strips, tiles}) {
        SCOPED_TRACE(l.name);
        std::string file = Write(l, Drawing(l.width, l.height, 5));
        const auto read = [&file](std::uint64_t at, std::size_t size, std::uint8_t* out) {
            if (at > file.size() || size > file.size() - at) return false;
            std::copy(file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(at + size), out);
            return true;
        };
        const scanleaf::core::TiffPageInfo page = scanleaf::core::ReadTiffDirectories(file.size(), read).pages.at(0);
        ASSERT_GE(page.stripOffsets.size(), 3u);
        // The second piece cut to its first two bytes: it ends before its rows do.
        const std::uint64_t at = page.stripOffsets[1];
        scanleaf::core::TiffPageInfo cut = page;
        cut.stripByteCounts[1] = 2;
        scanleaf::core::FaxPageDecoder decoder(cut, read);
        std::vector<std::uint8_t> row(decoder.RowBytes());
        while (decoder.NextRow(row.data())) {
        }
        EXPECT_LT(decoder.Rows(), l.height);
        EXPECT_EQ(0u, decoder.Problem().find(std::string(l.tile ? "tile 2, row " : "strip 2, row 17: ")))
            << decoder.Problem();
        // Bits that are no code, in the middle of the second piece.
        for (std::size_t i = 0; i < 4; ++i) file[std::size_t(at) + 2 + i] = '\0';
        const Decoded spoilt = DecodeWithCore(file);
        EXPECT_NE(std::string::npos, spoilt.problem.find(l.tile ? "tile 2, row " : "strip 2, row ")) << spoilt.problem;
    }
}

// The tags that contradict a fax page are named before any row.
TEST(FaxPage, TagsThatContradictTheCodingAreNamed) {
    scanleaf::core::TiffPageInfo page;
    page.width = 100;
    page.height = 10;
    page.compression = 4;
    page.stripOffsets = {8};
    page.stripByteCounts = {10};
    const struct {
        void (*spoil)(scanleaf::core::TiffPageInfo&);
        const char* problem;
    } cases[] = {
        {[](scanleaf::core::TiffPageInfo& p) { p.bitsPerSample = 2; },
         "a fax compression codes one sample of one bit a pel, but the page gives 1 sample(s) of 2 bit(s)"},
        {[](scanleaf::core::TiffPageInfo& p) { p.conflict = "BitsPerSample is given twice: 1 and 2"; },
         "BitsPerSample is given twice: 1 and 2"},
        {[](scanleaf::core::TiffPageInfo& p) { p.tiled = true; }, "no usable tile size"},
        {[](scanleaf::core::TiffPageInfo& p) { p.tiled = true, p.tileWidth = p.tileLength = 16; }, "tiles for less than the page"},
        {[](scanleaf::core::TiffPageInfo& p) { p.stripByteCounts.clear(); }, "no usable strip table"},
    };
    for (const auto& c : cases) {
        scanleaf::core::TiffPageInfo spoilt = page;
        c.spoil(spoilt);
        EXPECT_EQ(c.problem, scanleaf::core::TiffPageProblem(spoilt, 1000));
    }
    page.t6Options = 2;
    scanleaf::core::FaxPageDecoder decoder(page, [](std::uint64_t, std::size_t, std::uint8_t*) { return false; });
    EXPECT_EQ("uncompressed mode (T6Options bit 1), which no drawing uses", decoder.Problem());
}

} // namespace
