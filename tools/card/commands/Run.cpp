// The dispatch: a command's arguments read by its table, then what it needs set up (COM, the
// plug-in), then the command, and everything it set up undone after it.
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/ComApartment.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Console.h"
#include "tools/common/Plugin.h"

namespace card {

int UsageError(const std::wstring& message) {
    Err(L"scanleaf-card: " + message + L"\n");
    return kUsageError;
}

namespace {

int RunSetUp(const CommandEntry& entry, const Parsed& args, const std::wstring& dllPath) {
    Setup setup;
    setup.dllPath = dllPath;
    if (entry.needs == Needs::Nothing) return entry.run(args, setup);
    scanleaf::ComApartment com;
    if (FAILED(com.Result())) {
        Err(L"scanleaf-card: COM could not be initialised: " + DescribeHresult(com.Result()) + L"\n");
        return 1;
    }
    if (entry.needs == Needs::Com) return entry.run(args, setup);
    // The plug-in is released before COM is uninitialised.
    toolsupport::Plugin plugin;
    const HRESULT hr = plugin.Load(dllPath);
    if (FAILED(hr)) {
        Err(L"scanleaf-card: cannot load the plug-in: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    setup.plugin = &plugin;
    return entry.run(args, setup);
}

} // namespace

int Run(const std::wstring& command, const std::vector<std::wstring>& args, const std::wstring& dllPath) {
    const CommandEntry* entry = FindCommand(command);
    if (!entry) return UsageError(L"unknown command \"" + command + L"\"");
    Parsed parsed;
    std::wstring error;
    if (!ParseArguments(*entry, args, parsed, error)) return UsageError(error);
    const int rc = RunSetUp(*entry, parsed, dllPath);
    FlushOutput();
    return rc;
}

} // namespace card
