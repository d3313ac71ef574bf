// What a drawing's own stream proves of its line count, for repair: each verdict from a file
// made for it, and the mended header differing from the file's only in rpelcnt's count.
#include "core/cals/CalsImage.h"
#include "core/fax/Group4Encoder.h"
#include "core/cals/LineCount.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace scanleaf::core;

// A CALS file whose header says `claimed` lines of `width`, over a stream of `rows` lines coded at
// `coded` pels a line (0: `width`), cut by `cut` bytes from its end.
std::string File(std::uint32_t width, std::uint32_t claimed, std::uint32_t rows, std::uint32_t coded = 0, std::size_t cut = 0) {
    std::string file = NewCalsHeader(width, claimed, 200, 0, 270);
    Group4Encoder encoder(coded ? coded : width);
    std::vector<std::uint8_t> row(encoder.RowBytes());
    for (std::uint32_t y = 0; y < rows; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::uint8_t((y * 37 + i * 11) & 0xF0);
        encoder.AddRow(row.data());
    }
    encoder.Finish();
    file.append(encoder.Bytes().begin(), encoder.Bytes().end() - std::ptrdiff_t(cut));
    return file;
}

TEST(LineCount, EachVerdictFromAFileMadeForIt) {
    std::string notType1 = File(64, 9, 9);
    notType1.replace(notType1.find("rtype: 1"), 8, "rtype: 2");
    using V = LineCountVerdict;
    const struct {
        const char* name;
        std::string file;
        V verdict;
        std::uint32_t decoded;
    } cases[] = {
        {"its lines and the end-of-block code", File(64, 9, 9), V::Sound, 9},
        {"fewer lines than rpelcnt says", File(64, 12, 9), V::Mend, 9},
        {"more lines than rpelcnt says", File(64, 3, 9), V::Mend, 9},
        {"the end-of-block code cut off", File(64, 9, 9, 0, 3), V::CutShort, 9},
        {"coded at a greater width", File(40, 9, 9, 64), V::Fails, 0},
        {"no line before the end-of-block code", File(64, 9, 0), V::NoLine, 0},
        {"not type 1", notType1, V::NotType1, 0},
        {"shorter than a header", File(64, 9, 9).substr(0, 2000), V::Short, 0},
    };
    for (const auto& c : cases) {
        const LineCountProof proof = ProveLineCount(reinterpret_cast<const unsigned char*>(c.file.data()), c.file.size());
        EXPECT_EQ(int(c.verdict), int(proof.verdict)) << c.name;
        if (c.verdict == V::Fails) continue; // how far another width's codes get is theirs
        EXPECT_EQ(c.decoded, proof.decoded) << c.name;
        if (c.verdict != V::Mend) {
            EXPECT_TRUE(proof.header.empty()) << c.name;
            continue;
        }
        // Only the count changes: the header reads the decoded lines, every other byte as it was.
        const CalsImageInfo info = ReadImageInfo(reinterpret_cast<const unsigned char*>(proof.header.data()));
        EXPECT_EQ(c.decoded, info.height) << c.name;
        std::size_t differing = 0;
        for (std::size_t i = 0; i < kHeaderSize; ++i) differing += proof.header[i] != c.file[i];
        EXPECT_LE(differing, 6u) << c.name;
    }
}

} // namespace
