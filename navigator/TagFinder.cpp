// Building the tag list when a file is opened.
#include "navigator/TagFinder.h"

namespace scanleaf {

bool TagFinder::Reset(unsigned char) { return false; }
bool TagFinder::LocateSettings() { return false; }
bool TagFinder::AddTag(const std::wstring&, const std::wstring&) { return false; }

} // namespace scanleaf
