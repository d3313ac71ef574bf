// Placeholder until the generated proxy/stub code is linked in.
#include "module/ProxyStub.h"

namespace scanleaf {

BOOL ProxyStubDllMain(HINSTANCE, DWORD, void*) { return TRUE; }
HRESULT ProxyStubGetClassObject(REFCLSID, REFIID, void** out) {
    if (out) *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
HRESULT ProxyStubCanUnloadNow() { return S_OK; }
HRESULT ProxyStubRegister() { return S_OK; }
HRESULT ProxyStubUnregister() { return S_OK; }

} // namespace scanleaf
