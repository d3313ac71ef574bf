// Console output for people and scripts: UTF-8 text, JSON strings, HRESULTs in words.
#pragma once

#include "core/CardTable.h"

#include <windows.h>

#include <string>

namespace card {

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

void Out(const std::wstring& text);
void Err(const std::wstring& text);

using table::JsonString;

// A file of another format named like a CALS file (the card tool's own code).
inline constexpr HRESULT kNotCalsFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0300);
inline constexpr wchar_t kNotCalsText[] =
    L"not a CALS file: its first 2048 bytes are not a text header with rtype and rpelcnt records";

// "cannot open file (0x80040228)"; a failed open for the settings' sake names the settings file
// and what to run.
std::wstring DescribeHresult(HRESULT hr);
std::wstring Hex(HRESULT hr);

bool StderrIsTerminal();

} // namespace card
