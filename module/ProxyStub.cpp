// The proxy/stub part: thin C++ names over the entry points of the generated proxy code
// (module/ProxyStubData.c), which the platform's standard Ndr routines serve.
#include "module/ProxyStub.h"

#include "host/VorHost.h"

extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, void* reserved);
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT WINAPI PrxDllCanUnloadNow();
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
}

namespace scanleaf {

// The generated C code names these identifiers; taking their addresses here makes sure the
// definitions from host/VorHost.h are emitted into the DLL for it.
extern const IID* const g_proxyInterfaces[] = {&IID_ICalsPreview, &IID_ICalsFormat, &IID_ICalsFile};

BOOL ProxyStubDllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    return PrxDllMain(instance, reason, reserved);
}

HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    // The platform routine writes through the out-pointer before it looks at anything.
    if (!out) return E_POINTER;
    return PrxDllGetClassObject(clsid, iid, out);
}

HRESULT ProxyStubCanUnloadNow() { return PrxDllCanUnloadNow(); }
HRESULT ProxyStubRegister() { return PrxDllRegisterServer(); }
HRESULT ProxyStubUnregister() { return PrxDllUnregisterServer(); }

} // namespace scanleaf
