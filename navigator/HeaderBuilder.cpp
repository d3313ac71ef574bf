// Laying the header image from the tag list.
#include "navigator/TagFinder.h"

#include "hostenv/ComError.h"
#include "navigator/HeaderRecord.h"
#include "navigator/RecordBytes.h"

#include <cstring>
#include <memory>

namespace scanleaf {

void TagFinder::BuildHeader(unsigned char* header) const {
    std::memset(header, fillByte, kHeaderSize);
    std::size_t slot = 0;
    for (const Tag& tag : tags) {
        if (!tag.inHeader) continue;
        // Header tags come from the parsed slots, one each; a longer list must still not
        // reach past them.
        if (slot == kParsedSlots) break;
        WriteRecord(tag, header + slot * kSlotSize);
        ++slot;
    }
}

void TagFinder::WriteRecord(const Tag& tag, unsigned char* slot) const {
    std::wstring text = tag.name + L": ";
    if (tag.valueWidth > 0) text.append(tag.value, 0, static_cast<std::size_t>(tag.valueWidth));
    std::unique_ptr<char[]> bytes(WideToAnsi(text.c_str()));
    // Widths count characters; a long name or characters of two bytes can still make the
    // text longer than the slot, so it is cut at the last whole character that fits.
    const std::size_t length = bytes ? std::strlen(bytes.get()) : 0;
    const std::size_t used = CharBoundaryCut(bytes.get(), length, kSlotSize, CP_ACP);
    if (used) std::memcpy(slot, bytes.get(), used);
    std::memset(slot + used, fillByte, kSlotSize - used);
}

} // namespace scanleaf
