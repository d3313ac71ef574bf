#include "hostenv/FormatDate.h"

#include <oleauto.h>

#include <cmath>

namespace scanleaf {

namespace {

// False when the platform can't split the date into calendar fields.
bool Split(DATE date, core::DateFields& f) {
    if (!std::isfinite(date)) return false;
    SYSTEMTIME st = {};
    if (!VariantTimeToSystemTime(date, &st)) return false;
    f.year = st.wYear;
    f.month = st.wMonth;
    f.day = st.wDay;
    f.hour = st.wHour;
    f.minute = st.wMinute;
    f.second = st.wSecond;
    return true;
}

} // namespace

bool FormatDate(Str& out, DATE date, int style) {
    if (date == 0.0) return false;
    // A date the platform refuses gives no text at all, never "-001" style garbage: the caller
    // then writes the platform's own text for the value.
    core::DateFields f;
    if (!Split(date, f)) return false;
    out.Assign(core::FormatDateFields(f, style));
    return true;
}

} // namespace scanleaf
