// register, unregister: the DLL's registration with COM, as regsvr32 makes it.
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/Registry.h"
#include "tools/card/batch/Console.h"
#include "tools/common/Plugin.h"

#include <objbase.h>

namespace card {

using toolsupport::Plugin;

namespace {

// Whether the format class has a server in this process's view of the registry.
bool FormatRegistered() {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_CalsFormat, clsid, 40);
    scanleaf::Registry key;
    return key.Open(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32").c_str(), KEY_READ, false);
}

int Registration(bool registering, const std::wstring& dllPath) {
    const bool wasRegistered = registering || FormatRegistered();
    HRESULT hr = Plugin::CallRegistration(dllPath, registering);
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
    Out(what + L"ed " + (dllPath.empty() ? Plugin::DefaultDllPath() : dllPath) + L"\n");
    return 0;
}

} // namespace

int Register(const NoOptions&, const Setup& setup) { return Registration(true, setup.dllPath); }
int Unregister(const NoOptions&, const Setup& setup) { return Registration(false, setup.dllPath); }

} // namespace card
