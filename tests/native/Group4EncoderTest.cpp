// The Group 4 encoder against libtiff's: for every kind of picture the stream is libtiff's byte
// for byte, and both decoders give the pixels back.
#include "core/fax/Group4.h"
#include "core/fax/Group4Encoder.h"
#include "tests/native/Libtiff.h"
#include "tests/native/Pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

namespace {

using scanleaf::core::Group4Decoder;
using scanleaf::core::Group4Encoder;

std::vector<std::uint8_t> Encode(const libtiff::Rows& rows, std::uint32_t width) {
    Group4Encoder encoder(width);
    for (const auto& row : rows) encoder.AddRow(row.data());
    encoder.Finish();
    return encoder.Bytes();
}

libtiff::Rows DecodeOurs(const std::vector<std::uint8_t>& stream, std::uint32_t width) {
    Group4Decoder decoder(stream.data(), stream.size(), width);
    libtiff::Rows rows;
    std::vector<std::uint8_t> row(decoder.RowBytes());
    while (decoder.NextRow(row.data())) rows.push_back(row);
    return rows;
}

void ExpectLikeLibtiff(const libtiff::Rows& rows, std::uint32_t width, const std::string& what) {
    const std::vector<std::uint8_t> ours = Encode(rows, width);
    EXPECT_EQ(libtiff::Encode(rows, width), ours) << what;
    EXPECT_EQ(rows, DecodeOurs(ours, width)) << what;
    long problem = -1;
    EXPECT_EQ(rows, libtiff::Decode(ours, width, std::uint32_t(rows.size()), problem)) << what;
    EXPECT_EQ(-1, problem) << what;
}

void SetPel(libtiff::Rows& rows, std::size_t r, std::uint32_t x) { rows[r][x >> 3] |= std::uint8_t(0x80 >> (x & 7)); }

// Each picture from its width, height and a random source; pels set one by one.
using Painter = std::function<bool(std::uint32_t x, std::uint32_t y, std::mt19937& rng)>;

libtiff::Rows Paint(std::uint32_t width, std::uint32_t height, std::mt19937& rng, const Painter& black) {
    libtiff::Rows rows(height, std::vector<std::uint8_t>((width + 7) / 8, 0));
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (black(x, y, rng)) SetPel(rows, y, x);
    return rows;
}

TEST(Group4Encoder, EveryKindOfPictureGivesLibtiffsStream) {
    const struct {
        const char* kind;
        Painter black;
    } kinds[] = {
        {"white", [](std::uint32_t, std::uint32_t, std::mt19937&) { return false; }},
        {"black", [](std::uint32_t, std::uint32_t, std::mt19937&) { return true; }},
        {"checkerboard", [](std::uint32_t x, std::uint32_t y, std::mt19937&) { return (x + y) % 2 == 0; }},
        {"first and last pel", [](std::uint32_t x, std::uint32_t, std::mt19937&) { return x == 0 || x % 4099 == 4098; }},
        {"one per cent noise", [](std::uint32_t, std::uint32_t, std::mt19937& rng) { return rng() % 100 == 0; }},
        {"half noise", [](std::uint32_t, std::uint32_t, std::mt19937& rng) { return rng() % 2 == 0; }},
        {"drifting edges", [](std::uint32_t x, std::uint32_t y, std::mt19937&) { return (x + y * (y % 5)) % 37 < 9; }},
        // Runs around the make-up limits: 2560, 2623, 2624 and 2625 and their multiples.
        {"long runs", [](std::uint32_t x, std::uint32_t y, std::mt19937&) {
             const std::uint32_t period = 2560 + 63 * (y % 3) + y % 2;
             return (x / period) % 2 == 1;
         }},
    };
    std::mt19937 rng(31);
    for (const auto& kind : kinds)
        for (std::uint32_t width : {1u, 2u, 7u, 8u, 9u, 64u, 65u, 1728u, 2624u, 5249u, 8000u})
            ExpectLikeLibtiff(Paint(width, 1 + width % 9, rng, kind.black), width,
                              std::string(kind.kind) + " " + std::to_string(width));
    for (int round = 0; round < 40; ++round) {
        const std::uint32_t width = 1 + rng() % 6000, height = 1 + rng() % 30;
        ExpectLikeLibtiff(pictures::Drawing(width, height, rng), width, "drawing " + std::to_string(round));
    }
}

TEST(Group4Encoder, BitsPastTheWidthAreIgnored) {
    std::mt19937 rng(5);
    for (std::uint32_t width : {3u, 13u, 1733u}) {
        libtiff::Rows rows = pictures::Drawing(width, 12, rng), dirty = rows;
        for (auto& row : dirty) row.back() |= std::uint8_t(0xFF >> (width % 8));
        EXPECT_EQ(Encode(rows, width), Encode(dirty, width)) << width;
    }
}

TEST(Group4Encoder, RowsAfterTheEndAndBadWidthsAreRefused) {
    EXPECT_FALSE(Group4Encoder(0).Valid());
    EXPECT_FALSE(Group4Encoder(scanleaf::core::kMaxG4Width + 1).Valid());
    Group4Encoder encoder(16);
    const std::uint8_t row[2] = {0xF0, 0x0F};
    encoder.AddRow(row);
    encoder.Finish();
    const std::vector<std::uint8_t> ended = encoder.Bytes();
    encoder.AddRow(row);
    encoder.Finish();
    EXPECT_EQ(ended, encoder.Bytes());
    EXPECT_EQ(1u, encoder.Rows());
}

// Pages that Ghostscript's tiffg4 device wrote: the same stream from the same pels, and the
// same as the page's own strip.
TEST(Group4Encoder, GhostscriptPagesGiveTheirOwnStream) {
    if (std::system("gs --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    libtiff::TempPath ps, tiff;
    if (FILE* out = std::fopen(ps.c_str(), "w")) {
        std::fputs("/Helvetica findfont 30 scalefont setfont 60 720 moveto (Plan 42: gear housing, rev B) show\n"
                   "3 setlinewidth 40 40 moveto 560 40 lineto 560 760 lineto 40 760 lineto closepath stroke\n"
                   "0 1 40 { dup 12 mul 60 add 100 moveto 300 rlineto stroke } for\n"
                   "300 400 150 0 360 arc stroke 0.5 setgray 200 200 120 90 rectfill showpage\n",
                   out);
        std::fclose(out);
    }
    for (const char* dpi : {"100", "300"}) {
        const std::string command = std::string("gs -q -dNOPAUSE -dBATCH -sDEVICE=tiffg4 -dMaxStripSize=0 -r") + dpi +
                                    " -sOutputFile=" + tiff.c_str() + " " + ps.c_str();
        ASSERT_EQ(0, std::system(command.c_str()));
        libtiff::Page page;
        ASSERT_TRUE(libtiff::ReadFirstPage(tiff.c_str(), page));
        EXPECT_EQ(page.strip, Encode(page.rows, page.width)) << dpi;
        ExpectLikeLibtiff(page.rows, page.width, std::string("ghostscript ") + dpi);
    }
}

} // namespace
