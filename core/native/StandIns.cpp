#include "core/native/StandIns.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace scanleaf::core {

namespace {

#include "core/native/CodePageTables.inc"

constexpr std::uint16_t kUndefined = 0xFFFF;
constexpr Unit kDefaultWide = 0x30FB; // what Windows gives for a pair 932 does not map

const std::uint16_t* SingleTable(int id) { return id == 1251 ? kSingle1251 : id == 932 ? kSingle932 : kSingle1252; }

// The character of a pair, or kUndefined.
std::uint16_t Pair(unsigned char lead, unsigned char trail) {
    const unsigned char* end = kLeads932 + sizeof kLeads932;
    const unsigned char* at = std::lower_bound(kLeads932, end, lead);
    if (at == end || *at != lead || trail < 0x40) return kUndefined;
    return kPairs932[std::size_t(at - kLeads932) * 192 + (trail - 0x40)];
}

// Character to bytes, built once per code page from the decoding tables.
const std::unordered_map<std::uint32_t, std::string>& Encoder(int id) {
    static const auto build = [](int page) {
        std::unordered_map<std::uint32_t, std::string> map;
        const std::uint16_t* single = SingleTable(page);
        for (int b = 0; b < 256; ++b) {
            if (page == 932 && std::binary_search(kLeads932, kLeads932 + sizeof kLeads932, b)) continue;
            const std::uint32_t c = single[b] == kUndefined ? std::uint32_t(b) : single[b]; // as Decode reads it
            if (!map.count(c)) map[c] = std::string(1, char(b));
        }
        if (page == 932) {
            // A character with two codes takes the first, except that the IBM extensions
            // (leads 0xFA to 0xFC) win over their NEC-selected copies (0xED, 0xEE).
            for (std::size_t l = 0; l < sizeof kLeads932; ++l)
                for (int t = 0x40; t < 0x100; ++t) {
                    const std::uint16_t c = kPairs932[l * 192 + std::size_t(t - 0x40)];
                    if (c == kUndefined) continue;
                    auto found = map.find(c);
                    const bool necCopy = found != map.end() && found->second.size() == 2 &&
                                         (found->second[0] == char(0xED) || found->second[0] == char(0xEE));
                    if (found == map.end() || (necCopy && kLeads932[l] >= 0xFA))
                        map[c] = std::string{char(kLeads932[l]), char(t)};
                }
        }
        return map;
    };
    static const auto m1252 = build(1252), m1251 = build(1251), m932 = build(932);
    return id == 1251 ? m1251 : id == 932 ? m932 : m1252;
}

} // namespace

bool TableCodePage::Decode(const char* bytes, std::size_t length, Text& out) const {
    out.clear();
    const std::uint16_t* single = SingleTable(id_);
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (id_ == 932 && IsLeadByte(b)) {
            if (i + 1 >= length) {
                out += kDefaultWide;
                break;
            }
            const unsigned char trail = static_cast<unsigned char>(bytes[++i]);
            const std::uint16_t c = Pair(b, trail);
            out += c == kUndefined ? kDefaultWide : Unit(c);
            if (trail == 0) out += Unit(0); // a NUL stays a character of its own
            continue;
        }
        out += single[b] == kUndefined ? Unit(b) : Unit(single[b]);
    }
    return true;
}

std::string TableCodePage::Encode(const Text& text) const {
    const auto& map = Encoder(id_);
    std::string out;
    for (Unit c : text) {
        auto found = map.find(std::uint32_t(c));
        out += found == map.end() ? std::string("?") : found->second;
    }
    return out;
}

bool TableCodePage::IsLeadByte(unsigned char byte) const {
    return id_ == 932 && std::binary_search(kLeads932, kLeads932 + sizeof kLeads932, byte);
}

Text TableLowerCaser::Lower(Text text) const {
    static const std::unordered_map<std::uint16_t, std::uint16_t> map = [] {
        std::unordered_map<std::uint16_t, std::uint16_t> m;
        for (std::size_t i = 0; i + 1 < sizeof kLower / sizeof kLower[0]; i += 2) m[kLower[i]] = kLower[i + 1];
        return m;
    }();
    for (Unit& c : text) {
        auto found = map.find(std::uint16_t(c));
        if (found != map.end()) c = Unit(found->second);
    }
    return text;
}

const TableCodePage& StandInCodePage(int id) {
    static const TableCodePage p1252(1252), p1251(1251), p932(932);
    return id == 1251 ? p1251 : id == 932 ? p932 : p1252;
}

const TableLowerCaser& StandInLowerCaser() {
    static const TableLowerCaser lower;
    return lower;
}

} // namespace scanleaf::core
