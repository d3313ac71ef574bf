// Dates as text in numbered styles, from a date already split into calendar fields.
#pragma once

#include "core/Text.h"

namespace scanleaf::core {

struct MonthName {
    Unit longName[52];
    Unit shortName[4];
};
// Indexed by the month number 1 to 12 (entry 0 is unused).
extern const MonthName MonthNames[13];

struct DateFields {
    int year = 0;
    int month = 0; // 1 to 12; another number gives empty month names
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The date in the style: codes 0 to 7, 10 to 12, 100 to 107, 109 to 113, 120 and 121 are styles
// of their own; every other code (negative ones too) takes the style of 113. Numbers are
// written in full, whatever their size: a field wider than its style's width is never cut.
Text FormatDateFields(const DateFields& date, int style);

// The codes with a style of their own, in increasing order.
inline constexpr int kDateStyles[] = {0,   1,   2,   3,   4,   5,   6,   7,   10,  11,  12,  100, 101,
                                      102, 103, 104, 105, 106, 107, 109, 110, 111, 112, 113, 120, 121};

} // namespace scanleaf::core
