// What the core needs of the platform, passed in: the Windows side gives the system's own
// routines, the native build (tests and fuzzing) stand-ins that agree with them.
#pragma once

#include "core/Text.h"

namespace scanleaf::core {

// One 8-bit code page.
class CodePage {
public:
    virtual ~CodePage() = default;
    // The text of `length` bytes; false when the code page refuses them.
    virtual bool Decode(const char* bytes, std::size_t length, Text& out) const = 0;
    // The bytes of the text; characters the code page lacks become its default character.
    virtual std::string Encode(const Text& text) const = 0;
    // True for the first byte of a double-byte character.
    virtual bool IsLeadByte(unsigned char byte) const = 0;
    // True for UTF-8 (a system code page may be), whose characters take up to four bytes.
    virtual bool IsUtf8() const { return false; }
};

// Lower case, character by character, as the system folds names.
class LowerCaser {
public:
    virtual ~LowerCaser() = default;
    virtual Text Lower(Text text) const = 0;
};

} // namespace scanleaf::core
