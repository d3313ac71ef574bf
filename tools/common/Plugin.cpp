#include "tools/common/Plugin.h"

#include "hostenv/Bstr.h"

#include <cwctype>

namespace toolsupport {

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using RegistrationFn = HRESULT(STDAPICALLTYPE*)();

template <class Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HRESULT LastError() {
    DWORD e = GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

// The in-process server that this process's registry view names for the class.
std::wstring RegisteredServer(const CLSID& clsid) {
    wchar_t guid[40] = {};
    StringFromGUID2(clsid, guid, 40);
    std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return L"?";
    return path;
}

} // namespace

Plugin::~Plugin() {
    // The DLL stays until every object of it is released.
    format_.Reset();
    module_.Reset();
}

std::wstring Plugin::DefaultDllPath() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"Scanleaf.dll";
}

HRESULT Plugin::Load(const std::wstring& dllPath) {
    if (!dllPath.empty()) return LoadFromDll(dllPath);
    CLSID clsid{};
    if (SUCCEEDED(CLSIDFromProgID(L"Scanleaf.CalsFormat", &clsid))) {
        HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVorFileFormat, format_.PutVoid());
        if (SUCCEEDED(hr)) {
            source_ = L"Scanleaf.CalsFormat (registered: " + RegisteredServer(clsid) + L")";
            return hr;
        }
    }
    return LoadFromDll(DefaultDllPath());
}

HRESULT Plugin::LoadFromDll(const std::wstring& path) {
    module_.Reset(LoadLibraryW(path.c_str()));
    if (!module_) return LastError();
    auto getClassObject = Export<GetClassObjectFn>(module_.Get(), "DllGetClassObject");
    if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    scanleaf::ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_CalsFormat, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, IID_IVorFileFormat, format_.PutVoid());
    if (SUCCEEDED(hr)) source_ = path;
    return hr;
}

HRESULT Plugin::CallRegistration(const std::wstring& dllPath, bool registering) {
    std::wstring path = dllPath.empty() ? DefaultDllPath() : dllPath;
    const scanleaf::ModuleHandle module(LoadLibraryW(path.c_str()));
    if (!module) return LastError();
    auto fn = Export<RegistrationFn>(module.Get(), registering ? "DllRegisterServer" : "DllUnregisterServer");
    return fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

std::vector<std::wstring> CalsExtensions(IVorFileFormat* format) {
    scanleaf::Bstr product, description, extensionList;
    if (!format || FAILED(format->GetFormatInfo(product.Put(), description.Put(), extensionList.Put()))) return {};
    std::vector<std::wstring> extensions;
    std::wstring one;
    for (const wchar_t* c = extensionList.Text(); ; ++c) {
        if (!*c || *c == L',') {
            extensions.push_back(one);
            one.clear();
            if (!*c) break;
        } else {
            one += wchar_t(towlower(*c));
        }
    }
    return extensions;
}

} // namespace toolsupport
