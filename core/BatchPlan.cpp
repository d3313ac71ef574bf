#include "core/BatchPlan.h"

#include <set>

namespace scanleaf::core {

namespace {

Text Unified(const Text& path, const LowerCaser& lower) {
    Text text = lower.Lower(path);
    for (Unit& c : text)
        if (c == '/') c = '\\';
    return text;
}

// One line's field: UTF-8, with "%", tab, CR and LF (which no Windows path holds, but an option's
// value may) as %XX, so a record is one line a field whatever it holds.
std::string Field(const Text& text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == '%' || u == '\t' || u == '\r' || u == '\n') {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

Text PageName(const Text& stem, std::uint32_t page, std::uint32_t pages, const Text& extension) {
    if (pages == 1) return stem + extension;
    Text number = Decimal(page + 1);
    while (number.size() < 3) number.insert(number.begin(), Unit('0'));
    return stem + SL_T("-p") + number + extension;
}

} // namespace

Text BaseName(const Text& path) {
    const std::size_t slash = path.find_last_of(SL_T("\\/"));
    Text name = slash == Text::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(Unit('.'));
    return dot == Text::npos ? name : name.substr(0, dot);
}

std::uint64_t ShardHash(const Text& relative, const LowerCaser& lower) {
    ContentHash hash;
    for (Unit c : Unified(relative, lower)) {
        const unsigned char pair[2] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)};
        hash.Add(pair, 2);
    }
    return hash.Value();
}

bool Shard::Takes(const Text& relative, const LowerCaser& lower) const {
    return count <= 1 || ShardHash(relative, lower) % count == index - 1;
}

bool ParseShard(const Text& text, Shard& shard) {
    const std::size_t slash = text.find(Unit('/'));
    if (slash == Text::npos || slash == 0 || slash + 1 >= text.size()) return false;
    auto number = [](const Text& digits, std::uint32_t& value) {
        if (digits.empty() || digits.size() > 6) return false;
        value = 0;
        for (Unit c : digits) {
            if (!IsDigit(c)) return false;
            value = value * 10 + std::uint32_t(c - '0');
        }
        return true;
    };
    Shard parsed;
    if (!number(text.substr(0, slash), parsed.index) || !number(text.substr(slash + 1), parsed.count)) return false;
    if (parsed.count < 1 || parsed.count > 100000 || parsed.index < 1 || parsed.index > parsed.count) return false;
    shard = parsed;
    return true;
}

std::vector<std::vector<Text>> PlanOutputNames(const std::vector<PlannedSource>& sources, const OutputNaming& naming,
                                               const LowerCaser& lower) {
    std::set<Text> taken;
    for (const PlannedSource& s : sources) taken.insert(Unified(s.path, lower));
    std::vector<std::vector<Text>> names;
    names.reserve(sources.size());
    for (const PlannedSource& s : sources) {
        const Text base = naming.folder.empty() ? naming.single : naming.folder + SL_T("\\") + BaseName(s.path);
        std::vector<Text> mine;
        for (std::uint64_t n = 1;; ++n) {
            const Text stem = n == 1 ? base : base + SL_T(" (") + Decimal(std::int64_t(n)) + SL_T(")");
            mine.clear();
            bool free = true;
            for (std::uint32_t p = 0; p < s.outputs && free; ++p) {
                mine.push_back(PageName(stem, p, s.outputs, naming.extension));
                free = !taken.count(Unified(mine.back(), lower));
            }
            // A name given twice within one source (a page numbered as another's) counts too.
            std::set<Text> own;
            for (const Text& m : mine) free = free && own.insert(Unified(m, lower)).second;
            if (free) break;
        }
        for (const Text& m : mine) taken.insert(Unified(m, lower));
        names.push_back(std::move(mine));
    }
    return names;
}

void InputRecord::Option(const Text& name, const Text& value) {
    bytes_ += "option\t" + Field(name) + "\t" + Field(value) + "\n";
}

void InputRecord::Source(const Text& path, std::uint64_t size, std::uint64_t hash) {
    static const char hex[] = "0123456789abcdef";
    std::string digits(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) digits[std::size_t(i)] = hex[hash & 15];
    bytes_ += "source\t" + Field(path) + "\t" + std::to_string(size) + "\t" + digits + "\n";
}

void ContentHash::Add(const void* bytes, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        value_ ^= p[i];
        value_ *= 1099511628211ull;
    }
}

} // namespace scanleaf::core
