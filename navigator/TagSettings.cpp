#include "navigator/TagSettings.h"

#include "hostenv/SystemText.h"

namespace scanleaf {

bool ReadSubTags(const std::wstring& names, const std::wstring& positions, int nameLength,
                 std::list<SubTag>& subTags, int& valueWidth) {
    return core::ReadSubTags(names, positions, nameLength, SystemLowerCaser(), subTags, valueWidth);
}

} // namespace scanleaf
