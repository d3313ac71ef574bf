// The navigator's tag list: one Tag per header record, with the sub-fields and the
// read-only flag that the settings file gives it, and the derived width/height/colordepth.
#pragma once

#include <list>
#include <string>
#include <vector>

namespace scanleaf {

struct SubTag {
    std::wstring name; // lower case
    int start = -1;    // 1-based, inclusive
    int end = -1;
};

struct Tag {
    std::wstring name;  // lower case; also the settings section
    std::wstring value;
    bool readOnly = false;
    bool inHeader = true; // false for derived tags
    int valueWidth = 0;   // characters of value that a rebuilt record holds
    std::list<SubTag> subTags;
};

class SettingsSource;

class TagFinder {
public:
    TagFinder(); // with the process's settings source
    virtual ~TagFinder() = default;

    // Where the next Reset and AddTag calls read their settings.
    void UseSettings(SettingsSource& settings) noexcept { settings_ = &settings; }

    // Opening a file.
    bool Reset(unsigned char fillByte);
    bool LocateSettings();
    bool AddTag(const std::wstring& name, const std::wstring& value);

    // Reading and writing variables.
    bool FindValue(const std::wstring& name, std::wstring& result) const;
    bool SetValue(const std::wstring& name, std::wstring text);
    // Every name FindValue answers, in list order (a tag, then its sub-fields), each once, and
    // whether SetValue takes a value for it.
    struct Variable {
        std::wstring name;
        bool writable = false;
    };
    std::vector<Variable> Variables() const;

    // Saving: lays the 2048-byte header image / one 128-byte record.
    void BuildHeader(unsigned char* header) const;
    void WriteRecord(const Tag& tag, unsigned char* slot) const;

    std::wstring settingsPath;
    std::list<Tag> tags;
    unsigned char fillByte = ' ';

private:
    SettingsSource* settings_;
};

} // namespace scanleaf
