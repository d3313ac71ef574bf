#include "navigator/LowerCase.h"

#include "hostenv/SystemText.h"

namespace scanleaf {

std::wstring LowerCase(std::wstring text) { return SystemLowerCaser().Lower(std::move(text)); }

} // namespace scanleaf
