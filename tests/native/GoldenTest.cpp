// CALS files that ImageMagick and GraphicsMagick write, decoded by the core and by the tools
// themselves (to PBM): the same pixels, one picture wider than 8,192 pels among them.
#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

using namespace scanleaf::core;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A raw PBM (P4): its rows, 1 = black.
libtiff::Rows ReadPbm(const std::string& path, std::uint32_t& width, std::uint32_t& height) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> width >> height;
    in.get();
    libtiff::Rows rows;
    if (magic != "P4") return rows;
    const std::size_t bytes = (width + 7) / 8;
    for (std::uint32_t r = 0; r < height; ++r) {
        std::vector<std::uint8_t> row(bytes);
        in.read(reinterpret_cast<char*>(row.data()), std::streamsize(bytes));
        if (width % 8) row.back() &= std::uint8_t(0xFF << (8 - width % 8));
        rows.push_back(row);
    }
    return rows;
}

TEST(Golden, WritersFilesDecodeAsTheWritersDecodeThem) {
    const struct {
        const char* tool; // writes and reads with "<tool> IN OUT"
        const char* size;
    } cases[] = {{"convert", "64x48"}, {"convert", "1700x1100"}, {"convert", "9000x40"},
                 {"gm convert", "97x61"}, {"gm convert", "1700x1100"}, {"gm convert", "9000x40"}};
    for (const auto& c : cases) {
        libtiff::TempPath cal, pbm;
        const std::string calPath = std::string(cal.c_str()) + ".cal", pbmPath = std::string(pbm.c_str()) + ".pbm";
        const std::string make = std::string(c.tool) + " -size " + c.size + " xc:gray +noise Random -monochrome " +
                                 calPath + " 2>/dev/null && " + c.tool + " " + calPath + " " + pbmPath + " 2>/dev/null";
        if (std::system(make.c_str()) != 0) GTEST_SKIP() << c.tool << " is not there";
        std::uint32_t width = 0, height = 0;
        const libtiff::Rows theirs = ReadPbm(pbmPath, width, height);
        const std::vector<std::uint8_t> file = ReadAll(calPath);
        std::remove(calPath.c_str());
        std::remove(pbmPath.c_str());
        ASSERT_GT(file.size(), kHeaderSize) << c.tool << " " << c.size;
        const CalsImageInfo info = ReadImageInfo(file.data());
        EXPECT_TRUE(info.type1 && info.sizeKnown) << c.tool << " " << c.size;
        EXPECT_EQ(width, info.width) << c.tool << " " << c.size;
        EXPECT_EQ(height, info.height) << c.tool << " " << c.size;
        Group4Decoder decoder(file.data() + kHeaderSize, file.size() - kHeaderSize, info.width);
        libtiff::Rows ours;
        std::vector<std::uint8_t> row(decoder.RowBytes());
        while (decoder.NextRow(row.data())) ours.push_back(row);
        EXPECT_NE(G4Stop::BadCode, decoder.Stop()) << c.tool << " " << c.size;
        EXPECT_EQ(theirs, ours) << c.tool << " " << c.size;
    }
}

} // namespace
