// Console output for people and scripts: UTF-8 text, JSON strings, HRESULTs in words.
#pragma once

#include "cardcore/CardTable.h"

#include <windows.h>

#include <string>

namespace card {

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Standard output and error in whole lines: each line is written once it ends, so that the two
// never cut each other's lines in one log; FlushOutput writes what is left at the end.
void Out(const std::wstring& text);
void Err(const std::wstring& text);
bool WriteOut(const std::string& bytes); // bytes as they are (a table), false once a write failed
bool FlushOutput();
// The progress line on standard error at once, drawn over the one before; any line written
// after it clears it first.
void ShowProgress(const std::wstring& line);
void ClearProgress();

using table::JsonString;

// A file of another format named like a CALS file (the card tool's own code).
inline constexpr HRESULT kNotCalsFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0300);
inline constexpr wchar_t kNotCalsText[] =
    L"not a CALS file: its first 2048 bytes are not a text header with rtype and rpelcnt records";

// The plug-in's open of a file failed with E_FAIL, which it returns when it finds no settings
// folder or the settings file refuses a record of the file. Only the calls that open a file
// through the plug-in give it; Hex shows it as the plug-in's own 0x80004005.
inline constexpr HRESULT kOpenRefused = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0301);
// The plug-in cannot read the header of a file shorter than one: a damaged CALS file, as verify
// calls it. Hex shows it as the plug-in's own VOR_E_CANNOT_READ_HEADER.
inline constexpr HRESULT kShortHeader = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0302);
inline constexpr wchar_t kShortHeaderText[] = L"damaged: shorter than a CALS header";

// An E_FAIL from the plug-in's open as kOpenRefused; any other result as it is.
inline HRESULT FromPluginOpen(HRESULT hr) { return hr == E_FAIL ? kOpenRefused : hr; }

// "cannot open file (0x80040228)"; a refused open (kOpenRefused) names the settings file and
// what to run; any other code is described as the system describes it.
std::wstring DescribeHresult(HRESULT hr);
std::wstring Hex(HRESULT hr);

bool StderrIsTerminal();

} // namespace card
