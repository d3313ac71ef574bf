// Headers the tools write: a new one read back as the header reader sees it, in every
// orientation; and a line count set in place, no other byte changed.
#include "core/cals/CalsImage.h"
#include "core/tiff/TiffWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(NewCalsHeader, ReadsBackAsWrittenInEveryOrientation) {
    for (int tiff = 1; tiff <= 8; ++tiff) {
        int pelPath = 0, lineProgression = 0;
        scanleaf::core::CalsOrientation(tiff, pelPath, lineProgression);
        EXPECT_EQ(tiff, scanleaf::core::TiffOrientation(pelPath, lineProgression));
        const std::string header = scanleaf::core::NewCalsHeader(13244, 18724, 400, pelPath, lineProgression);
        ASSERT_EQ(scanleaf::core::kHeaderSize, header.size());
        const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
        EXPECT_EQ(scanleaf::core::HeaderKind::Cals, scanleaf::core::ClassifyHeader(bytes));
        const scanleaf::core::CalsImageInfo info = scanleaf::core::ReadImageInfo(bytes);
        EXPECT_TRUE(info.type1 && info.sizeKnown && info.orientationKnown);
        EXPECT_EQ(13244u, info.width);
        EXPECT_EQ(18724u, info.height);
        EXPECT_EQ(400u, info.density);
        EXPECT_EQ(pelPath, info.pelPath);
        EXPECT_EQ(lineProgression, info.lineProgression);
    }
    EXPECT_EQ(0u, scanleaf::core::NewCalsHeader(1, 1, 200, 0, 270).find("srcdocid: NONE"));
    EXPECT_EQ(9 * 128u, scanleaf::core::NewCalsHeader(1728, 2200, 200, 0, 270).find("rdensty: 0200  "));
    EXPECT_EQ(8 * 128u, scanleaf::core::NewCalsHeader(1728, 2200, 200, 0, 270).find("rpelcnt: 001728,002200 "));
}

TEST(SetLineCount, ChangesOnlyTheLinesDigits) {
    const struct {
        const char* record;
        std::uint32_t lines;
        const char* after; // null: refused
    } cases[] = {
        {"rpelcnt: 001728,002200", 2150, "rpelcnt: 001728,002150"},
        {"rpelcnt: 1728,2200", 950, "rpelcnt: 1728,0950"},
        {"RPELCNT:1728, 2200", 12000, "RPELCNT:1728, 12000"},     // a blank after it makes room
        {"rpelcnt: 001728,002200", 1234567, "rpelcnt: 001728,1234567"},
        {"rpelcnt: 001728", 10, nullptr},
        {"rpelcnt: NONE", 10, nullptr},
        {"rpelcnt: 1728,9;", 25, nullptr}, // no blank after the digits
        {"rpelcnt: 1728,9", 0, nullptr},
    };
    for (const auto& c : cases) {
        std::string header(scanleaf::core::kHeaderSize, ' ');
        header.replace(3 * 128, std::strlen(c.record), c.record);
        const std::string before = header;
        const bool changed = scanleaf::core::SetLineCount(header, c.lines);
        EXPECT_EQ(c.after != nullptr, changed) << c.record;
        std::string expected = before;
        if (c.after) expected.replace(3 * 128, std::strlen(c.after), c.after);
        EXPECT_EQ(expected, header) << c.record;
    }
}

} // namespace
