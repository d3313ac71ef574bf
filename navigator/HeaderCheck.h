// Whether a file's header still is the one the tag list was read from.
#pragma once

#include "navigator/TagFinder.h"

namespace scanleaf {

// True when the parsed area (slots 0..10 of header) holds records with the names of the
// list's header tags, in the same order. Throws ComError when a slot can't be decoded.
bool SameRecordNames(const unsigned char* header, const TagFinder& finder);

} // namespace scanleaf
