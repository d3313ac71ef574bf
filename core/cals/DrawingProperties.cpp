#include "core/cals/DrawingProperties.h"

#include "core/cals/CalsImage.h"

#include <cstring>

namespace scanleaf::core {

const std::vector<RecordKey>& RecordKeys() {
    static const std::vector<RecordKey> keys = {
        {"srcdocid", DrawingKey::DocumentId, true},     {"dstdocid", DrawingKey::DestinationId, true},
        {"txtfilid", DrawingKey::TextFileId, true},     {"figid", DrawingKey::Title, true},
        {"srcgph", DrawingKey::SourceGraphics, true},   {"doccls", DrawingKey::DocumentClass, true},
        {"notes", DrawingKey::Comment, true},           {"rorient", DrawingKey::Orientation, false},
    };
    return keys;
}

const std::vector<DrawingKey>& DrawingKeys() {
    static const std::vector<DrawingKey> keys = [] {
        std::vector<DrawingKey> all;
        for (const RecordKey& r : RecordKeys()) all.push_back(r.key);
        for (DrawingKey k : {DrawingKey::Width, DrawingKey::Height, DrawingKey::Dimensions, DrawingKey::HorizontalResolution,
                             DrawingKey::VerticalResolution, DrawingKey::ResolutionUnit, DrawingKey::BitDepth,
                             DrawingKey::Compression})
            all.push_back(k);
        return all;
    }();
    return keys;
}

bool DrawingProperties::Read(const unsigned char* header, const CodePage& ansi, std::string& problem) {
    *this = DrawingProperties();
    const CalsImageInfo info = ReadImageInfo(header);
    if (!info.type1) return problem = "not a CALS type 1 header", false;
    if (!info.sizeKnown) return problem = "no usable rpelcnt", false;
    header_.assign(reinterpret_cast<const char*>(header), kHeaderSize);
    const bool turned = info.orientationKnown && (info.pelPath == 90 || info.pelPath == 270);
    shownWidth_ = turned ? info.height : info.width;
    shownHeight_ = turned ? info.width : info.height;
    density_ = info.density >= kMinDensity && info.density <= kMaxDensity ? info.density : 0;
    for (const RecordKey& r : RecordKeys()) records_.push_back({r.key, Record()});
    // The first slot of each name counts, as for the picture's records.
    for (std::size_t slot = 0; slot < kHeaderSize / kSlotSize; ++slot) {
        Text text, name, value;
        if (!DecodeSlot(header + slot * kSlotSize, ansi, text) || !SplitRecord(text, name, value)) continue;
        Text lower = name;
        for (Unit& c : lower) c = AsciiLower(c);
        for (std::size_t i = 0; i < RecordKeys().size(); ++i) {
            Record& record = records_[i].second;
            if (record.present || lower != Ascii(RecordKeys()[i].record)) continue;
            record = {true, slot, name, value};
        }
    }
    return true;
}

const DrawingProperties::Record* DrawingProperties::Find(DrawingKey key) const {
    for (const auto& [k, record] : records_)
        if (k == key) return &record;
    return nullptr;
}

DrawingProperties::Record* DrawingProperties::Find(DrawingKey key) {
    return const_cast<Record*>(static_cast<const DrawingProperties*>(this)->Find(key));
}

DrawingValue DrawingProperties::Get(DrawingKey key) const {
    DrawingValue v;
    auto number = [&v](std::uint32_t n) {
        v.kind = DrawingValue::Kind::Number;
        v.number = n;
        return v;
    };
    if (header_.empty()) return v;
    switch (key) {
    case DrawingKey::Width: return number(shownWidth_);
    case DrawingKey::Height: return number(shownHeight_);
    case DrawingKey::BitDepth: return number(1);
    case DrawingKey::Compression: return number(4);
    case DrawingKey::ResolutionUnit: return density_ ? number(2) : v;
    case DrawingKey::HorizontalResolution:
    case DrawingKey::VerticalResolution:
        if (density_) {
            v.kind = DrawingValue::Kind::Real;
            v.real = density_;
        }
        return v;
    case DrawingKey::Dimensions:
        v.kind = DrawingValue::Kind::Text;
        v.text = Decimal(shownWidth_) + SL_T(" x ") + Decimal(shownHeight_);
        return v;
    default: break;
    }
    const Record* record = Find(key);
    Text upper = record ? record->value : Text();
    for (Unit& c : upper) c = c >= 'a' && c <= 'z' ? Unit(c - ('a' - 'A')) : c;
    if (!record || !record->present || record->value.empty() || upper == SL_T("NONE")) return v;
    v.kind = DrawingValue::Kind::Text;
    v.text = record->value;
    return v;
}

bool DrawingProperties::Writable(DrawingKey key) const {
    for (const RecordKey& r : RecordKeys())
        if (r.key == key) return r.writable;
    return false;
}

bool DrawingProperties::Set(DrawingKey key, const Text& value, const CodePage& ansi, std::string& problem) {
    Record* record = Find(key);
    if (header_.empty()) return problem = "no drawing is read", false;
    if (!Writable(key) || !record) return problem = "not a property that can be written", false;
    if (!record->present) return problem = "the header has no such record", false;
    for (Unit c : value)
        if (c < 0x20) return problem = "a control character", false;
    const Text stored = value.empty() ? Text(SL_T("NONE")) : value;
    const std::string bytes = ansi.Encode(record->name + SL_T(": ") + stored);
    Text back;
    if (!ansi.Decode(bytes.data(), bytes.size(), back) || back != record->name + SL_T(": ") + stored)
        return problem = "a character the ANSI code page lacks", false;
    if (bytes.size() > kSlotSize)
        return problem = "too long for its record: " + std::to_string(bytes.size()) + " bytes of " + std::to_string(kSlotSize), false;
    const unsigned char fill = static_cast<unsigned char>(header_[kFillByteOffset]);
    std::string slot(kSlotSize, char(fill == 0 ? 0 : ' '));
    slot.replace(0, bytes.size(), bytes);
    header_.replace(record->slot * kSlotSize, kSlotSize, slot);
    record->value = TrimBlanks(stored);
    changed_ = true;
    return true;
}

} // namespace scanleaf::core
