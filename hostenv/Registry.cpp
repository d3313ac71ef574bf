#include "hostenv/Registry.h"

#include <cstring>
#include <vector>

namespace scanleaf {

bool Registry::Open(HKEY parent, const wchar_t* subkey, REGSAM access, bool create) {
    Close();
    HKEY opened = nullptr;
    if (create && subkey) {
        wchar_t noClass[] = L"";
        lastError = RegCreateKeyExW(parent, subkey, 0, noClass, 0, access, nullptr, &opened, nullptr);
    } else {
        lastError = RegOpenKeyExW(parent, subkey, 0, access, &opened);
    }
    if (lastError != ERROR_SUCCESS) return false;
    key_.Reset(opened);
    return true;
}

bool Registry::OpenSubKey(const wchar_t* subkey, REGSAM access, bool create) {
    Registry child;
    if (!child.Open(Key(), subkey, access, create)) {
        lastError = child.lastError;
        return false;
    }
    // A handle of our own to the child, so the temporary can close its one.
    return Open(child.Key(), nullptr, access, false);
}

bool Registry::Close() {
    if (!key_) return true;
    lastError = RegCloseKey(key_.Release());
    return lastError == ERROR_SUCCESS;
}

bool Registry::QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* byteCount) {
    lastError = RegQueryValueExW(Key(), name, nullptr, type, data, byteCount);
    return lastError == ERROR_SUCCESS;
}

bool Registry::QueryDword(const wchar_t* name, DWORD& out) {
    DWORD type = 0;
    DWORD size = 0;
    if (!QueryValue(name, &type, nullptr, &size) || size != sizeof(DWORD)) return false;
    if (type != REG_DWORD && type != REG_DWORD_BIG_ENDIAN) return false;
    DWORD value = 0;
    if (!QueryValue(name, nullptr, reinterpret_cast<BYTE*>(&value), &size)) return false;
    // The value may have changed between the two calls.
    if (size != sizeof(DWORD)) return false;
    if (type == REG_DWORD_BIG_ENDIAN)
        value = ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) | (value >> 24);
    out = value;
    return true;
}

bool Registry::QueryString(const wchar_t* name, std::wstring& out) {
    DWORD type = 0;
    DWORD size = 0;
    if (!QueryValue(name, &type, nullptr, &size)) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // Room for a terminating zero that the stored data may lack (and a half character).
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    DWORD read = size;
    if (!QueryValue(name, nullptr, reinterpret_cast<BYTE*>(text.data()), &read)) return false;
    if (type == REG_EXPAND_SZ) {
        DWORD needed = ExpandEnvironmentStringsW(text.data(), nullptr, 0);
        if (needed == 0) return false;
        std::vector<wchar_t> expanded(needed, L'\0');
        DWORD written = ExpandEnvironmentStringsW(text.data(), expanded.data(), needed);
        // The environment may have grown between the two calls.
        if (written == 0 || written > needed) return false;
        out.assign(expanded.data());
        return true;
    }
    out.assign(text.data());
    return true;
}

bool Registry::SetValue(const wchar_t* name, const BYTE* data, DWORD byteCount, DWORD type) {
    lastError = RegSetValueExW(Key(), name, 0, type, data, byteCount);
    return lastError == ERROR_SUCCESS;
}

bool Registry::SetString(const wchar_t* name, const wchar_t* text) {
    if (!text) text = L"";
    DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return SetValue(name, reinterpret_cast<const BYTE*>(text), bytes, REG_SZ);
}

bool Registry::SetDword(const wchar_t* name, DWORD value) {
    return SetValue(name, reinterpret_cast<const BYTE*>(&value), sizeof value, REG_DWORD);
}

bool Registry::EnumSubKey(DWORD index, std::wstring* name, std::wstring* className, FILETIME* lastWrite) {
    const DWORD kChars = 1024;
    std::vector<wchar_t> nameBuffer(kChars, L'\0');
    std::vector<wchar_t> classBuffer(kChars, L'\0');
    DWORD nameLength = kChars;
    DWORD classLength = kChars;
    FILETIME time = {};
    lastError = RegEnumKeyExW(Key(), index, nameBuffer.data(), &nameLength, nullptr, classBuffer.data(), &classLength,
                              &time);
    if (lastError != ERROR_SUCCESS) return false;
    if (name) name->assign(nameBuffer.data(), nameLength);
    if (className) className->assign(classBuffer.data(), classLength);
    if (lastWrite) *lastWrite = time;
    return true;
}

} // namespace scanleaf
