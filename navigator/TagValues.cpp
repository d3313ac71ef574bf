// Looking up and storing values in the tag list.
#include "navigator/TagFinder.h"

namespace scanleaf {

bool TagFinder::FindValue(const std::wstring&, std::wstring&) const { return false; }
bool TagFinder::SetValue(const std::wstring&, std::wstring) { return false; }

} // namespace scanleaf
