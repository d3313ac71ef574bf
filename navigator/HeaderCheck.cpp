#include "navigator/HeaderCheck.h"

#include "navigator/HeaderRecord.h"
#include "hostenv/SystemText.h"

namespace scanleaf {

std::vector<std::wstring> RecordNames(const unsigned char* header) {
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < core::kParsedSlots; ++i) {
        std::wstring name, value;
        if (core::SplitRecord(DecodeSlot(header + i * core::kSlotSize), name, value)) names.push_back(SystemLowerCaser().Lower(name));
    }
    return names;
}

bool SameRecordNames(const unsigned char* header, const TagFinder& finder) {
    std::vector<std::wstring> expected;
    for (const Tag& tag : finder.tags)
        if (tag.inHeader) expected.push_back(tag.name);
    return RecordNames(header) == expected;
}

} // namespace scanleaf
