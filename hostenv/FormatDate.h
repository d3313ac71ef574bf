// Dates as text in numbered styles.
#pragma once

#include "core/DateText.h"

#include <oaidl.h>

#include <string>

namespace scanleaf {

// The library's small wide-string class.
class Str {
public:
    Str() = default;
    explicit Str(std::wstring text) : text_(std::move(text)) {}
    virtual ~Str() = default;

    const std::wstring& Text() const noexcept { return text_; }
    void Assign(std::wstring text) { text_ = std::move(text); }

private:
    std::wstring text_;
};

using core::MonthName;
using core::MonthNames;

// False, with out untouched, for a date of exactly 0.0 and for a date the platform can't split
// into calendar fields (NaN, infinite, outside the years 100 to 9999); the caller then writes the
// platform's own text for the value. Otherwise out holds the date's text. Codes 0 to 7, 10 to 12,
// 100 to 107, 109 to 113, 120 and 121 are styles of their own; every other code (negative ones
// too) takes the style of 113.
bool FormatDate(Str& out, DATE date, int style);

} // namespace scanleaf
