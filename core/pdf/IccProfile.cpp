#include "core/pdf/IccProfile.h"

#include <cstdint>
#include <vector>

namespace scanleaf::core {

namespace {

void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}
void Put16(std::string& out, std::uint16_t v) {
    out += char(v >> 8);
    out += char(v & 0xFF);
}
void PutSignature(std::string& out, const char (&sig)[5]) { out.append(sig, 4); }

// D50 in s15Fixed16: the white of ICC's connection space.
void PutD50(std::string& out) {
    Put32(out, 0x0000F6D6);
    Put32(out, 0x00010000);
    Put32(out, 0x0000D32D);
}

std::string TextDescription(const std::string& text) {
    std::string tag;
    PutSignature(tag, "desc");
    Put32(tag, 0);
    Put32(tag, std::uint32_t(text.size() + 1));
    tag += text;
    tag += '\0';
    Put32(tag, 0); // no Unicode description
    Put32(tag, 0);
    Put16(tag, 0); // no ScriptCode description
    tag += '\0';
    tag.append(67, '\0');
    return tag;
}

std::string PlainText(const std::string& text) {
    std::string tag;
    PutSignature(tag, "text");
    Put32(tag, 0);
    return tag + text + '\0';
}

std::string WhitePoint() {
    std::string tag;
    PutSignature(tag, "XYZ ");
    Put32(tag, 0);
    PutD50(tag);
    return tag;
}

std::string GreyCurve() {
    std::string tag;
    PutSignature(tag, "curv");
    Put32(tag, 0);
    Put32(tag, 1);
    Put16(tag, 0x0233); // gamma 2.2 in u8Fixed8 (2 + 51/256)
    return tag;
}

std::string Make() {
    struct Tag {
        const char* signature;
        std::string data;
    };
    const std::vector<Tag> tags = {{"desc", TextDescription(kGreyProfileName)},
                                   {"cprt", PlainText("No copyright, use freely")},
                                   {"wtpt", WhitePoint()},
                                   {"kTRC", GreyCurve()}};
    const std::uint32_t tableEnd = 128 + 4 + 12 * std::uint32_t(tags.size());
    std::string table, data;
    Put32(table, std::uint32_t(tags.size()));
    for (const Tag& t : tags) {
        while (data.size() % 4) data += '\0'; // each tag starts on a four-byte boundary
        table.append(t.signature, 4);
        Put32(table, tableEnd + std::uint32_t(data.size()));
        Put32(table, std::uint32_t(t.data.size()));
        data += t.data;
    }
    while (data.size() % 4) data += '\0';
    std::string header;
    Put32(header, tableEnd + std::uint32_t(data.size()));
    Put32(header, 0);          // no preferred colour management module
    Put32(header, 0x02100000); // version 2.1
    PutSignature(header, "mntr");
    PutSignature(header, "GRAY");
    PutSignature(header, "XYZ ");
    for (std::uint16_t part : {2026, 1, 1, 0, 0, 0}) Put16(header, part); // when it was made
    PutSignature(header, "acsp");
    header.append(4 + 4 + 4 + 4 + 8, '\0'); // platform, flags, maker, model, attributes
    Put32(header, 0);                          // perceptual
    PutD50(header);
    header.append(4 + 44, '\0'); // creator; reserved
    return header + table + data;
}

} // namespace

const std::string& GreyIccProfile() {
    static const std::string profile = Make();
    return profile;
}

} // namespace scanleaf::core
