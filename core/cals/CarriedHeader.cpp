#include "core/cals/CarriedHeader.h"

#include "core/cals/CalsImage.h"
#include "core/cals/HeaderRecord.h"

#include <set>

namespace scanleaf::core {

namespace {

// Pels per inch where a header gives no rdensty: the standard's default.
constexpr std::uint32_t kDefaultDensity = 200;

bool SamePicture(const PagePicture& a, const PagePicture& b) {
    return a.width == b.width && a.height == b.height && a.dpi == b.dpi && a.pelPath == b.pelPath &&
           a.lineProgression == b.lineProgression;
}

Text NameOf(const Text& record) {
    Text name, value;
    if (!SplitRecord(record, name, value)) return Text();
    for (Unit& c : name) c = AsciiLower(c);
    return name;
}

} // namespace

CarriedHeader CarryHeader(const unsigned char* header, const CodePage& codePage) {
    CarriedHeader carried;
    carried.bytes.assign(reinterpret_cast<const char*>(header), kHeaderSize);
    for (std::size_t s = 0; s < kHeaderSize / kSlotSize; ++s) {
        const unsigned char* slot = header + s * kSlotSize;
        Text text;
        if (!DecodeSlot(slot, codePage, text)) {
            text.clear();
            for (std::size_t i = 0; i < kSlotSize && slot[i] != 0; ++i) text += Unit(slot[i]);
        }
        text = TrimTrailingBlanks(text);
        if (!TrimBlanks(text).empty()) carried.records.push_back(text);
    }
    return carried;
}

PagePicture HeaderPicture(const unsigned char* header) {
    const CalsImageInfo info = ReadImageInfo(header);
    PagePicture picture;
    picture.width = info.width;
    picture.height = info.height;
    picture.dpi = info.density ? info.density : kDefaultDensity;
    if (info.orientationKnown) {
        picture.pelPath = info.pelPath;
        picture.lineProgression = info.lineProgression;
    }
    return picture;
}

namespace {

// The picture's own records into `header`, each in the slot of its name or the first blank one,
// the other slots' bytes untouched.
bool PlacePictureRecords(std::string& header, const PagePicture& picture, const CodePage& codePage, std::string& problem) {
    constexpr std::size_t kSlots = kHeaderSize / kSlotSize;
    std::vector<Text> names(kSlots), texts(kSlots);
    for (std::size_t s = 0; s < kSlots; ++s) {
        DecodeSlot(reinterpret_cast<const unsigned char*>(header.data()) + s * kSlotSize, codePage, texts[s]);
        names[s] = NameOf(texts[s]);
    }
    for (const auto& [name, record] :
         PictureRecords(picture.width, picture.height, picture.dpi, picture.pelPath, picture.lineProgression)) {
        std::size_t at = kSlots;
        for (std::size_t s = 0; s < kSlots && at == kSlots; ++s)
            if (names[s] == Ascii(name)) at = s;
        for (std::size_t s = 0; s < kSlots && at == kSlots; ++s)
            if (TrimBlanks(texts[s]).empty()) at = s;
        if (at == kSlots) {
            problem = std::string("no slot is free for its ") + name + " record";
            return false;
        }
        header.replace(at * kSlotSize, kSlotSize, record + std::string(kSlotSize - record.size(), ' '));
        names[at] = Ascii(name);
        texts[at] = Ascii(record);
    }
    return true;
}

// "rtype: 1" and one record of each name, as the tool writes a header: a record named again
// is blanked, another rtype made 1 (or one added in the first blank slot). Each mend said.
bool MendRecords(std::string& header, const CodePage& codePage, std::vector<std::string>& mended, std::string& problem) {
    constexpr std::size_t kSlots = kHeaderSize / kSlotSize;
    std::set<Text> seen;
    std::size_t rtype = kSlots, blank = kSlots;
    for (std::size_t s = 0; s < kSlots; ++s) {
        Text text;
        if (!DecodeSlot(reinterpret_cast<const unsigned char*>(header.data()) + s * kSlotSize, codePage, text)) continue;
        if (TrimBlanks(text).empty()) {
            if (blank == kSlots) blank = s;
            continue;
        }
        const Text name = NameOf(text);
        if (name.empty()) continue;
        if (!seen.insert(name).second) {
            header.replace(s * kSlotSize, kSlotSize, std::string(kSlotSize, ' '));
            mended.push_back("a second " + ToUtf8(name) + " record (" + ToUtf8(TrimBlanks(text)) + ") dropped");
            if (blank == kSlots || blank > s) blank = s;
            continue;
        }
        if (name == SL_T("rtype")) rtype = s;
    }
    if (ReadImageInfo(reinterpret_cast<const unsigned char*>(header.data())).type1) return true;
    const std::string record = "rtype: 1";
    if (rtype < kSlots) {
        Text text;
        DecodeSlot(reinterpret_cast<const unsigned char*>(header.data()) + rtype * kSlotSize, codePage, text);
        mended.push_back(ToUtf8(TrimBlanks(text)) + " made " + record);
    } else if (blank < kSlots) {
        rtype = blank;
        mended.push_back("no rtype: " + record + " added");
    } else {
        problem = "no slot is free for its rtype record";
        return false;
    }
    header.replace(rtype * kSlotSize, kSlotSize, record + std::string(kSlotSize - record.size(), ' '));
    return true;
}

// The header made as `how` says it comes home, mended, the picture's records placed.
bool HomeRecords(const CarriedHeader& carried, const PagePicture& picture, const CodePage& codePage, std::string& header,
                 HeaderHome& how, std::string& problem, std::vector<std::string>& mended) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(carried.bytes.data());
    const bool edited = carried.edited || CarryHeader(bytes, codePage).records != carried.records;
    how = edited ? HeaderHome::RecordsEdited
                 : SamePicture(HeaderPicture(bytes), picture) ? HeaderHome::AsItWas : HeaderHome::PictureChanged;
    header = carried.bytes;
    if (how == HeaderHome::AsItWas) return MendRecords(header, codePage, mended, problem);
    if (edited) {
        constexpr std::size_t kSlots = kHeaderSize / kSlotSize;
        if (carried.records.size() > kSlots) {
            problem = "its XMP names " + std::to_string(carried.records.size()) + " header records, more than a header's " +
                      std::to_string(kSlots) + " slots";
            return false;
        }
        header.assign(kHeaderSize, ' ');
        for (std::size_t s = 0; s < carried.records.size(); ++s) {
            const std::string text = codePage.Encode(carried.records[s]);
            Text back;
            if (!codePage.Decode(text.data(), text.size(), back) || back != carried.records[s])
                mended.push_back("its header record " + std::to_string(s + 1) + " (" + ToUtf8(carried.records[s]) +
                                 ") holds characters this machine's code page cannot: written as " + ToUtf8(back));
            if (text.size() > kSlotSize) {
                problem = "its header record " + std::to_string(s + 1) + " is longer than a slot's " +
                          std::to_string(kSlotSize) + " bytes";
                return false;
            }
            header.replace(s * kSlotSize, text.size(), text);
        }
    }
    return MendRecords(header, codePage, mended, problem) && PlacePictureRecords(header, picture, codePage, problem);
}

} // namespace

bool HomeHeader(const CarriedHeader& carried, const PagePicture& picture, const CodePage& codePage, std::string& header,
                HeaderHome& how, std::string& problem, std::vector<std::string>* mended) {
    std::vector<std::string> mends;
    if (!HomeRecords(carried, picture, codePage, header, how, problem, mends)) return false;
    if (!mends.empty() && how == HeaderHome::AsItWas) how = HeaderHome::Mended;
    if (mended) *mended = std::move(mends);
    return true;
}

} // namespace scanleaf::core
