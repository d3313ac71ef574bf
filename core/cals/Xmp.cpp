#include "core/cals/Xmp.h"
#include "core/Fnv.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace scanleaf::core {

namespace {

// Text as XML content in UTF-8: the markup characters as entities, and the control characters
// that XML 1.0 has no place for as U+FFFD.
std::string XmlText(Text text) {
    for (Unit& c : text)
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') c = Unit(0xFFFD);
    return ToUtf8(MarkupEscaped(text));
}

// A simple property's value as an attribute, XMP's shortest form: XML reads a tab or a line end
// in an attribute as a space, so they go as references.
std::string XmlAttribute(const Text& text) {
    std::string out;
    for (const char c : XmlText(text)) {
        if (c == '\t')
            out += "&#9;";
        else if (c == '\n')
            out += "&#10;";
        else if (c == '\r')
            out += "&#13;";
        else
            out += c;
    }
    return out;
}

bool NameStart(Unit c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool NameChar(Unit c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

const char* PartNumber(Pdfa pdfa) { return pdfa == Pdfa::Part1b ? "1" : "2"; }

} // namespace

std::string XmpPropertyName(const Text& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const Unit c = name[i];
        const bool plain = i == 0 ? NameStart(c) : NameChar(c);
        // "_x" itself is escaped, so that the name reads back without doubt.
        const bool startsEscape = c == '_' && i + 1 < name.size() && name[i + 1] == 'x';
        if (plain && !startsEscape) {
            out += char(c);
            continue;
        }
        char code[16];
        std::snprintf(code, sizeof code, "_x%04X_", unsigned(std::uint16_t(c)));
        out += code;
    }
    return out.empty() ? "_" : out;
}

bool VariableNameOf(const std::string& property, Text& name) {
    name.clear();
    for (std::size_t i = 0; i < property.size();) {
        unsigned code = 0;
        if (property.compare(i, 2, "_x") == 0 && i + 7 <= property.size() && property[i + 6] == '_' &&
            std::sscanf(property.substr(i + 2, 4).c_str(), "%4x", &code) == 1 &&
            std::strspn(property.substr(i + 2, 4).c_str(), "0123456789ABCDEF") == 4) {
            name += Unit(code);
            i += 7;
        } else {
            name += Unit(static_cast<unsigned char>(property[i++]));
        }
    }
    // Only a name that comes back as it was written is one.
    return !property.empty() && XmpPropertyName(name) == property;
}

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[v & 63] : '=';
    }
    return out;
}

// Base64 with white space between its characters; false for anything else.
bool FromBase64(const std::string& text, std::string& out) {
    out.clear();
    std::uint32_t v = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const char* at = c ? std::strchr(kBase64, c) : nullptr;
        if (!at || padding) return false;
        v = (v << 6) | std::uint32_t(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((v >> bits) & 0xFF);
        }
    }
    return padding <= 2;
}

} // namespace

std::string StandardHeader(const std::vector<Text>& records) {
    constexpr std::size_t kSlots = 2048 / 128;
    if (records.size() > kSlots) return std::string();
    std::string header(2048, ' ');
    for (std::size_t s = 0; s < records.size(); ++s) {
        const Text& record = records[s];
        if (record.size() > 128) return std::string();
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (record[i] < 0x20 || record[i] > 0x7E) return std::string();
            header[s * 128 + i] = char(record[i]);
        }
    }
    return header;
}

std::string HeaderSum(const std::string& bytes) {
    Fnv1a sum;
    for (const char c : bytes) sum.Add(static_cast<unsigned char>(c));
    std::uint64_t hash = sum.Value();
    static const char kHex[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) text[std::size_t(i)] = kHex[hash & 15];
    return text;
}

namespace {

std::string SchemaProperty(const std::string& name, const char* type, const char* description) {
    return "<rdf:li rdf:parseType=\"Resource\"><pdfaProperty:name>" + name + "</pdfaProperty:name><pdfaProperty:valueType>" +
           type + "</pdfaProperty:valueType><pdfaProperty:category>external</pdfaProperty:category><pdfaProperty:description>" +
           description + "</pdfaProperty:description></rdf:li>\n";
}

std::string Schema(const char* title, const char* uri, const char* prefix, const std::string& properties) {
    return "<rdf:li rdf:parseType=\"Resource\">\n<pdfaSchema:schema>" + std::string(title) +
           "</pdfaSchema:schema>\n<pdfaSchema:namespaceURI>" + uri + "</pdfaSchema:namespaceURI>\n<pdfaSchema:prefix>" +
           prefix + "</pdfaSchema:prefix>\n<pdfaSchema:property><rdf:Seq>\n" + properties + "</rdf:Seq></pdfaSchema:property>\n</rdf:li>";
}

// Schemas of the card's and the header's namespaces, for PDF/A: each property set outside the file.
std::string CardSchema(const std::vector<std::string>& described, bool header) {
    std::string schemas;
    if (!described.empty()) {
        std::string properties;
        for (const std::string& name : described)
            properties += SchemaProperty(name, "Text", "A record of the drawing's CALS header");
        schemas += Schema("Scanleaf drawing card", kCardNamespace, "card", properties);
    }
    if (header)
        schemas += Schema("Scanleaf CALS header", kHeaderNamespace, "cals",
                          SchemaProperty(kHeaderBytesProperty, "Text", "The header's 2048 bytes in base64") +
                              SchemaProperty(kHeaderSumProperty, "Text",
                                             "FNV-1a of the header's 2048 bytes, which are its records in the standard layout") +
                              SchemaProperty(kHeaderLinesProperty, "Text", "The header's records in slot order, one a line") +
                              SchemaProperty(kHeaderRecordsProperty, "seq Text", "The header's records in slot order"));
    return "<rdf:Description rdf:about=\"\" xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\" "
           "xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\" "
           "xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\">\n"
           "<pdfaExtension:schemas><rdf:Bag>" + schemas + "</rdf:Bag></pdfaExtension:schemas>\n</rdf:Description>\n";
}

} // namespace

std::string XmpPacket(const Text& title, const CardValues& card, const XmpPdfa& pdfa, bool padded,
                      const CarriedHeader& header) {
    std::string xml =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    if (pdfa.pdfa != Pdfa::None) {
        xml += "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
               "<pdfaid:part>" + std::string(PartNumber(pdfa.pdfa)) +
               "</pdfaid:part>\n<pdfaid:conformance>B</pdfaid:conformance>\n</rdf:Description>\n"
               "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
               "<pdf:Producer>" + XmlText(Ascii(pdfa.producer)) + "</pdf:Producer>\n</rdf:Description>\n";
        if (!pdfa.described.empty() || pdfa.header) xml += CardSchema(pdfa.described, pdfa.header);
    }
    // One description for the title, the card and the header: every page of a document carries
    // a packet, so what need be said only once is, and the simple values are its attributes.
    const bool carried = !header.bytes.empty();
    xml += "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:card=\"" +
           std::string(kCardNamespace) + (carried ? "\" xmlns:cals=\"" + std::string(kHeaderNamespace) : std::string()) + "\"";
    for (const auto& [name, value] : card) xml += "\n card:" + XmpPropertyName(name) + "=\"" + XmlAttribute(value) + "\"";
    // The shortest form that gives the bytes back exactly: most headers are their records.
    const bool standard = carried && StandardHeader(header.records) == header.bytes;
    if (carried)
        xml += "\n cals:" + std::string(standard ? kHeaderSumProperty : kHeaderBytesProperty) + "=\"" +
               (standard ? HeaderSum(header.bytes) : Base64(header.bytes)) + "\"";
    xml += ">\n";
    if (!title.empty())
        xml += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(title) +
               "</rdf:li></rdf:Alt></dc:title>\n";
    if (carried) {
        // One a line where that reads back; a line end in a record, or no record, needs the array.
        bool lines = !header.records.empty();
        for (const Text& record : header.records) lines = lines && record.find(Unit('\n')) == Text::npos;
        if (lines) {
            std::string text;
            for (const Text& record : header.records) {
                if (&record != &header.records.front()) text += '\n';
                for (const char c : XmlText(record)) text += c == '\r' ? std::string("&#13;") : std::string(1, c);
            }
            xml += "<cals:" + std::string(kHeaderLinesProperty) + ">" + text + "</cals:" + kHeaderLinesProperty + ">\n";
        } else {
            xml += "<cals:" + std::string(kHeaderRecordsProperty) + "><rdf:Seq>\n";
            for (const Text& record : header.records) xml += "<rdf:li>" + XmlText(record) + "</rdf:li>\n";
            xml += "</rdf:Seq></cals:" + std::string(kHeaderRecordsProperty) + ">\n";
        }
    }
    xml += "</rdf:Description>\n";
    xml += "</rdf:RDF>\n</x:xmpmeta>\n";
    // Room for an editor to grow the packet in place, as XMP asks.
    if (padded)
        for (int i = 0; i < 10; ++i) xml += std::string(99, ' ') + "\n";
    return xml + "<?xpacket end=\"w\"?>";
}

namespace {

bool XmlNameByte(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-' ||
           u == '.' || u >= 0x80;
}

bool Space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// XML character data with its references replaced; false for markup or a reference XML has not.
bool Unescaped(const std::string& raw, std::string& out) {
    static const std::pair<const char*, char> kEntities[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '<') return false;
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const std::size_t end = raw.find(';', i);
        if (end == std::string::npos || end - i > 10) return false;
        const std::string name = raw.substr(i + 1, end - i - 1);
        i = end;
        bool known = false;
        for (const auto& [entity, c] : kEntities)
            if (name == entity) out += c, known = true;
        if (known) continue;
        const bool hex = name.size() > 2 && name[0] == '#' && name[1] == 'x';
        const std::string digits = name.size() > 1 && name[0] == '#' ? name.substr(hex ? 2 : 1) : std::string();
        if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
            return false;
        const unsigned long code = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        AppendUtf8(out, std::uint32_t(code));
    }
    return true;
}

// After an attribute's name at `p`: its quoted value's first byte, with `end` at its closing
// quote; npos when no "= 'value'" follows (`end` npos too when its quote is never closed).
std::size_t AttributeValue(const std::string& packet, std::size_t p, std::size_t& end) {
    while (p < packet.size() && Space(packet[p])) ++p;
    if (p >= packet.size() || packet[p] != '=') return std::string::npos;
    ++p;
    while (p < packet.size() && Space(packet[p])) ++p;
    if (p >= packet.size() || (packet[p] != '"' && packet[p] != '\'')) return std::string::npos;
    end = packet.find(packet[p], p + 1);
    return end == std::string::npos ? end : p + 1;
}

// The prefix a packet binds to a namespace; empty for none.
std::string PrefixOf(const std::string& packet, const char* uri) {
    for (std::size_t at = packet.find("xmlns:"); at != std::string::npos; at = packet.find("xmlns:", at + 1)) {
        std::size_t p = at + 6;
        while (p < packet.size() && XmlNameByte(packet[p])) ++p;
        const std::string prefix = packet.substr(at + 6, p - at - 6);
        std::size_t end = 0;
        const std::size_t value = AttributeValue(packet, p, end);
        // A quote never closed: nothing after it is XML, and no later declaration is looked for.
        if (end == std::string::npos) break;
        if (value != std::string::npos && packet.compare(value, end - value, uri) == 0) return prefix;
    }
    return std::string();
}

} // namespace

CardValues XmpCard(const std::string& packet, std::string& problem) {
    problem.clear();
    CardValues card;
    const std::string prefix = PrefixOf(packet, kCardNamespace);
    if (prefix.empty()) return card;
    const std::string qualified = prefix + ":";
    std::set<std::string> seen;
    // One property's raw value, from an element's content or an attribute.
    auto take = [&](const std::string& property, const std::string& raw) {
        const std::string what = "the XMP property " + qualified + property;
        Text name;
        if (!VariableNameOf(property, name)) return problem = what + " names no variable", false;
        if (!seen.insert(property).second) return problem = what + " is given twice", false;
        std::string value;
        if (!Unescaped(raw, value)) return problem = what + " is no simple text value", false;
        if (FirstInvalidUtf8(value) != std::string::npos) return problem = what + " is no UTF-8 text", false;
        card.push_back({name, FromUtf8(value)});
        return true;
    };
    // Tag by tag: comments, processing instructions and end tags are passed over; a start tag's
    // attributes and, for the card's own elements, their content are read.
    for (std::size_t at = packet.find('<'); at != std::string::npos; at = packet.find('<', at + 1)) {
        if (packet.compare(at, 4, "<!--") == 0) {
            at = packet.find("-->", at);
            if (at == std::string::npos) break;
            continue;
        }
        if (at + 1 < packet.size() && (packet[at + 1] == '?' || packet[at + 1] == '/' || packet[at + 1] == '!')) continue;
        std::size_t p = at + 1;
        while (p < packet.size() && (XmlNameByte(packet[p]) || packet[p] == ':')) ++p;
        const std::string tag = packet.substr(at + 1, p - at - 1);
        // Its attributes, up to the tag's end.
        bool empty = false;
        for (;;) {
            while (p < packet.size() && Space(packet[p])) ++p;
            if (p >= packet.size()) return problem = "the XMP packet ends inside a tag", CardValues();
            if (packet[p] == '>' || packet.compare(p, 2, "/>") == 0) {
                empty = packet[p] == '/';
                p += empty ? 2 : 1;
                break;
            }
            const std::size_t nameAt = p;
            while (p < packet.size() && (XmlNameByte(packet[p]) || packet[p] == ':')) ++p;
            const std::string attribute = packet.substr(nameAt, p - nameAt);
            std::size_t end = 0;
            const std::size_t value = attribute.empty() ? std::string::npos : AttributeValue(packet, p, end);
            if (value == std::string::npos) return problem = "the XMP packet is no XML", CardValues();
            if (attribute.compare(0, qualified.size(), qualified) == 0 &&
                !take(attribute.substr(qualified.size()), packet.substr(value, end - value)))
                return CardValues();
            p = end + 1;
        }
        at = p - 1;
        if (tag.compare(0, qualified.size(), qualified) != 0) continue;
        const std::string property = tag.substr(qualified.size());
        std::string raw;
        if (!empty) {
            const std::size_t end = packet.find("</" + tag + ">", p);
            if (end == std::string::npos) return problem = "the XMP property " + tag + " is not closed", CardValues();
            raw = packet.substr(p, end - p);
            at = end;
        }
        if (!take(property, raw)) return CardValues();
    }
    return card;
}

Text XmpTitle(const std::string& packet) {
    const std::string prefix = PrefixOf(packet, "http://purl.org/dc/elements/1.1/");
    if (prefix.empty()) return Text();
    const std::size_t title = packet.find("<" + prefix + ":title>");
    const std::size_t end = title == std::string::npos ? title : packet.find("</" + prefix + ":title>", title);
    if (end == std::string::npos) return Text();
    const std::size_t li = packet.find(":li", title);
    const std::size_t open = li < end ? packet.find('>', li) : std::string::npos;
    const std::size_t close = open < end ? packet.find('<', open) : std::string::npos;
    std::string value;
    if (close > end || packet[open - 1] == '/' || !Unescaped(packet.substr(open + 1, close - open - 1), value) ||
        FirstInvalidUtf8(value) != std::string::npos)
        return Text();
    return FromUtf8(value);
}

CarriedHeader XmpHeader(const std::string& packet, std::string& problem) {
    problem.clear();
    CarriedHeader header;
    const std::string prefix = PrefixOf(packet, kHeaderNamespace);
    if (prefix.empty()) return header;
    // A simple property's raw value, from its element or its attribute; false when there is none.
    auto value = [&packet](const std::string& name, std::string& raw) {
        const std::size_t open = packet.find("<" + name + ">");
        if (open != std::string::npos) {
            const std::size_t end = packet.find("</" + name + ">", open);
            if (end == std::string::npos) return false;
            raw = packet.substr(open + name.size() + 2, end - open - name.size() - 2);
            return true;
        }
        for (std::size_t at = packet.find(name); at != std::string::npos; at = packet.find(name, at + 1)) {
            if (at == 0 || !Space(packet[at - 1])) continue;
            std::size_t end = 0;
            const std::size_t value = AttributeValue(packet, at + name.size(), end);
            if (end == std::string::npos) return false; // a quote never closed
            if (value == std::string::npos) continue;
            raw = packet.substr(value, end - value);
            return true;
        }
        return false;
    };
    const std::string qualified = prefix + ":";
    std::string bytes, sum, raw;
    if (value(qualified + kHeaderBytesProperty, raw)) {
        if (!FromBase64(raw, bytes) || bytes.size() != 2048)
            return problem = "its XMP header bytes are no base64 of 2048 bytes", header;
    } else {
        if (!value(qualified + kHeaderSumProperty, sum)) return header;
        if (sum.size() != 16 || sum.find_first_not_of("0123456789abcdef") != std::string::npos)
            return problem = "its XMP header sum is no sum of 2048 bytes", header;
    }
    if (value(qualified + kHeaderLinesProperty, raw)) {
        std::string lines;
        if (!Unescaped(raw, lines) || FirstInvalidUtf8(lines) != std::string::npos)
            return problem = "its XMP header lines hold no simple text", CarriedHeader();
        for (std::size_t at = 0;;) {
            const std::size_t end = lines.find('\n', at);
            header.records.push_back(FromUtf8(lines.substr(at, end == std::string::npos ? end : end - at)));
            if (end == std::string::npos) break;
            at = end + 1;
        }
    } else {
        // One element's content; npos when the packet has no such element.
        std::size_t end = 0;
        const std::string tag = qualified + kHeaderRecordsProperty;
        const std::size_t open = packet.find("<" + tag + ">");
        if (open == std::string::npos || (end = packet.find("</" + tag + ">", open)) == std::string::npos) return header;
        const std::size_t recordsAt = open + tag.size() + 2;
        const std::string records = packet.substr(recordsAt, end - recordsAt);
        // Each item of the array, whatever prefix the packet gives RDF.
        // Each item's '<' is looked for back to the item before only, so the walk is linear.
        std::size_t from = 0;
        for (std::size_t at = records.find(":li"); at != std::string::npos; from = at + 1, at = records.find(":li", at + 1)) {
            std::size_t liOpen = at;
            while (liOpen > from && records[liOpen] != '<') --liOpen;
            if (records[liOpen] != '<' || records[liOpen + 1] == '/') continue;
            const std::string li = records.substr(liOpen + 1, at + 3 - liOpen - 1);
            const std::size_t close = records.find('>', at);
            if (close == std::string::npos) return problem = "its XMP header records are no XML", CarriedHeader();
            if (records[close - 1] == '/') {
                header.records.push_back(Text());
                continue;
            }
            const std::size_t stop = records.find("</" + li + ">", close);
            std::string text;
            if (stop == std::string::npos || !Unescaped(records.substr(close + 1, stop - close - 1), text) ||
                FirstInvalidUtf8(text) != std::string::npos)
                return problem = "its XMP header records hold no simple text", CarriedHeader();
            header.records.push_back(FromUtf8(text));
            at = stop;
        }
    }
    if (sum.empty()) {
        header.bytes = bytes;
    } else {
        // Carried by their sum: the records make the bytes, unless they were edited since.
        const std::string made = StandardHeader(header.records);
        if (!made.empty() && HeaderSum(made) == sum)
            header.bytes = made;
        else
            header.edited = true;
    }
    return header;
}

} // namespace scanleaf::core
