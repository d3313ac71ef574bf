#include "core/DateText.h"

namespace scanleaf::core {

const MonthName MonthNames[13] = {
    {SL_T(""), SL_T("")},
    {SL_T("January"), SL_T("Jan")},
    {SL_T("February"), SL_T("Feb")},
    {SL_T("March"), SL_T("Mar")},
    {SL_T("April"), SL_T("Apr")},
    {SL_T("May"), SL_T("May")},
    {SL_T("June"), SL_T("Jun")},
    {SL_T("July"), SL_T("Jul")},
    {SL_T("August"), SL_T("Aug")},
    {SL_T("September"), SL_T("Sep")},
    {SL_T("October"), SL_T("Oct")},
    {SL_T("November"), SL_T("Nov")},
    {SL_T("December"), SL_T("Dec")},
};

namespace {

// "%0Nd": at least `width` characters, the sign counted, zeros after the sign.
Text Padded(int value, std::size_t width) {
    Text digits = Decimal(value < 0 ? -static_cast<std::int64_t>(value) : value);
    const std::size_t wanted = value < 0 ? width - 1 : width;
    if (digits.size() < wanted) digits.insert(0, wanted - digits.size(), Unit('0'));
    return value < 0 ? SL_T("-") + digits : digits;
}

// Pieces of a style: numbers as "%02d"/"%04d", names and separators as they stand.
class Writer {
public:
    Writer& N2(int v) { return Put(Padded(v, 2)); }
    Writer& N4(int v) { return Put(Padded(v, 4)); }
    Writer& S(const Unit* text) { return Put(text); }
    Writer& S(const Text& text) { return Put(text); }
    Text Done() { return std::move(text_); }

private:
    Writer& Put(const Text& t) {
        text_ += t;
        return *this;
    }
    Text text_;
};

} // namespace

Text FormatDateFields(const DateFields& f, int style) {
    const bool known = f.month >= 1 && f.month <= 12;
    const Unit* shortMonth = known ? MonthNames[f.month].shortName : SL_T("");
    const Unit* longMonth = known ? MonthNames[f.month].longName : SL_T("");
    const int year2 = f.year % 100;
    // The 12-hour clock as people read it: 00:30 is 12:30 AM, 12:30 is 12:30 PM.
    const int hour12 = f.hour % 12 == 0 ? 12 : f.hour % 12;
    const Unit* ampm = f.hour >= 12 ? SL_T("PM") : SL_T("AM");
    Writer w;
    switch (static_cast<unsigned>(style)) {
    case 0:
    case 100:
        return w.S(shortMonth).S(SL_T(" ")).N2(f.day).S(SL_T(" ")).N4(f.year).S(SL_T(" ")).N2(hour12).S(SL_T(":"))
            .N2(f.minute).S(SL_T(" ")).S(ampm).Done();
    case 1: return w.N2(f.month).S(SL_T("/")).N2(f.day).S(SL_T("/")).N2(year2).Done();
    case 2: return w.N2(year2).S(SL_T(".")).N2(f.month).S(SL_T(".")).N2(f.day).Done();
    case 3: return w.N2(f.day).S(SL_T("/")).N2(f.month).S(SL_T("/")).N2(year2).Done();
    case 4: return w.N2(f.day).S(SL_T(".")).N2(f.month).S(SL_T(".")).N2(year2).Done();
    case 5: return w.N2(f.day).S(SL_T("-")).N2(f.month).S(SL_T("-")).N2(year2).Done();
    case 6: return w.N2(f.day).S(SL_T(" ")).S(shortMonth).S(SL_T(" ")).N2(year2).Done();
    case 7: return w.S(shortMonth).S(SL_T(" ")).N2(f.day).S(SL_T(", ")).N2(year2).Done();
    case 10: return w.N2(f.month).S(SL_T("-")).N2(f.day).S(SL_T("-")).N2(year2).Done();
    case 11: return w.N2(year2).S(SL_T("/")).N2(f.month).S(SL_T("/")).N2(f.day).Done();
    case 12: return w.N2(year2).N2(f.month).N2(f.day).Done();
    case 101: return w.N2(f.month).S(SL_T("/")).N2(f.day).S(SL_T("/")).N4(f.year).Done();
    case 102: return w.N4(f.year).S(SL_T(".")).N2(f.month).S(SL_T(".")).N2(f.day).Done();
    case 103: return w.N2(f.day).S(SL_T("/")).N2(f.month).S(SL_T("/")).N4(f.year).Done();
    case 104: return w.N2(f.day).S(SL_T(".")).N2(f.month).S(SL_T(".")).N4(f.year).Done();
    case 105: return w.N2(f.day).S(SL_T("-")).N2(f.month).S(SL_T("-")).N4(f.year).Done();
    case 106: return w.N2(f.day).S(SL_T(" ")).S(shortMonth).S(SL_T(" ")).N4(f.year).Done();
    case 107: return w.S(shortMonth).S(SL_T(" ")).N2(f.day).S(SL_T(", ")).N4(f.year).Done();
    case 109:
        return w.S(shortMonth).S(SL_T(" ")).N2(f.day).S(SL_T(" ")).N4(f.year).S(SL_T(" ")).N2(hour12).S(SL_T(":"))
            .N2(f.minute).S(SL_T(":")).N2(f.second).S(SL_T(":000 ")).S(ampm).Done();
    case 110: return w.N2(f.month).S(SL_T("-")).N2(f.day).S(SL_T("-")).N4(f.year).Done();
    case 111: return w.N4(f.year).S(SL_T("/")).N2(f.month).S(SL_T("/")).N2(f.day).Done();
    case 112: return w.N4(f.year).N2(f.month).N2(f.day).Done();
    case 120: return w.N4(f.year).S(SL_T("-")).N2(f.month).S(SL_T("-")).N2(f.day).Done();
    case 121:
        return w.N4(f.year).S(SL_T("-")).N2(f.month).S(SL_T("-")).N2(f.day).S(SL_T(" ")).N2(f.hour).S(SL_T(":"))
            .N2(f.minute).S(SL_T(":")).N2(f.second).S(SL_T(".000")).Done();
    default: // 113 and every code not listed
        return w.N2(f.day).S(SL_T(" ")).S(longMonth).S(SL_T(" ")).N4(f.year).S(SL_T(" ")).N2(f.hour).S(SL_T(":"))
            .N2(f.minute).S(SL_T(":")).N2(f.second).S(SL_T(":000")).Done();
    }
}

} // namespace scanleaf::core
