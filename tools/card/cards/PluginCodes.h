// What the plug-in's results and the card tool's own codes about a file say, in words.
#pragma once

#include <windows.h>

#include <string>

namespace card {

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

} // namespace card
