#include "hostenv/LongPath.h"

#include "core/LongPath.h"

#include <windows.h>

namespace scanleaf {

std::wstring FileSystemPath(const std::wstring& path) {
    if (path.size() < core::kMaxPlainPath) return path;
    std::wstring full = core::ExtendedLengthPath(path);
    if (full != path || full.compare(0, 4, L"\\\\?\\") == 0) return full;
    // Relative: resolved from the current folder first.
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    full.assign(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return core::ExtendedLengthPath(full);
}

} // namespace scanleaf
