#include "tests/module/registration/RegTree.h"

#include "hostenv/Unique.h"

#include <objbase.h>

#include <algorithm>

namespace regtest {

namespace {

using Key = scanleaf::KeyHandle;

void Walk(HKEY key, const std::wstring& path, std::vector<std::wstring>& lines) {
    lines.push_back(path);
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0;
        BYTE data[8192];
        DWORD dataLength = sizeof(data);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        std::wstring text;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            text.assign(reinterpret_cast<wchar_t*>(data), wcsnlen(reinterpret_cast<wchar_t*>(data), dataLength / 2));
        else
            text = L"<type " + std::to_wstring(type) + L">";
        lines.push_back(path + L"|" + (nameLength ? std::wstring(name, nameLength) : L"@") + L"=" + text);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Key child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, child.Put()) == ERROR_SUCCESS)
            Walk(child.Get(), path + L"\\" + name, lines);
    }
}

} // namespace

std::vector<std::wstring> DumpTree(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> lines;
    Key key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return lines;
    Walk(key.Get(), path, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    Key key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name, bool* found) {
    wchar_t data[4096] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    LONG error = RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size);
    if (found) *found = error == ERROR_SUCCESS;
    return error == ERROR_SUCCESS ? std::wstring(data) : std::wstring();
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    Key key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, nameLength);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DeleteTree(HKEY root, const std::wstring& path) { RegDeleteTreeW(root, path.c_str()); }

std::wstring GuidString(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

} // namespace regtest
