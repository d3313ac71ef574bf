// The first-use notice: shows tip tipNumber through the host's tip text source and notice
// presenter, once per user, remembered under the host's application key.
#pragma once

#include "host/VorHost.h"
#include "hostenv/HostNames.h"

namespace scanleaf {

// The current user's key that holds one mark per tip given: the host's own.
inline constexpr const wchar_t* kApplicationKey = kHostApplicationKey;
inline constexpr wchar_t kTipOfTheDaySubkey[] = L"TipOfTheDay";

// Never reports failure. COM errors of the host components are handled here (the mark is
// removed so the tip is tried again); other exceptions, such as std::bad_alloc, pass on to
// the caller, which must not let them leave a COM method.
void ShowTipOfTheDay(VorWord owner, LONG tipNumber);

} // namespace scanleaf
