#include "navigator/HeaderRecord.h"

#include "hostenv/ComError.h"
#include "hostenv/SystemText.h"

namespace scanleaf {

std::wstring DecodeSlot(const unsigned char* slot) {
    std::wstring text;
    if (!core::DecodeSlot(slot, ThreadAnsiCodePage(), text)) RaiseComError(LastErrorAsHresult());
    return text;
}

} // namespace scanleaf
