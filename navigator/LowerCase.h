// The one lower-casing of names: tag and sub-field names when the list is built, and the
// requested names of lookups, so that both sides agree on every character.
#pragma once

#include <string>

namespace scanleaf {

std::wstring LowerCase(std::wstring text);

} // namespace scanleaf
