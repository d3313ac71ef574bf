#include "navigator/HeaderCheck.h"

#include "navigator/HeaderRecord.h"
#include "navigator/LowerCase.h"

namespace scanleaf {

bool SameRecordNames(const unsigned char* header, const TagFinder& finder) {
    auto tag = finder.tags.begin();
    auto nextHeaderTag = [&] {
        while (tag != finder.tags.end() && !tag->inHeader) ++tag;
    };
    nextHeaderTag();
    for (std::size_t i = 0; i < kParsedSlots; ++i) {
        std::wstring name, value;
        if (!SplitRecord(DecodeSlot(header + i * kSlotSize), name, value)) continue;
        if (tag == finder.tags.end() || tag->name != LowerCase(name)) return false;
        ++tag;
        nextHeaderTag();
    }
    return tag == finder.tags.end();
}

} // namespace scanleaf
