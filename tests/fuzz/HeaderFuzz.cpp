// A header as an open, a data card and a save see it: the first 2048 bytes of the input are the
// header (a seed file's own header fuzzes well), the rest chooses the code page, each section's
// settings and the values written. What a save must always keep:
//  - only the parsed area (1408 bytes) is written, every slot within its 128 bytes;
//  - no double-byte character is split at a slot's end;
//  - every listed variable reads, and is stored exactly where the list says it is writable;
//  - a record written in full reads back as the same name and value.
// And what the header says of its picture stays within the picture's bounds.
#include "core/cals/CalsImage.h"
#include "core/cals/TagList.h"
#include "core/native/StandIns.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>
#include <map>

using namespace scanleaf::core;
using fuzzsupport::DrawText;
using fuzzsupport::DrawWord;

namespace {

const Text kAlphabet = SL_T("abcnorst-;:0123456789 ,");

SectionAnswers DrawAnswers(FuzzedDataProvider& in, const std::vector<Text>& names) {
    SectionAnswers answers;
    answers.readonly = in.ConsumeIntegralInRange<int>(-1, 2);
    const int fields = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < fields; ++i) {
        answers.names += DrawWord(in, names, kAlphabet) + SL_T(";");
        const int start = in.ConsumeIntegralInRange<int>(-3, 130);
        answers.positions += Decimal(start) + SL_T("-") + Decimal(start + in.ConsumeIntegralInRange<int>(-2, 20)) + SL_T(";");
    }
    if (in.ConsumeIntegralInRange<int>(0, 9) == 0) answers.positions = DrawText(in, 24, kAlphabet);
    return answers;
}

// Walks the bytes as the code page reads them: true when `used` ends on a character boundary.
bool OnBoundary(const unsigned char* bytes, std::size_t used, const CodePage& page) {
    std::size_t at = 0;
    while (at < used) at += page.IsLeadByte(bytes[at]) ? 2 : 1;
    return at == used;
}

bool Printable(const Text& text) {
    for (Unit c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

// Without a whole header in the input, one is laid from drawn records, each in its slot.
std::vector<unsigned char> DrawHeader(FuzzedDataProvider& in) {
    std::vector<unsigned char> file(kHeaderSize, in.ConsumeBool() ? ' ' : in.ConsumeIntegral<std::uint8_t>());
    const std::size_t records = in.ConsumeIntegralInRange<std::size_t>(0, kParsedSlots);
    for (std::size_t slot = 0; slot < records; ++slot) {
        const std::string name = in.ConsumeRandomLengthString(12), value = in.ConsumeRandomLengthString(120);
        const std::string record = (name + ":" + value).substr(0, kSlotSize);
        std::copy(record.begin(), record.end(), file.begin() + std::ptrdiff_t(slot * kSlotSize));
    }
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool whole = size >= kHeaderSize;
    FuzzedDataProvider in(data + (whole ? kHeaderSize : 0), size - (whole ? kHeaderSize : 0));
    std::vector<unsigned char> file = whole ? std::vector<unsigned char>(data, data + kHeaderSize) : DrawHeader(in);
    static const int kPages[] = {1252, 1251, 932};
    const CodePage& page = StandInCodePage(kPages[in.ConsumeIntegralInRange<int>(0, 2)]);
    const LowerCaser& lower = StandInLowerCaser();

    const CalsImageInfo picture = ReadImageInfo(file.data());
    // A header taken for CALS holds the two records that every reading of it starts from.
    if (ClassifyHeader(file.data()) == HeaderKind::Cals) {
        int records = 0;
        for (std::size_t slot = 0; slot < kHeaderSize / kSlotSize; ++slot) {
            const unsigned char* bytes = file.data() + slot * kSlotSize;
            for (std::size_t i = 0; i < kSlotSize && bytes[i]; ++i)
                FUZZ_CHECK(bytes[i] >= 0x20 ? bytes[i] != 0x7F : (bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'));
            records += std::memchr(bytes, ':', kSlotSize) != nullptr;
        }
        FUZZ_CHECK(records >= 2);
    }
    FUZZ_CHECK(!picture.orientationKnown || (picture.pelPath % 90 == 0 && picture.pelPath >= 0 && picture.pelPath < 360 &&
                                             (picture.lineProgression == 90 || picture.lineProgression == 270)));
    if (picture.sizeKnown) {
        FUZZ_CHECK(picture.width > 0 && picture.height > 0);
        const Orientation shown(picture.pelPath, picture.lineProgression, picture.width, picture.height);
        std::uint32_t x = 0, y = 0;
        shown.Place(picture.width - 1, picture.height - 1, x, y);
        FUZZ_CHECK(x < shown.ShownWidth() && y < shown.ShownHeight());
    }

    // The open: the records of the parsed slots, each under its section's settings.
    TagList list(lower, page);
    list.fillByte = file[kFillByteOffset];
    std::vector<Text> names;
    std::map<Text, SectionAnswers> sections;
    for (std::size_t slot = 0; slot < kParsedSlots; ++slot) {
        Text text, name, value;
        FUZZ_CHECK(DecodeSlot(&file[slot * kSlotSize], page, text));
        if (!SplitRecord(text, name, value)) continue;
        name = lower.Lower(name);
        names.push_back(name);
        if (!sections.count(name)) sections[name] = DrawAnswers(in, names);
        const std::size_t before = list.tags.size();
        if (!list.AddRecord(name, value, sections[name])) {
            FUZZ_CHECK(list.tags.size() == before); // a refused record adds nothing
            return 0;                                // and fails the open
        }
    }
    for (const Tag& tag : list.tags) {
        // A name of more than 126 characters (a slot of double-byte text) leaves no room for a value.
        FUZZ_CHECK(tag.valueWidth <= kRecordTextWidth);
        if (tag.inHeader && tag.subTags.empty()) FUZZ_CHECK(tag.valueWidth == kRecordTextWidth - int(tag.name.size()));
        for (const SubTag& sub : tag.subTags) FUZZ_CHECK(sub.start <= sub.end && sub.end <= kRecordTextWidth - int(tag.name.size()));
    }

    // The card: every variable reads; writes land where the list says.
    const std::vector<TagList::Variable> variables = list.Variables();
    Text value;
    for (const TagList::Variable& v : variables) FUZZ_CHECK(list.FindValue(v.name, value));
    const int writes = in.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < writes && !variables.empty(); ++i) {
        const TagList::Variable& v = variables[in.ConsumeIntegralInRange<std::size_t>(0, variables.size() - 1)];
        const Text text = DrawText(in, 140, kAlphabet);
        FUZZ_CHECK(list.SetValue(v.name, text) == v.writable);
    }

    // The save: the rebuilt image's first 1408 bytes over the file, nothing after them.
    std::vector<unsigned char> image(kHeaderSize);
    list.BuildHeader(image.data());
    std::vector<unsigned char> saved = file;
    std::memcpy(saved.data(), image.data(), kParsedBytes);
    FUZZ_CHECK(std::memcmp(saved.data() + kParsedBytes, file.data() + kParsedBytes, kHeaderSize - kParsedBytes) == 0);
    std::size_t slot = 0;
    for (const Tag& tag : list.tags) {
        if (!tag.inHeader) continue;
        if (slot == kParsedSlots) break;
        const unsigned char* bytes = &image[slot * kSlotSize];
        Text record = tag.name + SL_T(": ") + tag.value.substr(0, std::size_t(std::max(tag.valueWidth, 0)));
        record.erase(std::min(record.find(Unit(0)), record.size()));
        const std::string encoded = page.Encode(record);
        const std::size_t length = std::min(encoded.find('\0'), encoded.size());
        const std::size_t used = CharBoundaryCut(encoded.data(), length, kSlotSize, page);
        FUZZ_CHECK(used <= kSlotSize && std::memcmp(bytes, encoded.data(), used) == 0);
        FUZZ_CHECK(OnBoundary(bytes, used, page));
        for (std::size_t i = used; i < kSlotSize; ++i) FUZZ_CHECK(bytes[i] == list.fillByte);
        // Read back: a record stored whole, in a fill that ends it, gives its name and value.
        Text decoded, name, back;
        if (used == length && page.Decode(encoded.data(), length, decoded) && decoded == record && Printable(record) &&
            (list.fillByte == ' ' || list.fillByte == 0)) {
            Text slotText;
            FUZZ_CHECK(DecodeSlot(bytes, page, slotText));
            FUZZ_CHECK(SplitRecord(slotText, name, back));
            FUZZ_CHECK(lower.Lower(name) == tag.name);
            FUZZ_CHECK(back == TrimBlanks(record.substr(tag.name.size() + 2)));
        }
        ++slot;
    }
    return 0;
}
