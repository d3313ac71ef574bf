// The settings file line by line, as a person wrote it: where each section and key stands, and
// the slips that the profile functions pass over without a word (a misspelled key, a section
// header without its "]", a line that is no key at all). The plug-in reads the file through
// the profile functions; this only finds what a person meant and the file does not say.
#pragma once

#include "core/Text.h"

#include <map>
#include <string>
#include <vector>

namespace scanleaf::core {

struct SettingsSlip {
    std::size_t line = 0; // counted from 1
    Text section;         // as written; empty before the first section
    bool error = false;   // changes what the plug-in reads (else: something it ignores)
    Text message;
};

struct SettingsLines {
    // Lower-case section name -> lower-case key -> the line of its first appearance.
    std::map<Text, std::map<Text, std::size_t>> keys;
    // Lower-case section name -> the line of its header.
    std::map<Text, std::size_t> sections;
    std::vector<SettingsSlip> slips;

    // The line of a key, or 0 when the file does not hold it.
    std::size_t LineOf(const Text& section, const Text& key) const;
    // The line of a section's header, or 0.
    std::size_t SectionLine(const Text& section) const;
};

// Lines end at LF (a CR before it is dropped). A line is blank, a comment (";" first), a
// section header "[name]", or a key "name=value"; blanks around each are ignored. The keys a
// section may hold: Tagnames, Tagpositions, Readonly, in any case.
SettingsLines ReadSettingsLines(const Text& text);

// 8-bit text that is UTF-8: valid throughout, with at least one sequence of two or more bytes,
// which a reader in a single-byte code page takes for other characters. The first such line
// (from 1) and its bytes; line 0 when the text is not UTF-8 of that kind (plain ASCII included).
struct Utf8Finding {
    std::size_t line = 0;
    std::string text; // the line's bytes, without its line end
};
Utf8Finding FindUtf8(const std::string& bytes);

} // namespace scanleaf::core
