// The one edit of a card: which values each check refuses, by type, before the plug-in is asked
// what it would store; and the dates a request may give.
#include "tools/card/cards/CardEdit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using card::CardEdit;
using card::CardEntry;
using card::EditFault;
using card::NewValue;

TEST(CardEdit, EachValueIsJudgedByTheCardWithItsOwnKindOfProblem) {
    const std::vector<CardEntry> card = {
        {L"DrawingNo", L"A1", true, false},
        {L"rpelcnt", L"1700,1000", true, true},
        {L"notes", L"", true, false},
    };
    const struct {
        std::vector<NewValue> values;
        std::vector<std::pair<EditFault, size_t>> problems;
        std::vector<size_t> passed;
    } cases[] = {
        {{{L"drawingno", L"B2"}, {L"NOTES", L"x"}}, {}, {0, 1}},                          // names case-blind
        {{{L"drawingno", L"B2"}, {L"DrawingNo", L"C3"}}, {{EditFault::NamedTwice, 1}}, {0}}, // the first stands
        {{{L"revision", L"C"}}, {{EditFault::NotAVariable, 0}}, {}},
        {{{L"rpelcnt", L"1700,1100"}}, {{EditFault::ReadOnly, 0}}, {}},
        {{{L"notes", L"\u03bb"}}, {{EditFault::CodePage, 0}}, {}},                         // not in code page 1252
        {{{L"notes", L"caf\u00e9"}}, {}, {0}},                                             // in it
        {{{L"notes", L"\u03bb", true, 45356.0}}, {}, {0}}, // a date's text is the plug-in's own
        {{{L"x", L"1"}, {L"x", L"2"}, {L"rpelcnt", L""}},
         {{EditFault::NotAVariable, 0}, {EditFault::NamedTwice, 1}, {EditFault::ReadOnly, 2}},
         {}},
    };
    for (const auto& c : cases) {
        std::vector<size_t> passed;
        const std::vector<card::EditProblem> problems = CardEdit::CheckNames(card, c.values, &passed);
        ASSERT_EQ(c.problems.size(), problems.size()) << c.values[0].name;
        for (size_t i = 0; i < problems.size(); ++i) {
            EXPECT_EQ(c.problems[i].first, problems[i].fault) << c.values[0].name << " " << i;
            EXPECT_EQ(c.problems[i].second, problems[i].value) << c.values[0].name << " " << i;
            if (problems[i].fault == EditFault::ReadOnly) {
                EXPECT_EQ(L"1700,1000", problems[i].current);
            }
        }
        EXPECT_EQ(c.passed, passed) << c.values[0].name;
    }
}

TEST(CardEdit, DatesOfTheThreeShapesOnDaysTheCalendarHas) {
    const struct {
        const wchar_t* text;
        bool ok;
    } cases[] = {
        {L"2024-03-05", true},          {L"2024-03-05T14:07", true}, {L"2024-03-05T14:07:09", true},
        {L"2024-02-29", true},          {L"2023-02-29", false},      {L"2024-04-31", false},
        {L"2000-02-29", true},          {L"1900-02-29", false},      {L"2024-12-31", true},
        {L"2024-3-5", false},           {L"2024-03-05T24:00", false}, {L"2024-03-05T14:60", false},
        {L"2024-03-05 14:07", false},   {L"2024-03-05x", false},     {L"", false},
        {L"2024-03-05T14:07:09Z", false},
    };
    for (const auto& c : cases) {
        double date = 0;
        EXPECT_EQ(c.ok, card::ParseDate(c.text, date)) << testing::PrintToString(std::wstring(c.text));
    }
    double date = 0;
    ASSERT_TRUE(card::ParseDate(L"2024-03-05T12:00", date));
    EXPECT_DOUBLE_EQ(45356.5, date); // OLE Automation dates count days from 30 December 1899
}

} // namespace
