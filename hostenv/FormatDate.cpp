#include "hostenv/FormatDate.h"

#include <oleauto.h>

#include <cmath>
#include <cwchar>

namespace scanleaf {

const MonthName MonthNames[13] = {
    {L"", L""},
    {L"January", L"Jan"},
    {L"February", L"Feb"},
    {L"Mars", L"Mar"},
    {L"April", L"Apr"},
    {L"May", L"May"},
    {L"June", L"Jun"},
    {L"July", L"Jul"},
    {L"August", L"Aug"},
    {L"September", L"Sep"},
    {L"October", L"Oct"},
    {L"November", L"Nov"},
    {L"December", L"Dec"},
};

namespace {

struct Fields {
    int year, year2, month, day, hour, hour12, minute, second;
    const wchar_t* ampm;
    const wchar_t* shortMonth;
    const wchar_t* longMonth;
};

// False when the platform can't split the date into calendar fields.
bool Split(DATE date, Fields& f) {
    if (!std::isfinite(date)) return false;
    SYSTEMTIME st = {};
    if (!VariantTimeToSystemTime(date, &st)) return false;
    f.year = st.wYear;
    f.year2 = f.year % 100;
    f.month = st.wMonth;
    f.day = st.wDay;
    f.hour = st.wHour;
    f.hour12 = f.hour > 12 ? f.hour - 12 : f.hour;
    f.ampm = f.hour > 12 ? L"PM" : L"AM";
    f.minute = st.wMinute;
    f.second = st.wSecond;
    bool known = f.month >= 1 && f.month <= 12;
    f.shortMonth = known ? MonthNames[f.month].shortName : L"";
    f.longMonth = known ? MonthNames[f.month].longName : L"";
    return true;
}

} // namespace

bool FormatDate(Str& out, DATE date, int style) {
    if (date == 0.0) return false;
    // A date the platform refuses gives no text at all, never "-001" style garbage: the caller
    // then writes the platform's own text for the value.
    Fields f;
    if (!Split(date, f)) return false;

    wchar_t text[128];
    const size_t n = sizeof text / sizeof text[0];
    switch (static_cast<unsigned>(style)) {
    case 0:
    case 100:
        swprintf(text, n, L"%ls %02d %04d %02d:%02d %ls", f.shortMonth, f.day, f.year, f.hour12, f.minute, f.ampm);
        break;
    case 1: swprintf(text, n, L"%02d/%02d/%02d", f.month, f.day, f.year2); break;
    case 2: swprintf(text, n, L"%02d.%02d.%02d", f.year2, f.month, f.day); break;
    case 3: swprintf(text, n, L"%02d/%02d/%02d", f.day, f.month, f.year2); break;
    case 4: swprintf(text, n, L"%02d.%02d.%02d", f.day, f.month, f.year2); break;
    case 5: swprintf(text, n, L"%02d-%02d-%02d", f.day, f.month, f.year2); break;
    case 6: swprintf(text, n, L"%02d %ls %02d", f.day, f.shortMonth, f.year2); break;
    case 7: swprintf(text, n, L"%ls %02d, %02d", f.shortMonth, f.day, f.year2); break;
    case 10: swprintf(text, n, L"%02d-%02d-%02d", f.month, f.day, f.year2); break;
    case 11: swprintf(text, n, L"%02d/%02d/%02d", f.year2, f.month, f.day); break;
    case 12: swprintf(text, n, L"%02d%02d%02d", f.year2, f.month, f.day); break;
    case 101: swprintf(text, n, L"%02d/%02d/%04d", f.month, f.day, f.year); break;
    case 102: swprintf(text, n, L"%04d.%02d.%02d", f.year, f.month, f.day); break;
    case 103: swprintf(text, n, L"%02d/%02d/%04d", f.day, f.month, f.year); break;
    case 104: swprintf(text, n, L"%02d.%02d.%04d", f.day, f.month, f.year); break;
    case 105: swprintf(text, n, L"%02d-%02d-%04d", f.day, f.month, f.year); break;
    case 106: swprintf(text, n, L"%02d %ls %04d", f.day, f.shortMonth, f.year); break;
    case 107: swprintf(text, n, L"%ls %02d, %04d", f.shortMonth, f.day, f.year); break;
    case 109:
        swprintf(text, n, L"%ls %02d %04d %02d:%02d:%02d:000 %ls", f.shortMonth, f.day, f.year, f.hour12, f.minute,
                 f.second, f.ampm);
        break;
    case 110: swprintf(text, n, L"%02d-%02d-%04d", f.month, f.day, f.year); break;
    case 111: swprintf(text, n, L"%04d/%02d/%02d", f.year, f.month, f.day); break;
    case 112: swprintf(text, n, L"%04d%02d%02d", f.year, f.month, f.day); break;
    case 120: swprintf(text, n, L"%04d-%02d-%02d", f.year, f.month, f.day); break;
    case 121:
        swprintf(text, n, L"%04d-%02d-%02d %02d:%02d:%02d.000", f.year, f.month, f.day, f.hour, f.minute, f.second);
        break;
    default: // 113 and every code not listed
        swprintf(text, n, L"%02d %ls %04d %02d:%02d:%02d:000", f.day, f.longMonth, f.year, f.hour, f.minute,
                 f.second);
        break;
    }
    out.Assign(text);
    return true;
}

} // namespace scanleaf
