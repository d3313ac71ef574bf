// ScanleafCodec.dll: its entry point and its four exports. A COM server of its own, apart from
// the plug-in, so that the plug-in's registration and behaviour stay as they are.
#include "codec/CalsDecoder.h"
#include "codec/CalsPropertyStore.h"
#include "codec/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "comframe/Module.h"

using namespace scanleaf;

namespace {

ClassEntry g_codecClasses[] = {
    {&CLSID_CalsWicDecoder, 0, &Creator<CCalsDecoder>::CreateInstance},
    {&CLSID_CalsPropertyHandler, 0, &Creator<CCalsPropertyStore>::CreateInstance},
};

HINSTANCE g_instance = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
        TheModule().Init(g_codecClasses, sizeof g_codecClasses / sizeof g_codecClasses[0], instance, GUID_NULL);
    } else if (reason == DLL_PROCESS_DETACH) {
        TheModule().Term();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    return TheModule().GetClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return TheModule().LockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    const HRESULT hr = RegisterCodec(path);
    if (FAILED(hr)) UnregisterCodec(); // nothing half-registered
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterCodec(); }
