// The proxy/stub part for the module's own interfaces.
#pragma once

#include <windows.h>

namespace scanleaf {

// Records the module handle; must run on process attach and detach.
BOOL ProxyStubDllMain(HINSTANCE instance, DWORD reason, void* reserved);
// Answers only the proxy/stub factory's class identifier.
HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out);
// S_OK when no proxy or stub is alive.
HRESULT ProxyStubCanUnloadNow();
HRESULT ProxyStubRegister();
HRESULT ProxyStubUnregister();

} // namespace scanleaf
