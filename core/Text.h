// Text in the core: UTF-16 code units, whatever the platform. On Windows a unit is wchar_t
// (16 bits there), so the product's std::wstring is core::Text and nothing is copied at the
// boundary; natively it is char16_t, since wchar_t is 32 bits on Linux and would give the same
// code a different meaning. Numbers that cross files (sizes, times, positions) are fixed-width
// integers: `long` is 32 bits on Windows and 64 on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scanleaf::core {

#ifdef _WIN32
using Unit = wchar_t;
#define SL_T(literal) L##literal
#else
using Unit = char16_t;
#define SL_T(literal) u##literal
#endif
static_assert(sizeof(Unit) == 2, "text is UTF-16 code units");

using Text = std::basic_string<Unit>;

// A whole number in decimal, as std::to_wstring writes it.
Text Decimal(std::int64_t value);
// ASCII text, unit by unit.
Text Ascii(const std::string& text);

// The characters that the Windows C runtime's iswspace accepts (the C locale): tab to carriage
// return, space, and the Unicode spaces U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029,
// U+202F, U+205F and U+3000.
bool IsBlank(Unit c);
// '0' to '9' only.
inline bool IsDigit(Unit c) { return c >= '0' && c <= '9'; }
// 'A' to 'Z' folded, nothing else.
inline Unit AsciiLower(Unit c) { return c >= 'A' && c <= 'Z' ? Unit(c + ('a' - 'A')) : c; }

// Text for HTML or XML (attribute values too): & < > " as their entities.
Text MarkupEscaped(const Text& text);

// UTF-8 as Windows converts well-formed text; an unpaired surrogate becomes U+FFFD, and a lead
// byte with the continuation bytes after it that form no character one U+FFFD (Windows may give
// several: only damaged text differs, which every reader here refuses before converting).
std::string ToUtf8(const Text& text);
// One code point (U+0000 to U+10FFFF) as UTF-8, onto the end of `out`.
void AppendUtf8(std::string& out, std::uint32_t code);
Text FromUtf8(const std::string& bytes);
// The offset of the first byte that is not well-formed UTF-8 (overlong forms and surrogates
// included), or npos.
std::size_t FirstInvalidUtf8(const std::string& bytes);

} // namespace scanleaf::core
