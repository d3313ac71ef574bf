#include "module/Registration.h"

namespace scanleaf {

HRESULT RegisterModule() { return E_NOTIMPL; }
HRESULT UnregisterModule() { return E_NOTIMPL; }

} // namespace scanleaf
