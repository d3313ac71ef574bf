// settings: the host's shared folder and the settings file under it.
#include "tools/card/commands/Commands.h"
#include "hostenv/HostNames.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/Registry.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Console.h"

namespace card {

int Settings(const SettingsOptions& a, const Setup&) {
    if (a.setSharedFolder) {
        const std::wstring& folder = a.sharedFolder;
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
    std::wstring ini = shared + scanleaf::kSettingsFileName;
    bool exists = GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES;
    Out(L"shared folder: " + shared + L"\n");
    Out(L"settings file: " + ini + (exists ? L"" : L" (missing: every record writable, no sub-fields)") + L"\n");
    return 0;
}

} // namespace card
