// The plug-in as the host loads it: by its program identifier, or straight from a DLL.
#pragma once

#include "host/VorHost.h"
#include "hostenv/ComPtr.h"
#include "hostenv/Unique.h"

#include <string>
#include <vector>

namespace toolsupport {

class Plugin {
public:
    Plugin() = default;
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // dllPath empty: the registered class "Scanleaf.CalsFormat", else Scanleaf.dll beside this program.
    HRESULT Load(const std::wstring& dllPath);
    // Where the format object came from, for messages.
    const std::wstring& Source() const { return source_; }

    IVorFileFormat* Format() const { return format_.Get(); }

    // DllRegisterServer / DllUnregisterServer of the DLL (given, or beside this program).
    static HRESULT CallRegistration(const std::wstring& dllPath, bool registering);
    static std::wstring DefaultDllPath();

private:
    HRESULT LoadFromDll(const std::wstring& path);

    scanleaf::ModuleHandle module_;
    scanleaf::ComPtr<IVorFileFormat> format_;
    std::wstring source_;
};

// The extensions that the format names (lower case, without the dot); none when it says none.
std::vector<std::wstring> CalsExtensions(IVorFileFormat* format);

} // namespace toolsupport
