#include "navigator/LowerCase.h"

#include <windows.h>

namespace scanleaf {

std::wstring LowerCase(std::wstring text) {
    // The system's mapping, not the C locale's, so non-ASCII letters of the ANSI code page fold too.
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

} // namespace scanleaf
