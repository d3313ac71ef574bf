#include "module/Registration.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/ComPtr.h"
#include "comframe/Module.h"
#include "module/ProxyStub.h"
#include "comframe/ScriptRegistrar.h"

#include <oleauto.h>

#include <new>
#include <string>

namespace scanleaf {

namespace {

// The module's full path as the loader reports it; 260 characters or more do not fit.
HRESULT ModulePath(HINSTANCE instance, std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(instance, buffer, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
}

HRESULT RunClassScript(HINSTANCE instance, UINT id, regscript::Mode mode, const std::wstring& modulePath) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), L"REGISTRY");
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    regscript::Script script;
    regscript::ParseError error;
    if (!regscript::Parse(regscript::DecodeScript(data, SizeofResource(instance, found)), {{L"MODULE", modulePath}},
                          script, error))
        return E_UNEXPECTED; // the embedded script itself is broken
    return regscript::Run(script, mode, HKEY_CLASSES_ROOT);
}

HRESULT RunClassScripts(regscript::Mode mode, const std::wstring& modulePath) {
    Module& module = TheModule();
    for (size_t i = 0; i < module.ClassCount(); ++i) {
        HRESULT hr = RunClassScript(module.InstanceHandle(), module.Classes()[i].registryScript, mode, modulePath);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

using TypeLibRef = ComPtr<ITypeLib>;

// From the module's own "TYPELIB" resource, failing that from the .tlb beside it.
HRESULT LoadModuleTypeLib(const std::wstring& modulePath, TypeLibRef& lib, std::wstring& loadedFrom) {
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, lib.Put());
    if (SUCCEEDED(hr)) {
        loadedFrom = modulePath;
        return hr;
    }
    std::wstring tlb = modulePath;
    size_t slash = tlb.find_last_of(L"\\/");
    size_t dot = tlb.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) tlb.erase(dot);
    tlb += L".tlb";
    hr = LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, lib.Put());
    if (SUCCEEDED(hr)) loadedFrom = tlb;
    return hr;
}

HRESULT RegisterModuleTypeLib(const std::wstring& modulePath) {
    TypeLibRef lib;
    std::wstring path;
    HRESULT hr = LoadModuleTypeLib(modulePath, lib, path);
    if (FAILED(hr)) return hr;
    // The help directory is the folder of the library's help file, if it names one.
    Bstr helpFile;
    std::wstring helpDir;
    if (SUCCEEDED(lib->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.Put())) && helpFile.Get()) {
        std::wstring file(helpFile.Get(), helpFile.Length());
        size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos) helpDir = file.substr(0, slash);
    }
    return RegisterTypeLib(lib.Get(), const_cast<wchar_t*>(path.c_str()),
                           helpDir.empty() ? nullptr : const_cast<wchar_t*>(helpDir.c_str()));
}

HRESULT UnregisterModuleTypeLib(const std::wstring& modulePath) {
    TypeLibRef lib;
    std::wstring path;
    HRESULT hr = LoadModuleTypeLib(modulePath, lib, path);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    TLIBATTR copy = *attr;
    lib->ReleaseTLibAttr(attr);
    return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

} // namespace

HRESULT RegisterModule() {
    return ComBoundary([&]() -> HRESULT {
        // The path is checked before anything is written: the proxy/stub registration
        // would otherwise record a cut-off path before the scripts refuse it.
        std::wstring modulePath;
        HRESULT hr = ModulePath(TheModule().InstanceHandle(), modulePath);
        if (FAILED(hr)) return hr;
        hr = ProxyStubRegister();
        if (FAILED(hr)) return hr;
        hr = RunClassScripts(regscript::Mode::Register, modulePath);
        if (FAILED(hr)) return hr;
        return RegisterModuleTypeLib(modulePath);
    });
}

HRESULT UnregisterModule() {
    return ComBoundary([&]() -> HRESULT {
        ProxyStubUnregister(); // its result does not count
        std::wstring modulePath;
        HRESULT hr = ModulePath(TheModule().InstanceHandle(), modulePath);
        if (FAILED(hr)) return hr;
        hr = RunClassScripts(regscript::Mode::Unregister, modulePath);
        if (FAILED(hr)) return hr;
        return UnregisterModuleTypeLib(modulePath);
    });
}

} // namespace scanleaf
