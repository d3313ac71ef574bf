// settings: the host's shared folder and the settings file under it.
#include "tools/card/commands/Commands.h"

#include "hostenv/Registry.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Output.h"

namespace card {

int Settings(const Arguments& a, const Setup&) {
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
