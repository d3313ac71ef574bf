// The tag list of one opened header: one Tag per record, with the sub-fields and the read-only
// flag that its settings section gives it, and the derived width/height/colordepth; looking
// values up, storing them, and laying the header image back out.
#pragma once

#include "core/cals/HeaderRecord.h"
#include "core/cals/TagSettings.h"

#include <list>
#include <vector>

namespace scanleaf::core {

struct Tag {
    Text name;  // lower case; also the settings section
    Text value;
    bool readOnly = false;
    bool inHeader = true; // false for derived tags
    int valueWidth = 0;   // characters of value that a rebuilt record holds
    std::list<SubTag> subTags;
};

// What the settings file answers for one section: the three keys that a record reads.
struct SectionAnswers {
    int readonly = 0;
    Text names;
    Text positions;
};

class TagList {
public:
    // Names are lower-cased by `lower`; records are written in `ansi`.
    TagList(const LowerCaser& lower, const CodePage& ansi) : lower_(&lower), ansi_(&ansi) {}
    virtual ~TagList() = default;

    // Appends the record's tag (name already lower case) under its section's answers, and
    // after "rpelcnt" the derived tags. False, with nothing appended, when the section's
    // sub-fields are refused.
    bool AddRecord(const Text& name, const Text& value, SectionAnswers answers);

    bool FindValue(const Text& name, Text& result) const;
    // Stores text (empty text as "NONE") into the tag or sub-field of that name; false when
    // none takes it (unknown, read-only, derived, or a tag with sub-fields asked whole).
    bool SetValue(const Text& name, Text text);
    // Every name FindValue answers, in list order (a tag, then its sub-fields), each once, and
    // whether SetValue takes a value for it.
    struct Variable {
        Text name;
        bool writable = false;
    };
    std::vector<Variable> Variables() const;

    // Lays the 2048-byte header image: fill, then one record per header tag in slots 0..10.
    void BuildHeader(unsigned char* header) const;
    void WriteRecord(const Tag& tag, unsigned char* slot) const;

    Text Lower(const Text& text) const { return lower_->Lower(text); }

    std::list<Tag> tags;
    unsigned char fillByte = ' ';

private:
    const LowerCaser* lower_;
    const CodePage* ansi_;
};

} // namespace scanleaf::core
