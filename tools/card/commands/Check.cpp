// check: reads a settings file as the plug-in will and reports what would fail an open.
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/HostNames.h"
#include "hostenv/LongPath.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/SettingsCheck.h"

#include <windows.h>

namespace card {

int Check(const NoOptions& a, const Setup&) {
    const std::vector<std::wstring>& args = a.operands;
    std::wstring file;
    if (!args.empty()) {
        file = AbsolutePath(args[0]); // of any length
    } else {
        scanleaf::SettingsLight settings;
        std::wstring shared = settings.GetFolder(scanleaf::SharedFolder);
        if (shared.empty()) {
            Err(L"scanleaf-card: the host's shared folder is not set (see: scanleaf-card settings)\n");
            return 1;
        }
        file = shared + scanleaf::kSettingsFileName;
    }
    if (GetFileAttributesW(scanleaf::FileSystemPath(file).c_str()) == INVALID_FILE_ATTRIBUTES) {
        Err(L"scanleaf-card: " + file + L": no such file; every record would be writable without sub-fields\n");
        return 1;
    }
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
        Err(L"scanleaf-card: " + file + L": cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        return 1;
    }
    const SettingsFindings found = CheckSettingsFile(file, bytes);
    for (const std::wstring& line : found.lines) Out(line + L"\n");
    Out(file + L": " + std::to_wstring(found.sections) + L" section(s), " + std::to_wstring(found.errors) + L" error(s), " +
        std::to_wstring(found.warnings) + L" warning(s)\n");
    return found.errors ? 1 : 0;
}

} // namespace card
