#include "hostenv/Registry.h"

namespace scanleaf {

Registry::~Registry() { Close(); }

bool Registry::Close() {
    if (!key) return true;
    lastError = RegCloseKey(key);
    key = nullptr;
    return lastError == ERROR_SUCCESS;
}

} // namespace scanleaf
