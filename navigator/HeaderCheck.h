// Whether a file's header still is the one the tag list was read from.
#pragma once

#include "navigator/TagFinder.h"

#include <string>
#include <vector>

namespace scanleaf {

// The names of the records in the parsed area (slots 0..10) of a header image, lower
// case, in slot order, as the open reads them. Throws ComError when a slot can't be decoded.
std::vector<std::wstring> RecordNames(const unsigned char* header);

// True when the parsed area of header holds records with the names of the list's header
// tags, in the same order.
bool SameRecordNames(const unsigned char* header, const TagFinder& finder);

} // namespace scanleaf
