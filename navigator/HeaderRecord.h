// One 128-byte record slot of a CALS header as text: "name: value".
#pragma once

#include "core/HeaderRecord.h"

#include <string>

namespace scanleaf {

using core::kFillByteOffset;
using core::kHeaderSize;
using core::kParsedSlots;
using core::kSlotSize;
using core::SplitRecord;
using core::TrimBlanks;

// The slot's bytes up to the first NUL (all 128 without one), decoded with the calling
// thread's ANSI code page. Throws ComError when the conversion fails.
std::wstring DecodeSlot(const unsigned char* slot);

} // namespace scanleaf
