#include "hostenv/FormatDate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

using scanleaf::FormatDate;
using scanleaf::MonthNames;
using scanleaf::Str;

namespace {

// Days from 30 December 1899 to the civil date (proleptic Gregorian), without the platform.
long DaysSinceEpoch(int y, int m, int d) {
    auto daysFromCivil = [](long y, long m, long d) {
        y -= m <= 2;
        long era = (y >= 0 ? y : y - 399) / 400;
        long yoe = y - era * 400;
        long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    return daysFromCivil(y, m, d) - daysFromCivil(1899, 12, 30);
}

DATE At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DaysSinceEpoch(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
}

std::wstring Format(DATE date, int style) {
    Str out(L"before");
    if (!FormatDate(out, date, style)) return L"<false>";
    return out.Text();
}

const DATE kExample = At(2024, 3, 5, 14, 7, 9);
const std::wstring kFallback = L"05 March 2024 14:07:09:000";

} // namespace

TEST(FormatDate, EveryListedStyle) {
    const struct {
        int style;
        const wchar_t* expected;
    } cases[] = {
        {0, L"Mar 05 2024 02:07 PM"},   {100, L"Mar 05 2024 02:07 PM"},
        {1, L"03/05/24"},               {2, L"24.03.05"},
        {3, L"05/03/24"},               {4, L"05.03.24"},
        {5, L"05-03-24"},               {6, L"05 Mar 24"},
        {7, L"Mar 05, 24"},             {10, L"03-05-24"},
        {11, L"24/03/05"},              {12, L"240305"},
        {101, L"03/05/2024"},           {102, L"2024.03.05"},
        {103, L"05/03/2024"},           {104, L"05.03.2024"},
        {105, L"05-03-2024"},           {106, L"05 Mar 2024"},
        {107, L"Mar 05, 2024"},         {109, L"Mar 05 2024 02:07:09:000 PM"},
        {110, L"03-05-2024"},           {111, L"2024/03/05"},
        {112, L"20240305"},             {113, L"05 March 2024 14:07:09:000"},
        {120, L"2024-03-05"},           {121, L"2024-03-05 14:07:09.000"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Format(kExample, c.style)) << c.style;
}

TEST(FormatDate, UnlistedCodesTakeTheFallback) {
    const std::set<int> listed = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 100, 101, 102, 103, 104,
                                  105, 106, 107, 109, 110, 111, 112, 113, 120, 121};
    for (int style = -3; style <= 200; ++style) {
        if (listed.count(style)) continue;
        EXPECT_EQ(kFallback, Format(kExample, style)) << style;
    }
    for (int style : {999, 65536 + 1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), -100, -101})
        EXPECT_EQ(kFallback, Format(kExample, style)) << style;
}

TEST(FormatDate, TwelveHourClock) {
    const struct {
        int h, mi, s, style;
        const wchar_t* expected;
    } cases[] = {
        {0, 0, 0, 0, L"Mar 05 2024 12:00 AM"},
        {0, 30, 0, 100, L"Mar 05 2024 12:30 AM"},
        {12, 30, 0, 109, L"Mar 05 2024 12:30:00:000 PM"},
        {12, 0, 0, 0, L"Mar 05 2024 12:00 PM"},
        {1, 0, 0, 0, L"Mar 05 2024 01:00 AM"},
        {13, 0, 0, 0, L"Mar 05 2024 01:00 PM"},
        {23, 59, 59, 109, L"Mar 05 2024 11:59:59:000 PM"},
        {11, 59, 59, 109, L"Mar 05 2024 11:59:59:000 AM"},
        {23, 59, 59, 121, L"2024-03-05 23:59:59.000"},
        {0, 0, 1, 113, L"05 March 2024 00:00:01:000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Format(At(2024, 3, 5, c.h, c.mi, c.s), c.style)) << c.h << ":" << c.mi << ":" << c.s;
}

TEST(FormatDate, YearsAndMonthNames) {
    EXPECT_EQ(L"01/01/05", Format(At(2005, 1, 1), 1));
    EXPECT_EQ(L"12/31/00", Format(At(2000, 12, 31), 1));
    EXPECT_EQ(L"010101", Format(At(2001, 1, 1), 12));
    EXPECT_EQ(L"20010101", Format(At(2001, 1, 1), 112));
    EXPECT_EQ(L"12/31/1899", Format(1.0, 101));
    EXPECT_EQ(L"0100-01-01", Format(At(100, 1, 1), 120));
    EXPECT_EQ(L"9999-12-31 23:59:59.000", Format(At(9999, 12, 31, 23, 59, 59), 121));
    // Before the epoch the fraction still counts forward from midnight.
    EXPECT_EQ(L"1899-12-29 06:00:00.000", Format(-1.25, 121));

    const wchar_t* longNames[] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                  L"July",    L"August",   L"September", L"October", L"November", L"December"};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(std::wstring(L"15 ") + longNames[m - 1] + L" 2023 08:00:00:000", Format(At(2023, m, 15, 8), 113));
        EXPECT_EQ(std::wstring(longNames[m - 1]).substr(0, 3), MonthNames[m].shortName);
        EXPECT_EQ(std::wstring(MonthNames[m].shortName) + L" 15, 2023", Format(At(2023, m, 15), 107));
    }
}

TEST(FormatDate, ZeroIsRefusedAndLeavesTheOutput) {
    for (DATE zero : {0.0, -0.0}) {
        Str out(L"before");
        EXPECT_FALSE(FormatDate(out, zero, 101));
        EXPECT_EQ(L"before", out.Text());
    }
}

TEST(FormatDate, DatesThePlatformRefusesGiveNoText) {
    // Never "-001"-style fields: false sends the caller to the platform's own text.
    const DATE refused[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), At(9999, 12, 31) + 1.0,
                            At(100, 1, 1) - 1.0, 1e300, -1e300};
    for (DATE date : refused) {
        for (int style : {0, 1, 101, 113, 121, 999}) {
            Str out(L"before");
            EXPECT_FALSE(FormatDate(out, date, style)) << date << " " << style;
            EXPECT_EQ(L"before", out.Text());
        }
    }
}

TEST(FormatDate, ReplacesEarlierText) {
    Str out(L"some much longer earlier content that must go");
    ASSERT_TRUE(FormatDate(out, kExample, 12));
    EXPECT_EQ(L"240305", out.Text());
}
