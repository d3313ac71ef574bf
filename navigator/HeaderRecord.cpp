#include "navigator/HeaderRecord.h"

#include "hostenv/ComError.h"

#include <windows.h>

#include <cwctype>

namespace scanleaf {

std::wstring DecodeSlot(const unsigned char* slot) {
    std::size_t length = 0;
    while (length < kSlotSize && slot[length] != 0) ++length;
    if (length == 0) return std::wstring();
    const char* bytes = reinterpret_cast<const char*>(slot);
    int wide = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (wide <= 0) RaiseComError(LastErrorAsHresult());
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(length), &text[0], wide) != wide)
        RaiseComError(LastErrorAsHresult());
    return text;
}

std::wstring TrimBlanks(const std::wstring& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

bool SplitRecord(const std::wstring& text, std::wstring& name, std::wstring& value) {
    std::size_t colon = text.find(L':');
    if (colon == std::wstring::npos) return false;
    name = TrimBlanks(text.substr(0, colon));
    value = TrimBlanks(text.substr(colon + 1));
    return true;
}

} // namespace scanleaf
