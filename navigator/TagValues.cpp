// Looking up and storing values in the tag list.
#include "navigator/TagFinder.h"

#include "navigator/LowerCase.h"
#include "navigator/SubField.h"

namespace scanleaf {

bool TagFinder::FindValue(const std::wstring& name, std::wstring& result) const {
    const std::wstring wanted = LowerCase(name);
    for (const Tag& tag : tags) {
        // Sub-fields first: a tag with sub-fields can still be read whole under its own name.
        for (const SubTag& sub : tag.subTags) {
            if (sub.name == wanted) {
                result = CutSubField(tag.value, sub.start, sub.end);
                return true;
            }
        }
        if (tag.name == wanted) {
            result = tag.value;
            return true;
        }
    }
    return false;
}

bool TagFinder::SetValue(const std::wstring& name, std::wstring text) {
    if (text.empty()) text = L"NONE";
    const std::wstring wanted = LowerCase(name);
    for (Tag& tag : tags) {
        if (!tag.subTags.empty()) {
            // Only the sub-fields are writable names of such a tag, never the tag whole.
            for (const SubTag& sub : tag.subTags) {
                if (sub.name == wanted) {
                    if (tag.readOnly) return false;
                    tag.value = SpliceSubField(tag.value, text, sub.start, sub.end);
                    return true;
                }
            }
        } else if (tag.name == wanted) {
            if (tag.readOnly) return false;
            tag.value = std::move(text);
            return true;
        }
    }
    return false;
}

} // namespace scanleaf
