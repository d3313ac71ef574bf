// The DLL's entry point and its four exports.
#include "comframe/Module.h"
#include "module/ProxyStub.h"
#include "module/Registration.h"
#include "module/ScanleafApp.h"

using namespace scanleaf;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // The proxy/stub part learns its module handle here; registration needs it.
        if (!ProxyStubDllMain(instance, reason, reserved)) return FALSE;
        return TheApp().ProcessAttach(instance);
    case DLL_PROCESS_DETACH:
        TheApp().ProcessDetach();
        ProxyStubDllMain(instance, reason, reserved);
        return TRUE;
    default:
        return ProxyStubDllMain(instance, reason, reserved);
    }
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    // Tested first: the platform's proxy/stub routine does not guard against a null out-pointer.
    if (!out) return E_POINTER;
    if (ProxyStubGetClassObject(clsid, iid, out) == S_OK) return S_OK;
    return TheModule().GetClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    if (ProxyStubCanUnloadNow() != S_OK) return S_FALSE;
    return (DllApp::CanUnloadNow() == S_OK && TheModule().LockCount() == 0) ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterModule(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterModule(); }
