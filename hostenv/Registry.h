// One open registry key and the Windows error code of its last call.
#pragma once

#include "hostenv/Unique.h"

#include <windows.h>

#include <string>

namespace scanleaf {

class Registry {
public:
    Registry() noexcept = default;
    virtual ~Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Closes a held key first. With create set and a subkey: RegCreateKeyExW, else RegOpenKeyExW.
    bool Open(HKEY parent, const wchar_t* subkey, REGSAM access, bool create);
    // Moves down to a subkey of the held key; on a failed first step the held key stays.
    bool OpenSubKey(const wchar_t* subkey, REGSAM access, bool create);
    // No key held: true, lastError untouched.
    bool Close();

    bool QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* byteCount);
    // REG_DWORD, or REG_DWORD_BIG_ENDIAN turned to the machine's order; 4 bytes only.
    bool QueryDword(const wchar_t* name, DWORD& out);
    // REG_SZ or REG_EXPAND_SZ (expanded); out changes only on success.
    bool QueryString(const wchar_t* name, std::wstring& out);
    bool SetValue(const wchar_t* name, const BYTE* data, DWORD byteCount, DWORD type);
    // REG_SZ with its terminating zero; null text is stored as empty text.
    bool SetString(const wchar_t* name, const wchar_t* text);
    bool SetDword(const wchar_t* name, DWORD value);
    bool EnumSubKey(DWORD index, std::wstring* name, std::wstring* className, FILETIME* lastWrite);

    HKEY Key() const noexcept { return key_.Get(); }
    LONG lastError = 0;

private:
    KeyHandle key_;
};

} // namespace scanleaf
