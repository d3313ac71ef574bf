// The extended-length form of a Windows path ("\\?\C:\dir\file", "\\?\UNC\server\share\file"),
// which the file functions take however long the path is. Pure: text in, text out.
#pragma once

#include "core/Text.h"

namespace scanleaf::core {

// Below this length every plain path works (a folder's limit is MAX_PATH less 12).
inline constexpr std::size_t kMaxPlainPath = 248;

// The extended form of an absolute path (a drive's or a share's) of kMaxPlainPath characters or
// more, with "/" made "\" and "." and ".." resolved as the plain form resolves them (that form
// takes neither); any other path, and one already in that form, comes back as it is.
Text ExtendedLengthPath(const Text& path);

} // namespace scanleaf::core
