#include "navigator/RecordBytes.h"

namespace scanleaf {

namespace {

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1; // ASCII, or a stray continuation byte taken alone
}

} // namespace

std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, UINT codePage) {
    if (length <= maxBytes) return length;
    if (codePage == CP_ACP) codePage = GetACP();
    const bool utf8 = codePage == CP_UTF8;
    std::size_t pos = 0;
    while (pos < length) {
        const unsigned char b = static_cast<unsigned char>(bytes[pos]);
        std::size_t charLength = utf8 ? Utf8SequenceLength(b) : (IsDBCSLeadByteEx(codePage, b) ? 2 : 1);
        if (charLength > length - pos) charLength = length - pos;
        if (pos + charLength > maxBytes) break;
        pos += charLength;
    }
    return pos;
}

} // namespace scanleaf
