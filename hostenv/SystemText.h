// The system's own text routines, as the core takes them: code pages through
// MultiByteToWideChar/WideCharToMultiByte, lower case through CharLowerBuffW.
#pragma once

#include "core/Platform.h"

#include <windows.h>

namespace scanleaf {

class WindowsCodePage : public core::CodePage {
public:
    // CP_ACP and CP_THREAD_ACP stand for the system's and the calling thread's code page,
    // looked up at each call.
    explicit WindowsCodePage(UINT id) : id_(id) {}
    bool Decode(const char* bytes, std::size_t length, core::Text& out) const override;
    // Throws ComError when the conversion fails.
    std::string Encode(const core::Text& text) const override;
    bool IsLeadByte(unsigned char byte) const override;
    bool IsUtf8() const override;

private:
    UINT Resolved() const;
    UINT id_;
};

class WindowsLowerCaser : public core::LowerCaser {
public:
    core::Text Lower(core::Text text) const override;
};

const WindowsCodePage& AnsiCodePage();       // CP_ACP
const WindowsCodePage& ThreadAnsiCodePage(); // CP_THREAD_ACP
const WindowsLowerCaser& SystemLowerCaser();

} // namespace scanleaf
