// One 128-byte record slot of a CALS header decoded with the calling thread's code page.
#pragma once

#include "core/cals/HeaderRecord.h"

#include <string>

namespace scanleaf {

// The slot's bytes up to the first NUL (all 128 without one), decoded with the calling
// thread's ANSI code page. Throws ComError when the conversion fails.
std::wstring DecodeSlot(const unsigned char* slot);

} // namespace scanleaf
