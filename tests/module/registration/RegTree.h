// Reading registry trees back in the registration tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace regtest {

// One line per key ("path") and per value ("path|name=data", the default value named
// "@"), sorted, for everything at and below root\path; empty when the key is missing.
std::vector<std::wstring> DumpTree(HKEY root, const std::wstring& path);

bool KeyExists(HKEY root, const std::wstring& path);

// A string value; `found` tells whether it was there.
std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name, bool* found = nullptr);

// Names of the direct subkeys, sorted.
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);

void DeleteTree(HKEY root, const std::wstring& path);

std::wstring GuidString(const GUID& guid);

} // namespace regtest
