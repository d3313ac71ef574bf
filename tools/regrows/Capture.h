// Runs a module's own DllRegisterServer with the classes root redirected to a scratch key,
// and reads back the tree it wrote. Nothing reaches the machine's real classes root.
#pragma once

#include "tools/regrows/RegistryRows.h"

#include <string>
#include <vector>

namespace regrows {

// `modulePath` receives the path the module was loaded from, as its registration sees it.
// Failure: the HRESULT of the load, the redirection or the registration, with `error` set.
HRESULT CaptureRegistration(const std::wstring& dllPath, std::vector<Key>& tree, std::wstring& modulePath,
                            std::wstring& error);

} // namespace regrows
