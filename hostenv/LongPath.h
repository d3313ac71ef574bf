// Paths as the file functions take them however long they are.
#pragma once

#include <string>

namespace scanleaf {

// A path of kMaxPlainPath characters or more, made absolute (from the current folder) and put
// in the extended-length form; any shorter path as it is, so that messages and the host see the
// paths they gave.
std::wstring FileSystemPath(const std::wstring& path);

} // namespace scanleaf
