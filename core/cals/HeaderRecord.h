// The CALS header's record slots: 2048 bytes of 128-byte slots, each "name: value" in the
// ANSI code page, the first eleven of them read as records.
#pragma once

#include "core/Platform.h"

#include <cstddef>

namespace scanleaf::core {

inline constexpr std::size_t kSlotSize = 128;
inline constexpr std::size_t kHeaderSize = 2048;
inline constexpr std::size_t kParsedSlots = 11;      // slots 0..10 become tags
inline constexpr std::size_t kParsedBytes = kParsedSlots * kSlotSize; // 1408: what a save rewrites
inline constexpr std::int32_t kFillByteOffset = 895; // last byte of slot 6

// The slot's bytes up to the first NUL (all 128 without one), decoded; false when the code
// page refuses them.
bool DecodeSlot(const unsigned char* slot, const CodePage& codePage, Text& out);

// Strips the characters that IsBlank accepts from both ends.
Text TrimBlanks(const Text& text);
// Strips them from the end.
Text TrimTrailingBlanks(Text text);

// Splits at the first colon and trims both sides. False (name and value untouched) when
// the text holds no colon: such a slot is no record.
bool SplitRecord(const Text& text, Text& name, Text& value);

// The length of the longest prefix of bytes (length bytes of text in the code page) that takes
// at most maxBytes and ends on a character boundary: a double-byte character (or a UTF-8
// sequence) is never split.
std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, const CodePage& codePage);

} // namespace scanleaf::core
