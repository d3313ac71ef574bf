// Registration of the module's classes, type library and proxy/stub.
#pragma once

#include <windows.h>

namespace scanleaf {

HRESULT RegisterModule();
HRESULT UnregisterModule();

} // namespace scanleaf
