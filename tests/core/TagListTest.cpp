// The core on its own, with the stand-in code pages: a header's records into tags and back,
// the date styles from calendar fields, and UTF-8. Runs natively under the sanitizers and
// under Wine.
#include "core/DateText.h"
#include "core/cals/TagList.h"
#include "core/native/StandIns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace scanleaf::core;

std::vector<unsigned char> Header(const std::vector<std::string>& records, unsigned char fill = ' ') {
    std::vector<unsigned char> header(kHeaderSize, fill);
    for (std::size_t i = 0; i < records.size(); ++i) std::memcpy(&header[i * kSlotSize], records[i].data(), records[i].size());
    return header;
}

// Reads the parsed slots into a list as an open does; the section "srcdocid" answers `answers`,
// every other one nothing.
bool Open(TagList& list, const std::vector<unsigned char>& header, const SectionAnswers& answers = {}) {
    list.tags.clear();
    list.fillByte = header[kFillByteOffset];
    for (std::size_t slot = 0; slot < kParsedSlots; ++slot) {
        Text text, name, value;
        if (!DecodeSlot(&header[slot * kSlotSize], StandInCodePage(1252), text)) return false;
        if (!SplitRecord(text, name, value)) continue;
        name = StandInLowerCaser().Lower(name);
        if (!list.AddRecord(name, value, name == SL_T("srcdocid") ? answers : SectionAnswers{})) return false;
    }
    return true;
}

TEST(CoreTagList, RecordsBecomeTagsAndWriteBackInPlace) {
    TagList list(StandInLowerCaser(), StandInCodePage(1252));
    const auto header = Header({"SrcDocId: A3-000471 C", "rpelcnt: 001700,001100", "junk without colon", "notes:"});
    ASSERT_TRUE(Open(list, header, {0, SL_T("no;rev"), SL_T("1-9;11-11")}));
    Text value;
    const struct {
        const Unit* name;
        const Unit* value;
    } reads[] = {{SL_T("NO"), SL_T("A3-000471")}, {SL_T("rev"), SL_T("C")}, {SL_T("srcdocid"), SL_T("A3-000471 C")},
                 {SL_T("width"), SL_T("1700")}, {SL_T("height"), SL_T("1100")}, {SL_T("colordepth"), SL_T("1")},
                 {SL_T("notes"), SL_T("")}};
    for (const auto& r : reads) {
        ASSERT_TRUE(list.FindValue(r.name, value)) << ToUtf8(r.name);
        EXPECT_EQ(Text(r.value), value) << ToUtf8(r.name);
    }
    EXPECT_FALSE(list.SetValue(SL_T("srcdocid"), SL_T("x"))) << "written only through its sub-fields";
    EXPECT_FALSE(list.SetValue(SL_T("width"), SL_T("9"))) << "derived";
    EXPECT_TRUE(list.SetValue(SL_T("rev"), SL_T("DEF")));
    EXPECT_TRUE(list.SetValue(SL_T("notes"), SL_T(""))) << "empty text is stored as NONE";

    std::vector<unsigned char> rebuilt(kHeaderSize);
    list.BuildHeader(rebuilt.data());
    EXPECT_EQ(Header({"srcdocid: A3-000471 D", "rpelcnt: 001700,001100", "notes: NONE"}), rebuilt);
}

TEST(CoreTagList, RefusedSubFieldsAndLongDoubleByteRecords) {
    TagList list(StandInLowerCaser(), StandInCodePage(932));
    EXPECT_FALSE(list.AddRecord(SL_T("a"), SL_T("x"), {0, SL_T("b"), SL_T("5-3")}));
    EXPECT_FALSE(list.AddRecord(SL_T("a"), SL_T("x"), {0, SL_T("b"), SL_T("1-126")})) << "beyond the slot";
    EXPECT_TRUE(list.tags.empty());
    // 126 characters of two bytes each: cut at a whole character, never past the slot.
    ASSERT_TRUE(list.AddRecord(SL_T("n"), Text(126, Unit(0x3042)), {}));
    std::vector<unsigned char> header(kHeaderSize);
    list.BuildHeader(header.data());
    EXPECT_EQ(std::string("n: \x82\xA0"), std::string(header.begin(), header.begin() + 5));
    EXPECT_EQ(' ', header[127]) << "62 whole characters after \"n: \", then fill";
    EXPECT_EQ(0x82, header[125]);
}

TEST(CoreDateText, EveryStyleFromCalendarFields) {
    const DateFields date{2024, 3, 5, 14, 7, 9};
    const struct {
        int style;
        const Unit* text;
    } cases[] = {
        {0, SL_T("Mar 05 2024 02:07 PM")}, {1, SL_T("03/05/24")}, {2, SL_T("24.03.05")}, {3, SL_T("05/03/24")},
        {4, SL_T("05.03.24")}, {5, SL_T("05-03-24")}, {6, SL_T("05 Mar 24")}, {7, SL_T("Mar 05, 24")},
        {10, SL_T("03-05-24")}, {11, SL_T("24/03/05")}, {12, SL_T("240305")}, {101, SL_T("03/05/2024")},
        {102, SL_T("2024.03.05")}, {103, SL_T("05/03/2024")}, {104, SL_T("05.03.2024")}, {105, SL_T("05-03-2024")},
        {106, SL_T("05 Mar 2024")}, {107, SL_T("Mar 05, 2024")}, {109, SL_T("Mar 05 2024 02:07:09:000 PM")},
        {110, SL_T("03-05-2024")}, {111, SL_T("2024/03/05")}, {112, SL_T("20240305")}, {120, SL_T("2024-03-05")},
        {121, SL_T("2024-03-05 14:07:09.000")}, {113, SL_T("05 March 2024 14:07:09:000")},
        {-1, SL_T("05 March 2024 14:07:09:000")},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.text), FormatDateFields(date, c.style)) << c.style;
    EXPECT_EQ(Text(SL_T("-5/13/00")), FormatDateFields({100, 13, -5, 0, 0, 0}, 3)) << "odd fields are written whole";
}

TEST(CoreText, Utf8AndNumbers) {
    const Text text = SL_T("a\u00e9\u20ac") + Text(1, Unit(0xD83D)) + Text(1, Unit(0xDE00));
    EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", ToUtf8(text));
    EXPECT_EQ(text, FromUtf8(ToUtf8(text)));
    EXPECT_EQ("\xEF\xBF\xBD", ToUtf8(Text(1, Unit(0xDC00)))) << "an unpaired surrogate";
    EXPECT_EQ(Text(SL_T("x\uFFFDy")), FromUtf8("x\xE0\x80\xAFy"));
    EXPECT_EQ(1u, FirstInvalidUtf8("x\xC3"));
    EXPECT_EQ(Text(SL_T("-9223372036854775808")), Decimal(INT64_MIN));
}

} // namespace
