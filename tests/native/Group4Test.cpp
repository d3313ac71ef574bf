// The Group 4 decoder against libtiff's fax codec: random drawings that libtiff encodes decode to
// the same pixels, and each kind of malformed stream ends with its own reason and the rows
// before it.
#include "core/fax/Group4.h"
#include "tests/native/Libtiff.h"
#include "tests/native/Pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using scanleaf::core::G4Stop;
using scanleaf::core::Group4Decoder;

struct Decoded {
    libtiff::Rows rows;
    G4Stop stop = G4Stop::None;
};

Decoded DecodeAll(const std::vector<std::uint8_t>& stream, std::uint32_t width) {
    Decoded out;
    Group4Decoder decoder(stream.data(), stream.size(), width);
    std::vector<std::uint8_t> row(decoder.RowBytes());
    while (decoder.NextRow(row.data())) out.rows.push_back(row);
    out.stop = decoder.Stop();
    return out;
}

TEST(Group4, RandomDrawingsDecodeAsLibtiffEncodedThem) {
    std::mt19937 rng(4);
    for (std::uint32_t width : {1u, 7u, 8u, 9u, 63u, 64u, 65u, 1728u, 2561u, 2625u, 5200u, 9001u}) {
        for (int round = 0; round < 3; ++round) {
            const std::uint32_t height = 1 + rng() % 40;
            const libtiff::Rows rows = pictures::Drawing(width, height, rng);
            const std::vector<std::uint8_t> stream = libtiff::Encode(rows, width);
            ASSERT_FALSE(stream.empty());
            const Decoded ours = DecodeAll(stream, width);
            EXPECT_EQ(G4Stop::EndOfBlock, ours.stop) << width << "x" << height;
            EXPECT_EQ(rows, ours.rows) << width << "x" << height;
        }
    }
}

// Hand-made streams: each bit string is the whole input (padded with zeros to whole bytes).
std::vector<std::uint8_t> Bits(const std::string& bits) {
    std::vector<std::uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1') bytes[i / 8] |= std::uint8_t(0x80 >> (i % 8));
    return bytes;
}

TEST(Group4, MalformedStreamsEndWithTheirReason) {
    const std::string eofb = "000000000001000000000001";
    const struct {
        const char* what;
        std::string bits;
        std::uint32_t width;
        G4Stop stop;
        std::size_t rows;
    } cases[] = {
        {"empty", "", 16, G4Stop::EndOfData, 0},
        {"two white rows, end of block", "1" "1" + eofb, 16, G4Stop::EndOfBlock, 2},
        {"no end of block", "1" "1", 16, G4Stop::EndOfData, 2},
        {"zeros after the last row", "1" "1" + std::string(30, '0'), 16, G4Stop::EndOfData, 2},
        {"cut mid-row: horizontal, no runs", "1" "001", 16, G4Stop::EndOfData, 1},
        {"a white run past the row", "001" "11011" "00110101", 16, G4Stop::RunPastRow, 0}, // 64 white
        {"vertical right of the end", "011", 1, G4Stop::RunPastRow, 0},                      // VR1 at b1 = width
        // VL1 (a1 = 15), then a pass whose b2 would lie past the row's end and its imaginary
        // change: libtiff reads whatever its buffer holds there.
        {"a pass past the row above", "010" "0001", 16, G4Stop::PastReference, 0},
        // A row with black at 2-3; then V0 (a1 = 2) and VL3 (4 - 3 = 1, left of 2).
        {"vertical backwards", "001" "0111" "11" "1" "1" "0000010", 16, G4Stop::CodeBackwards, 1},
        {"an extension code", "0000001111", 16, G4Stop::Unsupported, 0},
        {"no such code", "1" "000000001111", 16, G4Stop::BadCode, 1},
        {"width 0", "1", 0, G4Stop::BadWidth, 0},
        {"width beyond the limit", "1", scanleaf::core::kMaxG4Width + 1, G4Stop::BadWidth, 0},
    };
    for (const auto& c : cases) {
        const Decoded ours = DecodeAll(Bits(c.bits), c.width);
        EXPECT_EQ(c.stop, ours.stop) << c.what << ": " << scanleaf::core::G4StopText(ours.stop);
        EXPECT_EQ(c.rows, ours.rows.size()) << c.what;
    }
}

TEST(Group4, MutatedStreamsGiveLibtiffsRowsAndStopWhereItComplains) {
    std::mt19937 rng(11);
    int refusedMore = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::uint32_t width = 1 + rng() % 300, height = 1 + rng() % 20;
        std::vector<std::uint8_t> stream = libtiff::Encode(pictures::Drawing(width, height, rng), width);
        for (int flips = 1 + int(rng() % 3); flips > 0 && !stream.empty(); --flips)
            stream[rng() % stream.size()] ^= std::uint8_t(1u << (rng() % 8));
        if (rng() % 4 == 0) stream.resize(rng() % (stream.size() + 1));
        long problem = -1;
        const libtiff::Rows theirs = libtiff::Decode(stream, width, height, problem);
        Decoded ours = DecodeAll(stream, width);
        if (ours.rows.size() > height) ours.rows.resize(height);
        const std::size_t clean = problem >= 0 ? std::min(std::size_t(problem), std::size_t(height)) : height;
        // No row that libtiff complains about is given as sound.
        ASSERT_LE(ours.rows.size(), clean) << "round " << round;
        for (std::size_t r = 0; r < ours.rows.size(); ++r) ASSERT_EQ(theirs[r], ours.rows[r]) << "round " << round << " row " << r;
        // Refusing more than libtiff only where libtiff reads past its reference row, or pads a
        // code cut off by the data's end with zeros.
        if (ours.rows.size() < clean) {
            ASSERT_TRUE(ours.stop == G4Stop::PastReference || ours.stop == G4Stop::EndOfData) << "round " << round;
            refusedMore += ours.stop == G4Stop::PastReference;
        }
    }
    EXPECT_GT(refusedMore, 0);
}

} // namespace
