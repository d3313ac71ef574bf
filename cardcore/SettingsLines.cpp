#include "cardcore/SettingsLines.h"

#include "core/cals/HeaderRecord.h"

namespace scanleaf::core {

namespace {

Text Lowered(Text text) {
    for (Unit& c : text) c = AsciiLower(c);
    return text;
}

const Unit* const kKnownKeys[] = {SL_T("tagnames"), SL_T("tagpositions"), SL_T("readonly")};

bool IsKnownKey(const Text& lower) {
    for (const Unit* known : kKnownKeys)
        if (lower == known) return true;
    return false;
}

Text Quoted(const Text& text) { return SL_T("\"") + text + SL_T("\""); }

} // namespace

std::size_t SettingsLines::LineOf(const Text& section, const Text& key) const {
    auto s = keys.find(Lowered(section));
    if (s == keys.end()) return 0;
    auto k = s->second.find(Lowered(key));
    return k == s->second.end() ? 0 : k->second;
}

std::size_t SettingsLines::SectionLine(const Text& section) const {
    auto s = sections.find(Lowered(section));
    return s == sections.end() ? 0 : s->second;
}

SettingsLines ReadSettingsLines(const Text& text) {
    SettingsLines out;
    Text section;        // as written
    bool inSection = false;
    bool afterBroken = false; // the last header was not closed: its keys go to the section before
    std::size_t start = 0;
    for (std::size_t number = 1; start <= text.size(); ++number) {
        std::size_t end = text.find(Unit('\n'), start);
        if (end == Text::npos) end = text.size();
        const Text line = TrimBlanks(text.substr(start, end - start));
        start = end + 1;
        auto slip = [&](bool error, const Text& message) {
            out.slips.push_back({number, inSection ? section : Text(), error, message});
        };
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(Unit(']'));
            if (close == Text::npos) {
                slip(true, SL_T("the section header ") + line +
                               SL_T(" has no \"]\": it is not read as a section, and its keys count for ") +
                               (inSection ? SL_T("[") + section + SL_T("]") : Text(SL_T("no section"))));
                afterBroken = true;
                continue;
            }
            section = line.substr(1, close - 1);
            inSection = true;
            afterBroken = false;
            out.sections.emplace(Lowered(section), number);
            out.keys[Lowered(section)];
            if (close + 1 != line.size())
                slip(false, SL_T("text after the section header's \"]\" is ignored: ") + Quoted(line.substr(close + 1)));
            continue;
        }
        const std::size_t equals = line.find(Unit('='));
        if (equals == Text::npos) {
            slip(false, SL_T("neither a section, a key nor a comment (comments begin with \";\"): ") + Quoted(line));
            continue;
        }
        const Text key = TrimBlanks(line.substr(0, equals));
        if (!inSection) {
            slip(false, SL_T("the key ") + Quoted(key) + SL_T(" stands before the first section and is ignored"));
            continue;
        }
        const Text lower = Lowered(key);
        if (!IsKnownKey(lower)) {
            slip(afterBroken, SL_T("unknown key ") + Quoted(key) +
                                  SL_T(" is ignored (a section knows Tagnames, Tagpositions and Readonly)"));
            continue;
        }
        auto first = out.keys[Lowered(section)].emplace(lower, number);
        if (!first.second)
            slip(false, SL_T("a second ") + key + SL_T(" in the section is ignored: the one in line ") +
                            Decimal(std::int64_t(first.first->second)) + SL_T(" counts"));
        else if (afterBroken)
            slip(true, key + SL_T(" counts for [") + section + SL_T("], under the unclosed header above it"));
    }
    return out;
}

Utf8Finding FindUtf8(const std::string& bytes) {
    Utf8Finding found;
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            ++line;
            lineStart = ++i;
            continue;
        }
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The sequence's length by its lead byte; overlong forms and surrogates are no UTF-8.
        const std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return Utf8Finding();
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return Utf8Finding();
        const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F))
            return Utf8Finding();
        if (found.line == 0) {
            found.line = line;
            const std::size_t end = bytes.find('\n', i);
            found.text = bytes.substr(lineStart, (end == std::string::npos ? bytes.size() : end) - lineStart);
            if (!found.text.empty() && found.text.back() == '\r') found.text.pop_back();
        }
        i += length;
    }
    return found;
}

} // namespace scanleaf::core
