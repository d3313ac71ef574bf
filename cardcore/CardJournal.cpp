#include "cardcore/CardJournal.h"

#include <cstring>

#include <cstdlib>
#include <map>

namespace card::journal {

using scanleaf::core::Decimal;
using scanleaf::core::FromUtf8;

namespace {

std::string Utf8(const Text& text) { return scanleaf::core::ToUtf8(text); }

const char kHex[] = "0123456789abcdef";

std::string ToHex(const std::string& bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() != kHeaderBytes * 2) return false;
    bytes.assign(kHeaderBytes, '\0');
    for (size_t i = 0; i < kHeaderBytes; ++i) {
        int value = 0;
        for (size_t k = 0; k < 2; ++k) {
            char c = hex[2 * i + k];
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        bytes[i] = static_cast<char>(value);
    }
    return true;
}

bool ToNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

} // namespace

// Paths hold no tab or line end (Windows file names cannot), so they close each record as is.
std::string BeforeLine(const Entry& entry) {
    return "before\t" + std::to_string(entry.size) + "\t" + std::to_string(entry.modified) + "\t" +
           ToHex(entry.before) + "\t" + Utf8(entry.path) + "\n";
}

std::string AfterLine(const Text& path, const std::string& after) {
    return "after\t" + ToHex(after) + "\t" + Utf8(path) + "\n";
}

bool Parse(const std::string& text, std::vector<Entry>& entries, Text& error, bool* undone, bool* repair) {
    std::vector<Entry> out;
    bool undoneSeen = false;
    std::map<Text, size_t> byPath;
    const bool repaired = text.compare(0, std::strlen(kRepairFirstLine), kRepairFirstLine) == 0;
    const std::string first = repaired ? kRepairFirstLine : kFirstLine;
    if (text.compare(0, first.size(), first) != 0) {
        error = SL_T("line 1: not an import or repair journal of scanleaf-card");
        return false;
    }
    if (repair) *repair = repaired;
    size_t at = first.size();
    for (size_t line = 2; at < text.size(); ++line) {
        size_t end = text.find('\n', at);
        Text where = SL_T("line ") + Decimal(line) + SL_T(": ");
        if (end == std::string::npos) {
            error = where + SL_T("the journal is cut off (a record without its line end)");
            return false;
        }
        if (undoneSeen) {
            error = where + SL_T("a record after \"undone\"");
            return false;
        }
        std::vector<std::string> f = Fields(text.substr(at, end - at));
        at = end + 1;
        if (f.size() == 1 && f[0] == "undone") {
            undoneSeen = true;
            continue;
        }
        Entry entry;
        if (f[0] == "before" && f.size() == 5 && ToNumber(f[1], entry.size) && ToNumber(f[2], entry.modified) &&
            FromHex(f[3], entry.before) && !f[4].empty()) {
            entry.path = FromUtf8(f[4]);
            if (!byPath.emplace(entry.path, out.size()).second) {
                error = where + SL_T("a second \"before\" record of ") + entry.path;
                return false;
            }
            out.push_back(std::move(entry));
            continue;
        }
        std::string after;
        if (f[0] == "after" && f.size() == 3 && FromHex(f[1], after)) {
            auto found = byPath.find(FromUtf8(f[2]));
            Entry* target = found == byPath.end() ? nullptr : &out[found->second];
            if (!target || target->saved) {
                error = where + SL_T("an \"after\" record without its \"before\" record");
                return false;
            }
            target->saved = true;
            target->after = after;
            continue;
        }
        error = where + SL_T("a damaged record");
        return false;
    }
    if (out.empty()) {
        error = SL_T("the journal records no file");
        return false;
    }
    entries = std::move(out);
    if (undone) *undone = undoneSeen;
    return true;
}

} // namespace card::journal
