#include "navigator/RecordBytes.h"

#include "core/HeaderRecord.h"
#include "hostenv/SystemText.h"

namespace scanleaf {

std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, UINT codePage) {
    return core::CharBoundaryCut(bytes, length, maxBytes, WindowsCodePage(codePage));
}

} // namespace scanleaf
