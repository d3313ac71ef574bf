// One 128-byte record slot of a CALS header as text: "name: value".
#pragma once

#include <cstddef>
#include <string>

namespace scanleaf {

inline constexpr std::size_t kSlotSize = 128;
inline constexpr std::size_t kHeaderSize = 2048;
inline constexpr std::size_t kParsedSlots = 11;     // slots 0..10 become tags
inline constexpr long kFillByteOffset = 895;         // last byte of slot 6

// The slot's bytes up to the first NUL (all 128 without one), decoded with the calling
// thread's ANSI code page. Throws ComError when the conversion fails.
std::wstring DecodeSlot(const unsigned char* slot);

// Strips the characters that iswspace accepts from both ends.
std::wstring TrimBlanks(const std::wstring& text);

// Splits at the first colon and trims both sides. False (name and value untouched) when
// the text holds no colon: such a slot is no record.
bool SplitRecord(const std::wstring& text, std::wstring& name, std::wstring& value);

} // namespace scanleaf
