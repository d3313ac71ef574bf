#include "tools/card/cards/PluginCodes.h"

#include "host/VorHost.h"
#include "hostenv/HostNames.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Console.h"

#include <cwchar>

namespace card {

std::wstring Hex(HRESULT hr) {
    if (hr == kOpenRefused) hr = E_FAIL; // the plug-in's own codes
    if (hr == kShortHeader) hr = VOR_E_CANNOT_READ_HEADER;
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

namespace {

// The plug-in fails an open with E_FAIL when it finds no settings folder, or when the settings
// file refuses a record of the file.
std::wstring SettingsFailure() {
    scanleaf::SettingsLight settings;
    const std::wstring shared = settings.GetFolder(scanleaf::SharedFolder);
    if (shared.empty())
        return L"the host's shared folder is not set, so the plug-in opens no file; set it with "
               L"scanleaf-card settings --shared-folder DIR";
    return L"the settings file " + shared + scanleaf::kSettingsFileName + L" refuses a record of this file; "
           L"scanleaf-card check shows what to mend";
}

} // namespace

std::wstring DescribeHresult(HRESULT hr) {
    const wchar_t* words = nullptr;
    switch (hr) {
    case VOR_E_CANNOT_OPEN_FILE: words = L"cannot open file"; break;
    case VOR_E_CANNOT_READ_HEADER: words = L"cannot read header (not a CALS file?)"; break;
    case kOpenRefused: return SettingsFailure() + L" (" + Hex(hr) + L")";
    case E_FAIL: words = L"unspecified failure"; break;
    case kShortHeader: words = kShortHeaderText; break;
    case kNotCalsFile:
        words = kNotCalsText;
        break;
    case E_OUTOFMEMORY: words = L"out of memory"; break;
    case E_POINTER: words = L"invalid pointer"; break;
    case E_NOTIMPL: words = L"not implemented"; break;
    case REGDB_E_CLASSNOTREG: words = L"class not registered"; break;
    default: break;
    }
    if (!words) return SystemErrorText(hr);
    return std::wstring(words) + L" (" + Hex(hr) + L")";
}

} // namespace card
