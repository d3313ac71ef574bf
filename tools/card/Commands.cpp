#include "tools/card/Commands.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/Card.h"
#include "tools/card/Files.h"
#include "tools/card/Output.h"
#include "tools/card/batch/Walk.h"
#include "tools/common/Plugin.h"
#include "tools/common/VariableArray.h"

#include <oleauto.h>

#include <algorithm>

namespace card {

using scanleaf::Bstr;
using scanleaf::ComPtr;
using toolsupport::Plugin;
using toolsupport::VariableArray;

int UsageError(const std::wstring& message) {
    Err(L"scanleaf-card: " + message + L"\n");
    return kUsageError;
}

bool ReadArguments(const wchar_t* command, const std::vector<std::wstring>& args, Arguments& out) {
    std::wstring error;
    if (ParseArguments(*FindCommand(command), args, out, error)) return true;
    UsageError(error);
    return false;
}

bool ReadChoice(const Arguments& args, const wchar_t* option, std::initializer_list<const wchar_t*> choices,
                const wchar_t* otherwise, std::wstring& value) {
    value = args.Value(option, otherwise);
    std::wstring list;
    for (const wchar_t* c : choices) {
        if (value == c) return true;
        list += (list.empty() ? L"" : L" or ") + std::wstring(c);
    }
    UsageError(std::wstring(option) + L" takes " + list + L", not \"" + value + L"\"");
    return false;
}

int LoadPlugin(Plugin& plugin, const Options& options) {
    HRESULT hr = plugin.Load(options.dllPath);
    if (FAILED(hr)) {
        Err(L"scanleaf-card: cannot load the plug-in: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    return 0;
}

namespace {

void PrintCardText(const std::wstring& path, const std::vector<CardEntry>& entries) {
    Out(path + L"\n");
    size_t width = 4;
    for (const CardEntry& e : entries) width = std::max(width, e.name.size());
    for (const CardEntry& e : entries) {
        std::wstring line = L"  " + e.name + std::wstring(width - e.name.size() + 2, L' ');
        line += e.readOnly ? L"[ro] " : L"     ";
        line += e.found ? e.value : L"(not found)";
        Out(line + L"\n");
    }
}

std::wstring CardJson(const std::wstring& path, const std::vector<CardEntry>& entries) {
    std::wstring json = L"{\"file\":" + JsonString(path) + L",\"variables\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const CardEntry& e = entries[i];
        if (i) json += L",";
        json += L"{\"name\":" + JsonString(e.name) + L",\"value\":" + JsonString(e.value) +
                L",\"found\":" + (e.found ? L"true" : L"false") + L",\"readOnly\":" +
                (e.readOnly ? L"true" : L"false") + L"}";
    }
    return json + L"]}";
}

} // namespace

int Run(const std::wstring& command, const std::vector<std::wstring>& args, const Options& options) {
    Arguments none;
    if (command == L"info") return ReadArguments(L"info", args, none) ? Info(options) : kUsageError;
    if (command == L"show") return Show(args, options);
    if (command == L"set") return Set(args, options);
    if (command == L"check") return ReadArguments(L"check", args, none) ? Check(none.operands) : kUsageError;
    if (command == L"register" || command == L"unregister")
        return ReadArguments(command.c_str(), args, none) ? Registration(command == L"register", options) : kUsageError;
    if (command == L"settings") return Settings(args);
    if (command == L"help") return Help(args);
    if (command == L"export") return Export(args, options);
    if (command == L"import") return Import(args, options);
    if (command == L"undo") return Undo(args);
    if (command == L"verify") return Verify(args, options);
    if (command == L"render") return Render(args, options);
    if (command == L"sheet") return Sheet(args, options);
    if (command == L"convert") return Convert(args, options);
    if (command == L"repair") return Repair(args, options);
    return UsageError(L"unknown command \"" + command + L"\"");
}

int Info(const Options& options) {
    Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    IVorFileFormat* format = plugin.Format();
    Bstr product, description, extensions;
    HRESULT hr = format->GetFormatInfo(product.Put(), description.Put(), extensions.Put());
    if (FAILED(hr)) {
        Err(L"scanleaf-card: GetFormatInfo: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(L"plug-in:     " + plugin.Source() + L"\n");
    Out(L"product:     " + std::wstring(product.Text()) + L"\n");
    Out(L"description: " + std::wstring(description.Text()) + L"\n");
    Out(L"extensions:\n");
    for (const std::wstring& ext : Split(extensions.Text(), L',')) {
        ULONG flags = 0;
        Bstr bext(ext);
        hr = format->GetExtensionFlags(bext.Get(), &flags);
        wchar_t text[64];
        swprintf(text, 64, L"  %-6ls flags %lu (0x%lX)\n", ext.c_str(), flags, flags);
        Out(SUCCEEDED(hr) ? std::wstring(text) : L"  " + ext + L" " + DescribeHresult(hr) + L"\n");
    }
    ComPtr<IVorFileFormat2> format2;
    hr = format->QueryInterface(IID_IVorFileFormat2, format2.PutVoid());
    if (FAILED(hr)) return 0;
    ULONG count = 0;
    ExtensionGroup* groups = nullptr;
    hr = format2->GetExtensionGroups(&count, &groups);
    if (FAILED(hr)) {
        Err(L"scanleaf-card: GetExtensionGroups: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(L"extension groups:\n");
    for (ULONG i = 0; i < count; ++i) {
        wchar_t guid[40] = {};
        StringFromGUID2(groups[i].identifier, guid, 40);
        wchar_t line[128];
        swprintf(line, 128, L"  kind %lu  %ls  ", groups[i].kind, guid);
        Out(line + std::wstring(groups[i].extensions ? groups[i].extensions : L"") + L"\n");
        SysFreeString(groups[i].extensions);
    }
    CoTaskMemFree(groups);
    return 0;
}

int Show(const std::vector<std::wstring>& args, const Options& options) {
    Arguments a;
    if (!ReadArguments(L"show", args, a)) return kUsageError;
    const bool json = a.Has(L"--json");
    const std::vector<std::wstring>& paths = a.operands;
    Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    IVorFileFormat* format = plugin.Format();

    const Walked walked = WalkAndReport({paths, CalsExtensions(format), false, {}});
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);

    bool progress = files.size() > 1 && StderrIsTerminal();
    int failures = int(walked.missing.size());
    if (json) Out(L"[");
    for (size_t i = 0; i < walked.missing.size(); ++i)
        if (json)
            Out(std::wstring(i ? L"," : L"") + L"{\"file\":" + JsonString(walked.missing[i]) +
                L",\"error\":\"no such file or folder\",\"hresult\":" +
                JsonString(Hex(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))) + L"}");
    for (size_t i = 0; i < files.size(); ++i) {
        if (progress) {
            wchar_t line[64];
            swprintf(line, 64, L"\r[%zu/%zu] ", i + 1, files.size());
            Err(line + files[i] + L"\x1b[K");
        }
        std::vector<CardEntry> entries;
        HRESULT hr = ReadCard(format, files[i], entries);
        if (json && (i || !walked.missing.empty())) Out(L",");
        if (FAILED(hr)) {
            ++failures;
            if (progress) Err(L"\r\x1b[K");
            Err(files[i] + L": " + DescribeHresult(hr) + L"\n");
            if (json)
                Out(L"{\"file\":" + JsonString(files[i]) + L",\"error\":" +
                    JsonString(DescribeHresult(hr)) + L",\"hresult\":" + JsonString(Hex(hr)) + L"}");
            continue;
        }
        if (json)
            Out(CardJson(files[i], entries));
        else
            PrintCardText(files[i], entries);
    }
    if (json) Out(L"]\n");
    if (progress) Err(L"\r\x1b[K");
    if (files.empty() && walked.missing.empty()) Err(L"scanleaf-card: no CALS files found\n");
    return failures || files.empty() ? 1 : 0;
}

bool ParseDate(const std::wstring& text, double& date) {
    SYSTEMTIME t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    wchar_t tail = 0;
    int n = swscanf(text.c_str(), L"%4d-%2d-%2dT%2d:%2d:%2d%lc", &year, &month, &day, &hour, &minute, &second, &tail);
    bool shapeOk = (n == 3 && text.size() == 10) || (n == 5 && text.size() == 16) || (n == 6 && text.size() == 19);
    if (!shapeOk || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return false;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    // Reject dates that the calendar does not have (31 February) rather than let them roll over.
    FILETIME check;
    if (!SystemTimeToFileTime(&t, &check)) return false;
    return SystemTimeToVariantTime(&t, &date) != 0;
}

namespace {

// Whether the format class has a server in this process's view of the registry.
bool FormatRegistered() {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_CalsFormat, clsid, 40);
    scanleaf::Registry key;
    return key.Open(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32").c_str(), KEY_READ, false);
}

} // namespace

int Registration(bool registering, const Options& options) {
    const bool wasRegistered = registering || FormatRegistered();
    HRESULT hr = Plugin::CallRegistration(options.dllPath, registering);
    std::wstring what = registering ? L"register" : L"unregister";
    if (!wasRegistered) {
        // What is left of an earlier registration is removed all the same; there may be nothing.
        Out(L"the plug-in is not registered; nothing to unregister\n");
        return 0;
    }
    if (FAILED(hr)) {
        Err(L"scanleaf-card: " + what + L" failed: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(what + L"ed " + (options.dllPath.empty() ? Plugin::DefaultDllPath() : options.dllPath) + L"\n");
    return 0;
}

int Help(const std::vector<std::wstring>& args) {
    Arguments a;
    if (!ReadArguments(L"help", args, a)) return kUsageError;
    if (a.operands.empty()) {
        Out(ProgramHelp());
        return 0;
    }
    const CommandEntry* command = FindCommand(a.operands[0]);
    if (!command) return UsageError(L"no command \"" + a.operands[0] + L"\"");
    Out(CommandHelp(*command));
    return 0;
}

int Settings(const std::vector<std::wstring>& args) {
    Arguments a;
    if (!ReadArguments(L"settings", args, a)) return kUsageError;
    if (a.Has(L"--shared-folder")) {
        const std::wstring folder = a.Value(L"--shared-folder");
        scanleaf::Registry key;
        if (!key.Open(HKEY_LOCAL_MACHINE, scanleaf::kHostApplicationKey, KEY_READ | KEY_WRITE, true) ||
            !key.SetString(L"SharedLocation", folder.c_str())) {
            Err(L"scanleaf-card: cannot write the shared folder: " + DescribeHresult(HRESULT_FROM_WIN32(key.lastError)) +
                L"\n");
            return 1;
        }
    }
    scanleaf::SettingsLight settings;
    std::wstring shared = settings.GetFolder(scanleaf::SharedFolder);
    if (shared.empty()) {
        Out(L"shared folder: (not set)\n");
        return 0;
    }
    std::wstring ini = shared + L"FileFormats\\Scanleaf.ini";
    bool exists = GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES;
    Out(L"shared folder: " + shared + L"\n");
    Out(L"settings file: " + ini + (exists ? L"" : L" (missing: every record writable, no sub-fields)") + L"\n");
    return 0;
}

} // namespace card
