// The grey ICC profile that a PDF/A document's output intent carries: made here, byte for byte
// the same every time, so that nothing of another's licence ships with the product.
#pragma once

#include <string>

namespace scanleaf::core {

// An ICC version 2.1 display profile for one grey channel (gamma 2.2, D50 white) with the four
// tags that ICC asks of such a profile: description, copyright, white point and grey curve.
const std::string& GreyIccProfile();

inline constexpr char kGreyProfileName[] = "Scanleaf grey, gamma 2.2";

} // namespace scanleaf::core
