// Looking up and storing values: the sub-field cut and splice, names, read-only tags.
#include "core/cals/SubField.h"
#include "navigator/TagFinder.h"

#include <gtest/gtest.h>

using namespace scanleaf;
using scanleaf::core::CutSubField;
using scanleaf::core::SpliceSubField;
using scanleaf::core::TrimTrailingBlanks;

namespace {

Tag MakeTag(std::wstring name, std::wstring value, bool readOnly = false, std::list<SubTag> subs = {}) {
    Tag tag;
    tag.name = std::move(name);
    tag.value = std::move(value);
    tag.readOnly = readOnly;
    tag.subTags = std::move(subs);
    tag.valueWidth = 126 - static_cast<int>(tag.name.size());
    return tag;
}

struct CutCase {
    const wchar_t* value;
    int start, end;
    const wchar_t* expected;
};

TEST(SubField, CutTakesThePositionsAndDropsTrailingBlanksOnly) {
    const CutCase cases[] = {
        {L"ABCDEFG", 5, 9, L"EFG"},
        {L"ABCD", 5, 9, L""},         // shorter than start
        {L"ABCDE", 5, 9, L"E"},       // exactly start characters
        {L"ABCDEF  ", 5, 9, L"EF"},   // trailing blanks removed
        {L"ABCD  XY", 5, 9, L"  XY"}, // leading blanks stay
        {L"ABCD\t\r\n", 1, 7, L"ABCD"},
        {L"001728,002200", 1, 6, L"001728"},
        {L"ABCDEF", 0, 3, L"ABCD"},   // start below 1: from the first character, width kept
        {L"ABCDEF", -2, 1, L"ABCD"},
        {L"", 0, 3, L""},
        {L"ABC", 3, 3, L"C"},
    };
    for (const CutCase& c : cases)
        EXPECT_EQ(CutSubField(c.value, c.start, c.end), c.expected) << c.value << " " << c.start << "-" << c.end;
}

struct SpliceCase {
    const wchar_t* value;
    const wchar_t* text;
    int start, end;
    const wchar_t* expected;
};

TEST(SubField, SpliceLandsAtExactlyTheSubFieldsPositions) {
    const SpliceCase cases[] = {
        {L"001728,002200", L"1800", 1, 6, L"1800  ,002200"},
        {L"001728,002200", L"12345678", 1, 6, L"123456,002200"},
        {L"001728,002200", L"9", 8, 13, L"001728,9"},     // the padded tail is trimmed
        {L"ABC", L"XY", 6, 8, L"ABC  XY"},                 // short value padded first
        {L"", L"Q", 3, 3, L"  Q"},
        {L"ABCDEF", L"XY", 0, 3, L"XY  DEF"},              // start below 1: nothing before the piece
        {L"ABCDEFGH", L"x", 3, 4, L"ABx EFGH"},
        {L"ABCDEF", L"  ", 1, 6, L""},                     // all blank
    };
    for (const SpliceCase& c : cases) {
        std::wstring result = SpliceSubField(c.value, c.text, c.start, c.end);
        EXPECT_EQ(result, c.expected) << c.value << " <- " << c.text;
        // What was written reads back as the written text, cut to width and trimmed.
        std::wstring expectedPiece = TrimTrailingBlanks(std::wstring(c.text).substr(0, c.end - c.start + 1));
        EXPECT_EQ(CutSubField(result, c.start, c.end), expectedPiece) << c.value << " <- " << c.text;
    }
}

TEST(FindValue, SubFieldsBeforeTheTagsOwnNameAndFirstMatchWins) {
    TagFinder finder;
    finder.tags.push_back(MakeTag(L"abc", L"20240305", false, {{L"yy", 3, 4}, {L"abc", 5, 6}}));
    finder.tags.push_back(MakeTag(L"abc", L"second"));
    finder.tags.push_back(MakeTag(L"rpelcnt", L"001728,002200"));
    finder.tags.push_back(MakeTag(L"", L"nameless"));
    finder.tags.push_back(MakeTag(L"rpelcnt", L"999,999"));

    const struct {
        const wchar_t* name;
        bool found;
        const wchar_t* value;
    } cases[] = {
        {L"yy", true, L"24"},
        {L"YY", true, L"24"},
        {L"abc", true, L"03"}, // the sub-field of the same name comes before the tag itself
        {L"RPELCNT", true, L"001728,002200"},
        {L"", true, L"nameless"},
        {L"missing", false, L"untouched"},
    };
    for (const auto& c : cases) {
        std::wstring result = L"untouched";
        EXPECT_EQ(finder.FindValue(c.name, result), c.found) << c.name;
        EXPECT_EQ(result, c.value) << c.name;
    }
}

TEST(FindValue, ReadsATagWithSubFieldsWholeAndValuesUntrimmed) {
    TagFinder finder;
    finder.tags.push_back(MakeTag(L"date", L"2024 03 05  ", false, {{L"year", 1, 4}}));
    std::wstring result;
    ASSERT_TRUE(finder.FindValue(L"date", result));
    EXPECT_EQ(result, L"2024 03 05  ");
    TagFinder empty;
    EXPECT_FALSE(empty.FindValue(L"date", result));
}

TEST(SetValue, StoresWholeValuesAndSubFields) {
    TagFinder finder;
    finder.tags.push_back(MakeTag(L"srcdocid", L"old"));
    finder.tags.push_back(MakeTag(L"rpelcnt", L"001728,002200", false, {{L"w", 1, 6}, {L"h", 8, 13}}));
    const std::wstring longText(300, L'x');

    EXPECT_TRUE(finder.SetValue(L"SrcDocId", L"ABC-1"));
    EXPECT_EQ(finder.tags.front().value, L"ABC-1");
    EXPECT_TRUE(finder.SetValue(L"srcdocid", L""));
    EXPECT_EQ(finder.tags.front().value, L"NONE");
    EXPECT_TRUE(finder.SetValue(L"srcdocid", longText + L"  ")); // whole, neither cut nor trimmed
    EXPECT_EQ(finder.tags.front().value, longText + L"  ");

    EXPECT_TRUE(finder.SetValue(L"W", L"1800"));
    EXPECT_EQ(finder.tags.back().value, L"1800  ,002200");
    EXPECT_TRUE(finder.SetValue(L"h", L""));
    EXPECT_EQ(finder.tags.back().value, L"1800  ,NONE");
    // A tag with sub-fields can't be written under its own name.
    EXPECT_FALSE(finder.SetValue(L"rpelcnt", L"1,1"));
    EXPECT_EQ(finder.tags.back().value, L"1800  ,NONE");
    EXPECT_FALSE(finder.SetValue(L"nothing", L"x"));
}

TEST(SetValue, ReadOnlyTagsAndTheFirstMatchDecide) {
    TagFinder finder;
    finder.tags.push_back(MakeTag(L"rtype", L"1", true));
    finder.tags.push_back(MakeTag(L"rtype", L"2"));
    finder.tags.push_back(MakeTag(L"date", L"20240305", true, {{L"yy", 3, 4}}));
    finder.tags.push_back(MakeTag(L"yy", L"writable"));
    Tag width = MakeTag(L"width", L"1728", true);
    width.inHeader = false;
    finder.tags.push_back(width);

    EXPECT_FALSE(finder.SetValue(L"rtype", L"9")); // the read-only first one decides
    EXPECT_FALSE(finder.SetValue(L"yy", L"99"));   // read-only sub-field hides the later tag
    EXPECT_FALSE(finder.SetValue(L"width", L"5"));
    std::list<std::wstring> values;
    for (const Tag& t : finder.tags) values.push_back(t.value);
    EXPECT_EQ(values, (std::list<std::wstring>{L"1", L"2", L"20240305", L"writable", L"1728"}));
}

} // namespace
