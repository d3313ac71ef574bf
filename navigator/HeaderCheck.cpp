#include "navigator/HeaderCheck.h"

#include "navigator/HeaderRecord.h"
#include "navigator/LowerCase.h"

namespace scanleaf {

std::vector<std::wstring> RecordNames(const unsigned char* header) {
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < kParsedSlots; ++i) {
        std::wstring name, value;
        if (SplitRecord(DecodeSlot(header + i * kSlotSize), name, value)) names.push_back(LowerCase(name));
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
