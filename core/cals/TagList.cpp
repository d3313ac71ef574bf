#include "core/cals/TagList.h"

#include "core/cals/SubField.h"

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

namespace {

// The tag that SetValue stores `wanted` into, with the sub-field (null: the tag whole); null when
// it takes no value. The first tag that answers the name decides, read-only or not.
template <class Tags>
auto WritableTag(Tags& tags, const Text& wanted, const SubTag*& field) -> decltype(&*tags.begin()) {
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

bool TagList::AddRecord(const Text& name, const Text& value, SectionAnswers answers) {
    Tag tag;
    tag.name = name;
    tag.value = value;
    tag.readOnly = answers.readonly == 1;
    const Text names = TerminateList(std::move(answers.names));
    const Text positions = TerminateList(std::move(answers.positions));

    const int nameLength = static_cast<int>(tag.name.size());
    if (!ReadSubTags(names, positions, nameLength, *lower_, tag.subTags, tag.valueWidth)) return false;
    if (tag.subTags.empty()) tag.valueWidth = kRecordTextWidth - nameLength;

    tags.push_back(tag);

    if (tag.name == SL_T("rpelcnt") && tag.value.find(Unit(',')) != Text::npos) {
        Text width;
        Text height;
        ReadPixelCounts(tag.value, width, height);
        tag.readOnly = true;
        tag.inHeader = false;
        tag.subTags.clear();
        tag.name = SL_T("width");
        tag.value = width;
        tags.push_back(tag);
        tag.name = SL_T("height");
        tag.value = height;
        tags.push_back(tag);
        tag.name = SL_T("colordepth");
        tag.value = SL_T("1");
        tags.push_back(tag);
    }
    return true;
}

bool TagList::FindValue(const Text& name, Text& result) const {
    const Text wanted = Lower(name);
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

std::vector<TagList::Variable> TagList::Variables() const {
    std::vector<Variable> variables;
    auto add = [this, &variables](const Text& name) {
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

bool TagList::SetValue(const Text& name, Text text) {
    if (text.empty()) text = SL_T("NONE");
    const SubTag* field = nullptr;
    Tag* tag = WritableTag(tags, Lower(name), field);
    if (!tag) return false;
    tag->value = field ? SpliceSubField(tag->value, text, field->start, field->end) : std::move(text);
    return true;
}

void TagList::BuildHeader(unsigned char* header) const {
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

void TagList::WriteRecord(const Tag& tag, unsigned char* slot) const {
    Text text = tag.name + SL_T(": ");
    if (tag.valueWidth > 0) text.append(tag.value, 0, static_cast<std::size_t>(tag.valueWidth));
    // The text ends at a NUL, as a C string handed to the code page's conversion does.
    text.erase(std::min(text.find(Unit(0)), text.size()));
    const std::string bytes = ansi_->Encode(text);
    // Widths count characters; a long name or characters of two bytes can still make the
    // text longer than the slot, so it is cut at the last whole character that fits.
    const std::size_t length = std::min(bytes.find('\0'), bytes.size());
    const std::size_t used = CharBoundaryCut(bytes.data(), length, kSlotSize, *ansi_);
    if (used) std::memcpy(slot, bytes.data(), used);
    std::memset(slot + used, fillByte, kSlotSize - used);
}

} // namespace scanleaf::core
