#include "core/cals/HeaderRecord.h"

namespace scanleaf::core {

namespace {

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1; // ASCII, or a stray continuation byte taken alone
}

} // namespace

bool DecodeSlot(const unsigned char* slot, const CodePage& codePage, Text& out) {
    std::size_t length = 0;
    while (length < kSlotSize && slot[length] != 0) ++length;
    out.clear();
    return length == 0 || codePage.Decode(reinterpret_cast<const char*>(slot), length, out);
}

Text TrimBlanks(const Text& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

Text TrimTrailingBlanks(Text text) {
    std::size_t last = text.size();
    while (last > 0 && IsBlank(text[last - 1])) --last;
    text.erase(last);
    return text;
}

bool SplitRecord(const Text& text, Text& name, Text& value) {
    std::size_t colon = text.find(Unit(':'));
    if (colon == Text::npos) return false;
    name = TrimBlanks(text.substr(0, colon));
    value = TrimBlanks(text.substr(colon + 1));
    return true;
}

std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, const CodePage& codePage) {
    if (length <= maxBytes) return length;
    const bool utf8 = codePage.IsUtf8();
    std::size_t pos = 0;
    while (pos < length) {
        const unsigned char b = static_cast<unsigned char>(bytes[pos]);
        std::size_t charLength = utf8 ? Utf8SequenceLength(b) : (codePage.IsLeadByte(b) ? 2 : 1);
        if (charLength > length - pos) charLength = length - pos;
        if (pos + charLength > maxBytes) break;
        pos += charLength;
    }
    return pos;
}

} // namespace scanleaf::core
