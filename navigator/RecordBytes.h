// Keeping a rebuilt record's 8-bit text inside its slot.
#pragma once

#include <windows.h>

#include <cstddef>

namespace scanleaf {

// The length of the longest prefix of bytes (length bytes of text in codePage) that takes
// at most maxBytes and ends on a character boundary: a double-byte character (or a UTF-8
// sequence) is never split. CP_ACP stands for the system's ANSI code page.
std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, UINT codePage);

} // namespace scanleaf
