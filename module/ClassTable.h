// The classes that the module serves, in registration order.
#pragma once

#include "comframe/Module.h"

namespace scanleaf {

inline constexpr size_t kClassCount = 3;
extern ClassEntry g_classTable[kClassCount];

} // namespace scanleaf
