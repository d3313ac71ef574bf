// What a header says of its picture, the eight orientations on an asymmetric picture, and the
// area-averaged thumbnail.
#include "core/cals/CalsImage.h"
#include "core/view/Thumbnail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace scanleaf::core;

std::vector<unsigned char> Header(const std::vector<std::string>& records) {
    std::vector<unsigned char> header(kHeaderSize, ' ');
    for (std::size_t i = 0; i < records.size(); ++i) std::memcpy(&header[i * kSlotSize], records[i].data(), records[i].size());
    return header;
}

TEST(CalsImageInfo, RecordsWhereverTheyStand) {
    const struct {
        std::vector<std::string> records;
        bool type1, sized;
        std::uint32_t width, height, density;
        bool oriented;
        int path, lines;
    } cases[] = {
        {{"rtype: 1", "rorient: 000,270", "rpelcnt: 001700,001100", "rdensty: 0200"}, true, true, 1700, 1100, 200, true, 0, 270},
        {{"notes: x", "RPELCNT: 9,8", "RTYPE: 1", "rorient: 090,090"}, true, true, 9, 8, 0, true, 90, 90},
        {{"rtype: 2", "rpelcnt: 0,5", "rorient: 045,270"}, false, false, 0, 0, 0, false, 0, 270},
        {{"rtype: 1x", "rpelcnt: 5", "rorient: 180,180", "rdensty: -3"}, false, false, 0, 0, 0, false, 0, 270},
        {{"rpelcnt: 2147483647,2147483648"}, false, false, 0, 0, 0, false, 0, 270},
        {{}, false, false, 0, 0, 0, false, 0, 270},
    };
    for (const auto& c : cases) {
        const CalsImageInfo info = ReadImageInfo(Header(c.records).data());
        const std::string what = c.records.empty() ? "none" : c.records[0];
        EXPECT_EQ(c.type1, info.type1) << what;
        EXPECT_EQ(c.sized, info.sizeKnown) << what;
        EXPECT_EQ(c.width, info.width) << what;
        EXPECT_EQ(c.height, info.height) << what;
        EXPECT_EQ(c.density, info.density) << what;
        EXPECT_EQ(c.oriented, info.orientationKnown) << what;
        EXPECT_EQ(c.path, info.pelPath) << what;
        EXPECT_EQ(c.lines, info.lineProgression) << what;
    }
}

// Headers that cannot be drawn as they say are named; NONE and no record leave the defaults.
TEST(CalsImageInfo, HeadersThatCannotBeDrawnAreNamed) {
    const struct {
        std::vector<std::string> records;
        const char* problem;
    } cases[] = {
        {{"rdensty: 0200", "rorient: 090,270"}, ""},
        {{"rdensty: NONE", "rorient: NONE"}, ""},
        {{}, ""},
        {{"rdensty: 0050"}, ""},
        {{"rdensty: 2400"}, ""},
        {{"rdensty: 0001"}, "rdensty 0001 gives no density from 50 to 2400 dpi, what scanners of drawings use"},
        {{"rdensty: 9999999"}, "rdensty 9999999 gives no density from 50 to 2400 dpi, what scanners of drawings use"},
        {{"rdensty: 0049"}, "rdensty 0049 gives no density from 50 to 2400 dpi, what scanners of drawings use"},
        {{"rdensty: dpi"}, "rdensty dpi gives no density from 50 to 2400 dpi, what scanners of drawings use"},
        {{"rorient: 045,270"}, "rorient 045,270 is none of the eight orientations"},
        {{"rorient: 000,180"}, "rorient 000,180 is none of the eight orientations"},
        {{"rorient: 360,270"}, "rorient 360,270 is none of the eight orientations"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> records{"rtype: 1", "rpelcnt: 001700,001100"};
        records.insert(records.end(), c.records.begin(), c.records.end());
        EXPECT_EQ(c.problem, DrawingHeaderProblem(ReadImageInfo(Header(records).data())))
            << (c.records.empty() ? "none" : c.records[0]);
    }
}

// One resolution rule for every picture: what it gives, and why a resolution gives no density.
TEST(CalsImageInfo, ThePelsPerInchOfANewDrawing) {
    const struct {
        double x, y;
        std::uint32_t dpi;
        const char* why;
    } cases[] = {
        {300, 300, 300, ""},
        {199.999, 200.001, 200, ""},
        {50, 50, 50, ""},
        {2400, 2400, 2400, ""},
        {0, 0, 0, "gives no resolution"},
        {300, 0, 0, "gives a resolution one way only"},
        {72, 72, 0, "gives 72 dpi, which programs write when they know none"},
        {96, 96, 0, "gives 96 dpi, which programs write when they know none"},
        {95.9866, 95.9866, 0, "gives 96 dpi, which programs write when they know none"}, // 3779 pels a metre
        {200, 100, 0, "gives 200 by 100 dpi, not the same both ways"},
        {204, 196, 0, "gives 204 by 196 dpi, not the same both ways"}, // a fax's fine mode
        {200.4, 200.4, 200, ""},
        {4800.5, 4800.5, 0, "gives 4800.5 dpi, outside 50 to 2400"},
        {49, 49, 0, "gives 49 dpi, outside 50 to 2400"},
        {4800, 4800, 0, "gives 4800 dpi, outside 50 to 2400"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(c.dpi, DrawingDensity(c.x, c.y, why)) << c.x << " " << c.y;
        EXPECT_EQ(c.why, why) << c.x << " " << c.y;
    }
}

// What the card tool takes for a CALS file before it reads one as such. Headers as the writers
// lay them out pass; the openings of other formats, and text without the two records, do not.
TEST(CalsHeaderKind, WritersPassOtherFormatsDoNot) {
    auto bytes = [](std::string text, char pad) {
        text.resize(kHeaderSize, pad);
        return std::vector<unsigned char>(text.begin(), text.end());
    };
    std::vector<unsigned char> nulPadded(kHeaderSize, 0);
    for (const char* r : {"rtype: 1", "rpelcnt: 000064,000048"})
        std::memcpy(&nulPadded[(r[1] == 't' ? 0 : 3) * kSlotSize], r, std::strlen(r));
    std::vector<unsigned char> crlf = Header({"srcdocid: NONE\r\n", "rtype: 1\r\n", "rpelcnt: 1,1\r\n", "notes: caf\xE9"});
    std::vector<unsigned char> random(kHeaderSize);
    std::uint32_t seed = 12345;
    for (unsigned char& b : random) b = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
    const struct {
        const char* what;
        std::vector<unsigned char> header;
        HeaderKind kind;
    } cases[] = {
        {"space padded", Header({"srcdocid: NONE", "rtype: 1", "rorient: 000,270", "rpelcnt: 000064,000048"}), HeaderKind::Cals},
        {"NUL padded, records anywhere", nulPadded, HeaderKind::Cals},
        {"CR LF ends, a code-page letter", crlf, HeaderKind::Cals},
        {"names in capitals", Header({"RTYPE: 2", "RPELCNT: 5,5"}), HeaderKind::Cals},
        {"PNG", bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", '\0'), HeaderKind::Binary},
        {"TIFF", bytes("II*\0\x08\0\0\0", '\0'), HeaderKind::MissingRecords},
        {"ZIP", bytes("PK\x03\x04\x14\0", '\0'), HeaderKind::Binary},
        {"PDF of plain text", bytes("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n", ' '), HeaderKind::MissingRecords},
        {"random bytes", random, HeaderKind::Binary},
        {"a header without records", Header({}), HeaderKind::MissingRecords},
        {"rtype alone", Header({"rtype: 1", "notes: rpelcnt: 1,1"}), HeaderKind::MissingRecords},
        {"a form feed", Header({"rtype: 1", "rpelcnt: 1,1", "notes: \f"}), HeaderKind::Binary},
    };
    for (const auto& c : cases) EXPECT_EQ(int(c.kind), int(ClassifyHeader(c.header.data()))) << c.what;
}

// Decoded "ABC" over "DEF" as each orientation shows it.
TEST(CalsImageOrientation, TheEightCases) {
    const std::vector<std::uint8_t> picture = {'A', 'B', 'C', 'D', 'E', 'F'};
    const struct {
        int path, lines;
        std::uint32_t width;
        const char* shown;
    } cases[] = {
        {0, 270, 3, "ABCDEF"},   {180, 90, 3, "CBAFED"}, {180, 270, 3, "FEDCBA"}, {0, 90, 3, "DEFABC"},
        {270, 90, 2, "ADBECF"},  {270, 270, 2, "DAEBFC"}, {90, 90, 2, "FCEBDA"},  {90, 270, 2, "CFBEAD"},
    };
    for (const auto& c : cases) {
        const Orientation o(c.path, c.lines, 3, 2);
        EXPECT_EQ(c.width, o.ShownWidth()) << c.path << "," << c.lines;
        const std::vector<std::uint8_t> shown = o.Apply(picture);
        EXPECT_EQ(c.shown, std::string(shown.begin(), shown.end())) << c.path << "," << c.lines;
    }
}

TEST(CalsThumbnail, ThinLinesShowAsGreyAndMissingLinesAsWhite) {
    Thumbnailer t(4, 4, 2, 2);
    for (int line = 0; line < 3; ++line) t.AddLine({1, 2}); // one pel wide, the fourth line never comes
    EXPECT_EQ((std::vector<std::uint8_t>{128, 255, 191, 255}), t.Finish());

    Thumbnailer odd(5, 3, 2, 1);
    odd.AddLine({0});       // all black
    odd.AddLine({3, 4});    // one pel of the right block
    odd.AddLine({});
    EXPECT_EQ((std::vector<std::uint8_t>{170, 142}), odd.Finish()); // 2 of 6 and 4 of 9 pels black

    std::uint32_t w = 0, h = 0;
    const std::uint32_t fits[][5] = {{13000, 19000, 256, 175, 256}, {19000, 13000, 256, 256, 175},
                                     {100, 50, 256, 100, 50},        {100, 50, 0, 100, 50}, {9000, 1, 256, 256, 1}};
    for (const auto& f : fits) {
        Thumbnailer::Fit(f[0], f[1], f[2], w, h);
        EXPECT_EQ(f[3], w) << f[0] << "x" << f[1];
        EXPECT_EQ(f[4], h) << f[0] << "x" << f[1];
    }
}

} // namespace
