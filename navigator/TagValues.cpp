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

namespace {

// The tag that SetValue stores `wanted` into, with the sub-field (null: the tag whole); null when
// it takes no value. The first tag that answers the name decides, read-only or not.
template <class Tags>
auto WritableTag(Tags& tags, const std::wstring& wanted, const SubTag*& field) -> decltype(&*tags.begin()) {
    for (auto& tag : tags) {
        if (!tag.subTags.empty()) {
            // Only the sub-fields are writable names of such a tag, never the tag whole.
            for (const SubTag& sub : tag.subTags) {
                if (sub.name == wanted) {
                    field = &sub;
                    return tag.readOnly ? nullptr : &tag;
                }
            }
        } else if (tag.name == wanted) {
            field = nullptr;
            return tag.readOnly ? nullptr : &tag;
        }
    }
    return nullptr;
}

} // namespace

std::vector<TagFinder::Variable> TagFinder::Variables() const {
    std::vector<Variable> variables;
    auto add = [this, &variables](const std::wstring& name) {
        for (const Variable& v : variables)
            if (v.name == name) return;
        const SubTag* field = nullptr;
        variables.push_back({name, WritableTag(tags, name, field) != nullptr});
    };
    for (const Tag& tag : tags) {
        add(tag.name);
        for (const SubTag& sub : tag.subTags) add(sub.name);
    }
    return variables;
}

bool TagFinder::SetValue(const std::wstring& name, std::wstring text) {
    if (text.empty()) text = L"NONE";
    const SubTag* field = nullptr;
    Tag* tag = WritableTag(tags, LowerCase(name), field);
    if (!tag) return false;
    tag->value = field ? SpliceSubField(tag->value, text, field->start, field->end) : std::move(text);
    return true;
}

} // namespace scanleaf
