#include "hostenv/SystemText.h"

#include "hostenv/ComError.h"

namespace scanleaf {

UINT WindowsCodePage::Resolved() const {
    if (id_ == CP_ACP) return GetACP();
    if (id_ == CP_THREAD_ACP) {
        wchar_t page[8] = {};
        if (GetLocaleInfoW(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, page, 8)) return UINT(_wtoi(page));
        return GetACP();
    }
    return id_;
}

bool WindowsCodePage::Decode(const char* bytes, std::size_t length, core::Text& out) const {
    out.clear();
    if (length == 0) return true;
    int wide = MultiByteToWideChar(id_, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (wide <= 0) return false;
    out.resize(static_cast<std::size_t>(wide));
    return MultiByteToWideChar(id_, 0, bytes, static_cast<int>(length), &out[0], wide) == wide;
}

std::string WindowsCodePage::Encode(const core::Text& text) const {
    if (text.empty()) return std::string();
    int count = WideCharToMultiByte(id_, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (count <= 0) RaiseComError(LastErrorAsHresult());
    std::string bytes(static_cast<std::size_t>(count), '\0');
    if (WideCharToMultiByte(id_, 0, text.data(), static_cast<int>(text.size()), &bytes[0], count, nullptr, nullptr) != count)
        RaiseComError(LastErrorAsHresult());
    return bytes;
}

bool WindowsCodePage::IsLeadByte(unsigned char byte) const { return IsDBCSLeadByteEx(Resolved(), byte) != FALSE; }

bool WindowsCodePage::IsUtf8() const { return Resolved() == CP_UTF8; }

core::Text WindowsLowerCaser::Lower(core::Text text) const {
    // The system's mapping, not the C locale's, so non-ASCII letters of the ANSI code page fold too.
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

const WindowsCodePage& AnsiCodePage() {
    static const WindowsCodePage page(CP_ACP);
    return page;
}

const WindowsCodePage& ThreadAnsiCodePage() {
    static const WindowsCodePage page(CP_THREAD_ACP);
    return page;
}

const WindowsLowerCaser& SystemLowerCaser() {
    static const WindowsLowerCaser lower;
    return lower;
}

} // namespace scanleaf
