// ScanleafCodec.dll: its entry point, the four exports of a COM server and the installer's two.
// A COM server of its own, apart from the plug-in, so that the plug-in's registration and
// behaviour stay as they are.
#include "codec/CalsDecoder.h"
#include "codec/CalsPreviewHandler.h"
#include "codec/CalsPropertyStore.h"
#include "codec/api/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "comframe/Module.h"
#include "hostenv/ComApartment.h"
#include "hostenv/ComError.h"

#include <propsys.h>

#include <string>

using namespace scanleaf;

namespace {

ClassEntry g_codecClasses[] = {
    {&CLSID_CalsWicDecoder, 0, &Creator<CCalsDecoder>::CreateInstance},
    {&CLSID_CalsPropertyHandler, 0, &Creator<CCalsPropertyStore>::CreateInstance},
    {&CLSID_CalsPreviewHandler, 0, &Creator<CCalsPreviewHandler>::CreateInstance},
};

HINSTANCE g_instance = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        SetPreviewInstance(instance);
        DisableThreadLibraryCalls(instance);
        TheModule().Init(g_codecClasses, sizeof g_codecClasses / sizeof g_codecClasses[0], instance, GUID_NULL);
    } else if (reason == DLL_PROCESS_DETACH) {
        // Unloaded while the process goes on (no handler is left, or it could not unload): the
        // preview pane's class would otherwise point into freed code.
        if (!reserved) UnregisterPaneClass(instance);
        TheModule().Term();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    return TheModule().GetClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return TheModule().LockCount() == 0 ? S_OK : S_FALSE; }

namespace {

// The schema of the handler's own properties, which lies beside the DLL.
std::wstring SchemaPath(const std::wstring& modulePath) {
    return modulePath.substr(0, modulePath.find_last_of(L"\\/") + 1) + L"ScanleafCodec.propdesc";
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(path, length);
}

// Wine answers E_NOTIMPL; a schema that was never registered is no reason to keep the rest.
void UnregisterSchema() {
    const std::wstring path = ModulePath();
    if (!path.empty()) PSUnregisterPropertySchema(SchemaPath(path).c_str());
}

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return ComBoundary([]() -> HRESULT {
        const std::wstring path = ModulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        HRESULT hr = RegisterCodec(path);
        // (Wine's property system keeps no schema: its registration succeeds and does nothing.)
        if (SUCCEEDED(hr)) hr = PSRegisterPropertySchema(SchemaPath(path).c_str());
        if (FAILED(hr)) UnregisterCodec(); // nothing half-registered
        return hr;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return ComBoundary([]() -> HRESULT {
        UnregisterSchema();
        return UnregisterCodec();
    });
}

// The installer's own steps for the schema (deferred actions of the installed DLL, so the
// schema beside it is the installed one): registered once the files are in place, removed
// before they go. The argument is the installer's handle, which neither needs; the installer's
// thread has no COM of its own, which the property system uses.
extern "C" UINT WINAPI RegisterPropertySchema(ULONG) {
    const ComApartment com;
    const std::wstring path = ModulePath();
    if (path.empty()) return ERROR_INSTALL_FAILURE;
    return SUCCEEDED(PSRegisterPropertySchema(SchemaPath(path).c_str())) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" UINT WINAPI UnregisterPropertySchema(ULONG) {
    const ComApartment com;
    UnregisterSchema();
    return ERROR_SUCCESS;
}
