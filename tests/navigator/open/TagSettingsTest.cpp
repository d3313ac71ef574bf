// The lists and numbers of a record's settings, without the settings file.
#include "core/cals/TagSettings.h"
#include "hostenv/SystemText.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>

using namespace scanleaf;
using namespace scanleaf::core;

namespace {

// With the system's lower-casing of sub-field names, as the plug-in reads them.
bool ReadSubTags(const std::wstring& names, const std::wstring& positions, int nameLength, std::list<SubTag>& subTags,
                 int& valueWidth) {
    return core::ReadSubTags(names, positions, nameLength, SystemLowerCaser(), subTags, valueWidth);
}

} // namespace

TEST(TagSettings, PositionItemsReadLikePercentDHyphenPercentD) {
    struct Case {
        const wchar_t* item;
        int start;
        int end;
    } cases[] = {
        {L"1-3", 1, 3},
        {L"0-3", 0, 3},
        {L"3-3", 3, 3},
        {L"  4-  9", 4, 9},
        {L"+2-+5", 2, 5},
        {L"-5-2", -5, 2},
        {L"7", 7, -1},
        {L"7 -9", 7, -1},      // the hyphen must follow the number directly
        {L"7-", 7, -1},
        {L"7-x", 7, -1},
        {L"", -1, -1},
        {L"x-3", -1, -1},
        {L"-", -1, -1},
        {L"1-3;junk", 1, 3},   // text after the second number is ignored
        {L"1-3x", 1, 3},
        {L"2147483647-1", INT_MAX, 1},
        {L"1-2147483648", 1, -1},  // does not fit: not a number
        {L"99999999999-1", -1, -1},
        {L"-2147483648-0", INT_MIN, 0},
    };
    for (const Case& c : cases) {
        int start = 42, end = 42;
        ReadPosition(c.item, start, end);
        EXPECT_EQ(c.start, start) << testing::PrintToString(std::wstring(c.item));
        EXPECT_EQ(c.end, end) << testing::PrintToString(std::wstring(c.item));
    }
}

TEST(TagSettings, ListsGetTheirFinalSemicolon) {
    EXPECT_EQ(L"", TerminateList(L""));
    EXPECT_EQ(L"a;", TerminateList(L"a"));
    EXPECT_EQ(L"a;", TerminateList(L"a;"));
    EXPECT_EQ(L"a;b;", TerminateList(L"a;b"));
}

namespace {

struct SubTagCase {
    const char* label;
    const wchar_t* names;
    const wchar_t* positions;
    int nameLength;
    bool accepted;
    std::vector<SubTag> subTags; // when accepted
    int valueWidth;
};

} // namespace

TEST(TagSettings, NamesPairWithPositionsAndBadItemsAreRefused) {
    const SubTagCase cases[] = {
        {"example", L"yy;mm;dd", L"1-2;3-4;5-6", 3, true, {{L"yy", 1, 2}, {L"mm", 3, 4}, {L"dd", 5, 6}}, 6},
        {"surplus names ignored", L"a;b;c", L"1-3", 3, true, {{L"a", 1, 3}}, 3},
        {"surplus positions ignored", L"a", L"1-3;5-6", 3, true, {{L"a", 1, 3}}, 3},
        {"names lower-cased, items not trimmed", L"Year; b", L"1-4;5-6", 3, true,
         {{L"year", 1, 4}, {L" b", 5, 6}}, 6},
        {"highest end wins, any order, overlaps", L"a;b;c", L"3-6;1-4;2-3", 3, true,
         {{L"a", 3, 6}, {L"b", 1, 4}, {L"c", 2, 3}}, 6},
        {"no lower bound for start", L"a", L"-5-2", 3, true, {{L"a", -5, 2}}, 2},
        {"end at the limit", L"a", L"1-123", 3, true, {{L"a", 1, 123}}, 123},
        {"empty lists", L"", L"", 3, true, {}, 0},
        {"names without positions", L"a;b;", L"", 3, true, {}, 0},
        {"end beyond the limit", L"a", L"1-124", 3, false, {}, 0},
        {"start after end", L"a", L"5-3", 3, false, {}, 0},
        {"second number missing", L"a", L"7", 3, false, {}, 0},
        {"empty item", L"a;b", L";1-2", 3, false, {}, 0},
        {"refusal after accepted pairs", L"a;b", L"1-2;9-1", 3, false, {}, 0},
        {"both -1 written out", L"a", L"-1--1", 3, false, {}, 0},
        {"long name leaves no room", L"a", L"1-1", 126, false, {}, 0},
    };
    for (const SubTagCase& c : cases) {
        std::list<SubTag> subTags;
        int valueWidth = 0;
        bool accepted = ReadSubTags(TerminateList(c.names), TerminateList(c.positions), c.nameLength, subTags,
                                    valueWidth);
        EXPECT_EQ(c.accepted, accepted) << c.label;
        if (!c.accepted || !accepted) continue;
        ASSERT_EQ(c.subTags.size(), subTags.size()) << c.label;
        auto it = subTags.begin();
        for (const SubTag& want : c.subTags) {
            EXPECT_EQ(want.name, it->name) << c.label;
            EXPECT_EQ(want.start, it->start) << c.label;
            EXPECT_EQ(want.end, it->end) << c.label;
            ++it;
        }
        EXPECT_EQ(c.valueWidth, valueWidth) << c.label;
    }
}

TEST(TagSettings, PixelCountsAreDecimalOrEmpty) {
    struct Case {
        const wchar_t* value;
        const wchar_t* width;
        const wchar_t* height;
    } cases[] = {
        {L"001728,002200", L"1728", L"2200"},
        {L"64,48", L"64", L"48"},
        {L" 64, 48 rest", L"64", L"48"},
        {L"-3,+4", L"-3", L"4"},
        {L"000000,000000", L"0", L"0"},
        // Numbers that can't be read give empty text, never a made-up size.
        {L",", L"", L""},
        {L"abc,def", L"", L""},
        {L"1728,abc", L"1728", L""},
        {L",2200", L"", L""},        // "%d,%d" stops at the first failure
        {L"1728 ,2200", L"1728", L""},
        {L"99999999999,5", L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring width = L"stale", height = L"stale";
        ReadPixelCounts(c.value, width, height);
        EXPECT_EQ(c.width, width) << testing::PrintToString(std::wstring(c.value));
        EXPECT_EQ(c.height, height) << testing::PrintToString(std::wstring(c.value));
    }
}
