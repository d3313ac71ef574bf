// What Windows is shown of a drawing's header, and what it may write back: each record's value
// ("NONE" is none), the size as shown upright in each orientation, headers of no drawing refused,
// and a set that changes its record's slot alone or nothing at all, with its reason.
#include "core/cals/DrawingProperties.h"
#include "core/native/StandIns.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace scanleaf::core;

std::string Header(const std::vector<std::string>& records, char fill = ' ') {
    std::string header(kHeaderSize, fill);
    for (std::size_t i = 0; i < records.size(); ++i) header.replace(i * kSlotSize, records[i].size(), records[i]);
    return header;
}

const std::vector<std::string> kDrawing = {"srcdocid: A3-000471", "dstdocid: NONE", "txtfilid: none", "figid: Pump housing",
                                           "srcgph: NONE", "doccls: B", "rtype: 1", "rorient: 270,270",
                                           "rpelcnt: 000300,000200", "rdensty: 0400", "notes: rev C"};

DrawingProperties Read(const std::string& header, const CodePage& ansi = StandInCodePage(1252)) {
    DrawingProperties p;
    std::string problem;
    EXPECT_TRUE(p.Read(reinterpret_cast<const unsigned char*>(header.data()), ansi, problem)) << problem;
    return p;
}

DrawingValue TextValue(const char* text) {
    DrawingValue v;
    v.kind = DrawingValue::Kind::Text;
    v.text = Ascii(text);
    return v;
}

TEST(DrawingProperties, EachRecordAndThePictureAsShown) {
    const DrawingProperties p = Read(Header(kDrawing));
    EXPECT_EQ(TextValue("A3-000471"), p.Get(DrawingKey::DocumentId));
    EXPECT_EQ(DrawingValue(), p.Get(DrawingKey::DestinationId)); // NONE
    EXPECT_EQ(DrawingValue(), p.Get(DrawingKey::TextFileId));    // none
    EXPECT_EQ(TextValue("Pump housing"), p.Get(DrawingKey::Title));
    EXPECT_EQ(TextValue("B"), p.Get(DrawingKey::DocumentClass));
    EXPECT_EQ(TextValue("rev C"), p.Get(DrawingKey::Comment));
    EXPECT_EQ(TextValue("270,270"), p.Get(DrawingKey::Orientation));
    // A quarter turn: 300 pels a line, 200 lines, shown 200 across and 300 down.
    EXPECT_EQ(200u, p.Get(DrawingKey::Width).number);
    EXPECT_EQ(300u, p.Get(DrawingKey::Height).number);
    EXPECT_EQ(TextValue("200 x 300"), p.Get(DrawingKey::Dimensions));
    EXPECT_EQ(400.0, p.Get(DrawingKey::HorizontalResolution).real);
    EXPECT_EQ(400.0, p.Get(DrawingKey::VerticalResolution).real);
    EXPECT_EQ(2u, p.Get(DrawingKey::ResolutionUnit).number);
    EXPECT_EQ(1u, p.Get(DrawingKey::BitDepth).number);
    EXPECT_EQ(4u, p.Get(DrawingKey::Compression).number);
    for (DrawingKey key : DrawingKeys()) EXPECT_EQ(key <= DrawingKey::Comment, p.Writable(key)) << int(key);
}

TEST(DrawingProperties, SizeAndResolutionByOrientationAndDensity) {
    const struct {
        const char* orient;
        const char* density;
        std::uint32_t width, height;
        double dpi; // 0: none
    } cases[] = {
        {"rorient: 000,270", "rdensty: 0200", 300, 200, 200}, {"rorient: 180,090", "rdensty: 200", 300, 200, 200},
        {"rorient: 090,270", "rdensty: NONE", 200, 300, 0},   {"rorient: 270,090", "rdensty: 0001", 200, 300, 0},
        {"rorient: 045,270", "rdensty: 9999", 300, 200, 0},   {"rorient: NONE", "notes: x", 300, 200, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> records = kDrawing;
        records[7] = c.orient;
        records[9] = c.density;
        const DrawingProperties p = Read(Header(records));
        EXPECT_EQ(c.width, p.Get(DrawingKey::Width).number) << c.orient;
        EXPECT_EQ(c.height, p.Get(DrawingKey::Height).number) << c.orient;
        EXPECT_EQ(c.dpi, p.Get(DrawingKey::HorizontalResolution).real) << c.density;
        EXPECT_EQ(c.dpi ? DrawingValue::Kind::Number : DrawingValue::Kind::Empty, p.Get(DrawingKey::ResolutionUnit).kind);
    }
}

TEST(DrawingProperties, HeadersOfNoDrawingShowNothing) {
    const struct {
        std::string header;
        const char* problem;
    } cases[] = {
        {Header({"rtype: 2", "rpelcnt: 000300,000200"}), "not a CALS type 1 header"},
        {Header({"rtype: 1", "rpelcnt: 0,200"}), "no usable rpelcnt"},
        {Header({"rtype: 1"}), "no usable rpelcnt"},
        {std::string(kHeaderSize, '\0'), "not a CALS type 1 header"},
    };
    for (const auto& c : cases) {
        DrawingProperties p;
        std::string problem;
        EXPECT_FALSE(p.Read(reinterpret_cast<const unsigned char*>(c.header.data()), StandInCodePage(1252), problem));
        EXPECT_EQ(c.problem, problem);
        EXPECT_EQ(DrawingValue(), p.Get(DrawingKey::Width));
    }
}

TEST(DrawingProperties, ASetChangesItsSlotAloneOrNothing) {
    const Text longest(kSlotSize - 7, Unit('x')); // "notes: " and 121 characters
    const struct {
        const char* what;
        DrawingKey key;
        Text value;
        int codePage;
        const char* problem; // "" when it is taken
        const char* slot;    // the record's slot afterwards, up to its padding
    } cases[] = {
        {"a title", DrawingKey::Title, SL_T("Gr\u00f6\u00dfe 2"), 1252, "", "figid: Gr\xF6\xDF" "e 2"},
        {"an empty value", DrawingKey::Comment, SL_T(""), 1252, "", "notes: NONE"},
        {"as long as the slot holds", DrawingKey::Comment, longest, 1252, "", nullptr},
        {"a byte longer", DrawingKey::Comment, longest + SL_T("x"), 1252, "too long for its record: 129 bytes of 128", nullptr},
        {"two bytes a character", DrawingKey::Comment, Text(61, Unit(0x3042)), 932, "too long for its record: 129 bytes of 128", nullptr},
        {"a character the code page lacks", DrawingKey::Title, SL_T("\u0416"), 1252, "a character the ANSI code page lacks", nullptr},
        {"a control character", DrawingKey::Title, SL_T("a\tb"), 1252, "a control character", nullptr},
        {"a derived record", DrawingKey::Orientation, SL_T("000,270"), 1252, "not a property that can be written", nullptr},
        {"the size", DrawingKey::Width, SL_T("5"), 1252, "not a property that can be written", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CodePage& ansi = StandInCodePage(c.codePage);
        const std::string before = Header(kDrawing);
        DrawingProperties p = Read(before, ansi);
        std::string problem;
        EXPECT_EQ(!*c.problem, p.Set(c.key, c.value, ansi, problem));
        EXPECT_EQ(c.problem, problem);
        EXPECT_EQ(!*c.problem, p.Changed());
        const std::string& after = p.Header();
        // Nothing outside the record's own slot changes (figid's is the fourth, notes' the eleventh).
        const std::size_t slot = c.key == DrawingKey::Comment ? 10 : 3;
        for (std::size_t i = 0; i < kHeaderSize; ++i)
            if (before[i] != after[i]) {
                ASSERT_EQ(slot, i / kSlotSize) << i;
            }
        if (c.slot) {
            EXPECT_EQ(std::string(c.slot) + std::string(kSlotSize - std::strlen(c.slot), ' '), after.substr(slot * kSlotSize, kSlotSize));
        }
        if (!*c.problem) {
            EXPECT_EQ(p.Get(c.key), Read(after, ansi).Get(c.key));
        }
    }
}

TEST(DrawingProperties, ARecordTheHeaderLacksCannotBeSetAndNulPaddingStays) {
    std::vector<std::string> records = kDrawing;
    records[3] = "title: none of ours"; // no figid
    DrawingProperties p = Read(Header(records, '\0'));
    std::string problem;
    EXPECT_FALSE(p.Set(DrawingKey::Title, SL_T("x"), StandInCodePage(1252), problem));
    EXPECT_EQ("the header has no such record", problem);
    ASSERT_TRUE(p.Set(DrawingKey::Comment, SL_T("y"), StandInCodePage(1252), problem));
    EXPECT_EQ(std::string("notes: y") + std::string(kSlotSize - 8, '\0'), p.Header().substr(10 * kSlotSize, kSlotSize));
}

} // namespace
