#include "tools/card/batch/Output.h"

#include <cstdio>
#include <cwchar>
#include <io.h>

#include "host/VorHost.h"
#include "hostenv/SettingsLight.h"

namespace card {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

void Out(const std::wstring& text) {
    std::string bytes = Utf8(text);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void Err(const std::wstring& text) {
    std::string bytes = Utf8(text);
    fwrite(bytes.data(), 1, bytes.size(), stderr);
    fflush(stderr);
}

std::wstring Hex(HRESULT hr) {
    if (hr == kOpenRefused) hr = E_FAIL; // the plug-in's own code
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
    return L"the settings file " + shared + L"FileFormats\\Scanleaf.ini refuses a record of this file; "
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
    case kNotCalsFile:
        words = kNotCalsText;
        break;
    case E_OUTOFMEMORY: words = L"out of memory"; break;
    case E_POINTER: words = L"invalid pointer"; break;
    case E_NOTIMPL: words = L"not implemented"; break;
    case REGDB_E_CLASSNOTREG: words = L"class not registered"; break;
    default: break;
    }
    std::wstring text;
    if (words) {
        text = words;
    } else {
        wchar_t* message = nullptr;
        DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
        if (n && message) {
            text.assign(message, n);
            while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.'))
                text.pop_back();
        } else {
            text = L"failed";
        }
        if (message) LocalFree(message);
    }
    return text + L" (" + Hex(hr) + L")";
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

} // namespace card
