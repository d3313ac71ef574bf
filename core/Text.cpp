#include "core/Text.h"

namespace scanleaf::core {

Text Decimal(std::int64_t value) {
    Text digits;
    std::uint64_t magnitude = value < 0 ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
    do {
        digits.insert(digits.begin(), Unit('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) digits.insert(digits.begin(), Unit('-'));
    return digits;
}

Text Ascii(const std::string& text) { return Text(text.begin(), text.end()); }

Text MarkupEscaped(const Text& text) {
    Text out;
    for (Unit c : text) {
        switch (c) {
        case '&': out += SL_T("&amp;"); break;
        case '<': out += SL_T("&lt;"); break;
        case '>': out += SL_T("&gt;"); break;
        case '"': out += SL_T("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

bool IsBlank(Unit c) {
    const std::uint32_t u = std::uint32_t(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x20 || u == 0xA0 || u == 0x1680 || (u >= 0x2000 && u <= 0x200A) ||
           u == 0x2028 || u == 0x2029 || u == 0x202F || u == 0x205F || u == 0x3000;
}

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

void PutUnits(Text& out, std::uint32_t code) {
    if (code < 0x10000) {
        out += Unit(code);
    } else {
        code -= 0x10000;
        out += Unit(0xD800 + (code >> 10));
        out += Unit(0xDC00 + (code & 0x3FF));
    }
}

// The well-formed sequence at bytes[i], as its length and code point; 0 when ill-formed.
std::size_t Sequence(const std::string& bytes, std::size_t i, std::uint32_t& code) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || length > bytes.size() - i) return 0;
    code = length == 1 ? c : c & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    static const std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

} // namespace

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

std::string ToUtf8(const Text& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t u = std::uint32_t(text[i]);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (std::uint32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        AppendUtf8(out, u);
    }
    return out;
}

Text FromUtf8(const std::string& bytes) {
    Text out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t code = 0;
        const std::size_t length = Sequence(bytes, i, code);
        if (length) {
            PutUnits(out, code);
            i += length;
            continue;
        }
        // The lead byte and the continuation bytes after it: one replacement.
        out += Unit(kReplacement);
        ++i;
        while (i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80) ++i;
    }
    return out;
}

std::size_t FirstInvalidUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t code = 0;
        const std::size_t length = Sequence(bytes, i, code);
        if (!length) return i;
        i += length;
    }
    return std::string::npos;
}

} // namespace scanleaf::core
