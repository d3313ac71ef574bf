#include "core/pdf/PdfSyntax.h"

#include <cmath>
#include <cstdlib>
#include <unordered_set>

namespace scanleaf::core {

namespace {

constexpr int kMaxDepth = 100;

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

const PdfObject* PdfObject::Find(const std::string& key) const {
    for (const auto& [name, value] : entries)
        if (name == key) return &value;
    return nullptr;
}

bool PdfWhole(const PdfObject& object, std::int64_t low, std::int64_t high, std::int64_t& value) {
    if (!object.IsNumber() || !std::isfinite(object.number) || object.number != std::floor(object.number)) return false;
    if (object.number < double(low) || object.number > double(high)) return false;
    value = std::int64_t(object.number);
    return true;
}

std::int64_t PdfInt(const PdfObject& object, std::int64_t otherwise) {
    std::int64_t value = 0;
    return PdfWhole(object, -(std::int64_t(1) << 53), std::int64_t(1) << 53, value) ? value : otherwise;
}

std::string PdfWritten(const PdfObject& object) {
    if (object.IsNumber()) return object.text.empty() ? std::to_string(object.number) : object.text;
    switch (object.kind) {
    case PdfObject::Kind::Null: return "nothing";
    case PdfObject::Kind::Name: return "/" + object.text;
    case PdfObject::Kind::String: return "a string";
    case PdfObject::Kind::Array: return "an array";
    default: return "no number";
    }
}

Text PdfText(const std::string& bytes) {
    Text text;
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF;
    if (utf16) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += Unit(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
    } else {
        for (unsigned char c : bytes) text += Unit(c);
    }
    return text;
}

void PdfParser::SkipSpace() {
    while (at_ < size_) {
        if (IsSpace(data_[at_])) {
            ++at_;
        } else if (data_[at_] == '%') {
            while (at_ < size_ && data_[at_] != '\r' && data_[at_] != '\n') ++at_;
        } else {
            break;
        }
    }
}

std::string PdfParser::Regular() {
    SkipSpace();
    const std::size_t start = at_;
    while (at_ < size_ && !IsSpace(data_[at_]) && !IsDelimiter(data_[at_])) ++at_;
    return std::string(reinterpret_cast<const char*>(data_) + start, at_ - start);
}

bool PdfParser::Keyword(const char* word) {
    const std::size_t start = at_;
    if (Regular() == word) return true;
    at_ = start;
    return false;
}

bool PdfParser::Whole(std::uint64_t& value) {
    SkipSpace();
    std::size_t p = at_;
    value = 0;
    while (p < size_ && data_[p] >= '0' && data_[p] <= '9' && p - at_ < 19) value = value * 10 + (data_[p++] - '0');
    if (p == at_ || (p < size_ && !IsSpace(data_[p]) && !IsDelimiter(data_[p]))) return false;
    at_ = p;
    return true;
}

bool PdfParser::ObjectNext() {
    SkipSpace();
    if (at_ >= size_) return false;
    const std::uint8_t c = data_[at_];
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == '/' || c == '(' || c == '<' || c == '[') return true;
    const std::size_t start = at_;
    const std::string word = Regular();
    at_ = start;
    return word == "true" || word == "false" || word == "null";
}

bool PdfParser::Literal(std::string& out) {
    ++at_; // (
    int depth = 1;
    while (at_ < size_) {
        std::uint8_t c = data_[at_++];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return true;
        } else if (c == '\r') {
            // An end of line in a string is a line feed, however written.
            if (at_ < size_ && data_[at_] == '\n') ++at_;
            c = '\n';
        } else if (c == '\\') {
            if (at_ >= size_) return false;
            c = data_[at_++];
            switch (c) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case 'b': c = '\b'; break;
            case 'f': c = '\f'; break;
            case '\r':
                if (at_ < size_ && data_[at_] == '\n') ++at_;
                continue;
            case '\n': continue;
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0';
                    for (int i = 0; i < 2 && at_ < size_ && data_[at_] >= '0' && data_[at_] <= '7'; ++i)
                        value = value * 8 + (data_[at_++] - '0');
                    c = std::uint8_t(value);
                }
                break; // \( \) \\ and any other: the character itself
            }
        }
        out += char(c);
    }
    return false;
}

bool PdfParser::Hex(std::string& out) {
    ++at_; // <
    int high = -1;
    while (at_ < size_) {
        const std::uint8_t c = data_[at_++];
        if (c == '>') {
            if (high >= 0) out += char(high << 4);
            return true;
        }
        if (IsSpace(c)) continue;
        const int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            out += char((high << 4) | v);
            high = -1;
        }
    }
    return false;
}

bool PdfParser::NameText(std::string& out) {
    ++at_; // /
    while (at_ < size_ && !IsSpace(data_[at_]) && !IsDelimiter(data_[at_])) {
        const std::uint8_t c = data_[at_++];
        if (c == '#' && at_ + 1 < size_ && HexValue(data_[at_]) >= 0 && HexValue(data_[at_ + 1]) >= 0) {
            out += char(HexValue(data_[at_]) * 16 + HexValue(data_[at_ + 1]));
            at_ += 2;
        } else {
            out += char(c);
        }
    }
    return true;
}

bool PdfParser::Parse(PdfObject& out, int depth) {
    out = PdfObject();
    if (depth > kMaxDepth) return false;
    SkipSpace();
    if (at_ >= size_) return false;
    const std::uint8_t c = data_[at_];
    if (c == '/') {
        out.kind = PdfObject::Kind::Name;
        return NameText(out.text);
    }
    if (c == '(') {
        out.kind = PdfObject::Kind::String;
        return Literal(out.text);
    }
    if (c == '<' && at_ + 1 < size_ && data_[at_ + 1] == '<') {
        at_ += 2;
        out.kind = PdfObject::Kind::Dictionary;
        // Keys seen, once a dictionary is large enough for a search of its entries to cost.
        std::unordered_set<std::string> keys;
        for (;;) {
            SkipSpace();
            if (at_ + 1 < size_ && data_[at_] == '>' && data_[at_ + 1] == '>') {
                at_ += 2;
                return true;
            }
            if (at_ >= size_ || data_[at_] != '/') return false;
            std::string key;
            NameText(key);
            PdfObject value;
            if (!Parse(value, depth + 1)) return false;
            // A key given twice: the first stands, as readers take it.
            if (value.Is(PdfObject::Kind::Null)) continue;
            if (out.entries.size() < 16 ? out.Find(key) != nullptr : !keys.insert(key).second) continue;
            out.entries.emplace_back(std::move(key), std::move(value));
            if (out.entries.size() == 16)
                for (const auto& entry : out.entries) keys.insert(entry.first);
        }
    }
    if (c == '<') {
        out.kind = PdfObject::Kind::String;
        return Hex(out.text);
    }
    if (c == '[') {
        ++at_;
        out.kind = PdfObject::Kind::Array;
        for (;;) {
            SkipSpace();
            if (at_ < size_ && data_[at_] == ']') {
                ++at_;
                return true;
            }
            PdfObject item;
            if (!Parse(item, depth + 1)) return false;
            out.items.push_back(std::move(item));
        }
    }
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
        const std::size_t start = at_;
        const std::string word = Regular();
        // "N G R": a reference.
        std::uint64_t number = 0, generation = 0;
        if (word.find_first_not_of("0123456789") == std::string::npos) {
            const std::size_t after = at_;
            at_ = start;
            Whole(number);
            if (Whole(generation) && Keyword("R") && number <= 0xFFFFFFFFu && generation <= 65535) {
                out.kind = PdfObject::Kind::Reference;
                out.object = std::uint32_t(number);
                out.generation = std::uint32_t(generation);
                return true;
            }
            at_ = after;
        }
        char* end = nullptr;
        out.number = std::strtod(word.c_str(), &end);
        if (word.empty() || end != word.c_str() + word.size()) {
            // Readers take "--5" or "5-" as far as they can; anything else is no number.
            if (end == word.c_str()) return false;
        }
        out.kind = word.find('.') == std::string::npos ? PdfObject::Kind::Integer : PdfObject::Kind::Real;
        out.text = word;
        return true;
    }
    const std::string word = Regular();
    if (word == "true" || word == "false") {
        out.kind = PdfObject::Kind::Boolean;
        out.boolean = word == "true";
        return true;
    }
    return word == "null";
}

bool PdfParser::Indirect(std::uint32_t& number, std::uint32_t& generation, PdfObject& out) {
    std::uint64_t n = 0, g = 0;
    if (!Whole(n) || !Whole(g) || !Keyword("obj") || n > 0xFFFFFFFFu || g > 65535) return false;
    number = std::uint32_t(n);
    generation = std::uint32_t(g);
    if (!Object(out)) return false;
    const std::size_t after = at_;
    if (out.Is(PdfObject::Kind::Dictionary) && Keyword("stream")) {
        // The data starts after the keyword's end of line: CR LF or LF (a lone CR, wrongly, too).
        if (at_ < size_ && data_[at_] == '\r') ++at_;
        if (at_ < size_ && data_[at_] == '\n') ++at_;
        out.kind = PdfObject::Kind::Stream;
        out.streamStart = at_;
        return true;
    }
    at_ = after;
    return true;
}

} // namespace scanleaf::core
