#include "core/cals/CalsImage.h"

#include "core/cals/TagSettings.h"

#include <cmath>
#include <cstdio>

namespace scanleaf::core {

namespace {

// "name: value" of a slot as ASCII, or false.
bool Record(const unsigned char* slot, Text& name, Text& value) {
    Text text;
    for (std::size_t i = 0; i < kSlotSize && slot[i]; ++i) text += Unit(slot[i]);
    if (!SplitRecord(text, name, value)) return false;
    for (Unit& c : name) c = AsciiLower(c);
    return true;
}

bool Positive(const Text& text, std::size_t& pos, std::uint32_t& out) {
    int number = 0;
    if (!ReadDecimal(text, pos, number) || number <= 0) return false;
    out = std::uint32_t(number);
    return true;
}

} // namespace

CalsImageInfo ReadImageInfo(const unsigned char* header) {
    CalsImageInfo info;
    bool seen[4] = {};
    for (std::size_t slot = 0; slot < kHeaderSize / kSlotSize; ++slot) {
        Text name, value;
        if (!Record(header + slot * kSlotSize, name, value)) continue;
        std::size_t pos = 0;
        if (name == SL_T("rtype") && !seen[0]) {
            seen[0] = true;
            int type = 0;
            info.type1 = ReadDecimal(value, pos, type) && type == 1 && pos == value.size();
        } else if (name == SL_T("rpelcnt") && !seen[1]) {
            seen[1] = true;
            std::uint32_t w = 0, h = 0;
            if (Positive(value, pos, w) && pos < value.size() && value[pos] == ',' && Positive(value, ++pos, h)) {
                info.sizeKnown = true;
                info.width = w;
                info.height = h;
            }
        } else if (name == SL_T("rdensty") && !seen[2]) {
            seen[2] = true;
            info.densityRecord = TrimBlanks(value);
            Positive(value, pos, info.density);
        } else if (name == SL_T("rorient") && !seen[3]) {
            seen[3] = true;
            info.orientationRecord = TrimBlanks(value);
            int path = 0, lines = 0;
            if (ReadDecimal(value, pos, path) && pos < value.size() && value[pos] == ',' &&
                ReadDecimal(value, ++pos, lines) && path % 90 == 0 && path >= 0 && path < 360 &&
                (lines == 90 || lines == 270)) {
                info.orientationKnown = true;
                info.pelPath = path;
                info.lineProgression = lines;
            }
        }
    }
    return info;
}

std::uint32_t DrawingDensity(double x, double y, std::string& why) {
    // One decimal at most, and none for a whole number: a PNG's 3779 pels a metre is 96 dpi.
    const auto text = [](double dpi) {
        if (!(std::fabs(dpi) < 1e9)) {
            char big[32];
            std::snprintf(big, sizeof big, "%.3g", dpi);
            return std::string(big);
        }
        const long long tenths = std::llround(dpi * 10);
        return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : std::string());
    };
    why.clear();
    if (!(x > 0) && !(y > 0)) return why = "gives no resolution", 0;
    if (!(x > 0) || !(y > 0)) return why = "gives a resolution one way only", 0;
    if (std::abs(x - y) >= 0.5) return why = "gives " + text(x) + " by " + text(y) + " dpi, not the same both ways", 0;
    if (!(x < 1e9))
        return why = "gives " + text(x) + " dpi, outside " + std::to_string(kMinDensity) + " to " + std::to_string(kMaxDensity), 0;
    const long dpi = std::lround(x);
    if (dpi == 72 || dpi == 96) return why = "gives " + text(x) + " dpi, which programs write when they know none", 0;
    if (dpi < long(kMinDensity) || dpi > long(kMaxDensity))
        return why = "gives " + text(x) + " dpi, outside " + std::to_string(kMinDensity) + " to " +
                     std::to_string(kMaxDensity),
               0;
    return std::uint32_t(dpi);
}

std::string DrawingHeaderProblem(const CalsImageInfo& info) {
    const auto none = [](const Text& text) { return text.empty() || text == SL_T("NONE"); };
    if (!none(info.densityRecord) && (info.density < kMinDensity || info.density > kMaxDensity))
        return "rdensty " + ToUtf8(info.densityRecord) + " gives no density from " + std::to_string(kMinDensity) +
               " to " + std::to_string(kMaxDensity) + " dpi, what scanners of drawings use";
    if (!none(info.orientationRecord) && !info.orientationKnown)
        return "rorient " + ToUtf8(info.orientationRecord) + " is none of the eight orientations";
    return std::string();
}

bool SetLineCount(std::string& header, std::uint32_t lines) {
    if (header.size() < kHeaderSize || lines == 0) return false;
    for (std::size_t slot = 0; slot < kHeaderSize / kSlotSize; ++slot) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(header.data()) + slot * kSlotSize;
        Text name, value;
        if (!Record(bytes, name, value) || name != SL_T("rpelcnt")) continue;
        // The first rpelcnt record: ":", the pels, ",", then the lines' digits.
        const std::size_t base = slot * kSlotSize, end = base + kSlotSize;
        std::size_t at = header.find(':', base);
        auto skipBlanks = [&] {
            while (at < end && (header[at] == ' ' || header[at] == '\t')) ++at;
        };
        auto digits = [&] {
            const std::size_t from = at;
            while (at < end && header[at] >= '0' && header[at] <= '9') ++at;
            return at - from;
        };
        if (at >= end) return false;
        ++at;
        skipBlanks();
        if (digits() == 0) return false;
        skipBlanks();
        if (at >= end || header[at] != ',') return false;
        ++at;
        skipBlanks();
        const std::size_t first = at, count = digits();
        if (count == 0) return false;
        std::string text = std::to_string(lines);
        if (text.size() < count) text.insert(0, count - text.size(), '0');
        // More digits than before: the blanks after them make room.
        for (std::size_t i = first + count; i < first + text.size(); ++i)
            if (i >= end || header[i] != ' ') return false;
        header.replace(first, text.size(), text);
        return true;
    }
    return false;
}

HeaderKind ClassifyHeader(const unsigned char* header) {
    bool type = false, size = false;
    for (std::size_t slot = 0; slot < kHeaderSize / kSlotSize; ++slot) {
        const unsigned char* bytes = header + slot * kSlotSize;
        for (std::size_t i = 0; i < kSlotSize && bytes[i]; ++i) {
            const unsigned char c = bytes[i];
            if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return HeaderKind::Binary;
        }
        Text name, value;
        if (!Record(bytes, name, value)) continue;
        type = type || name == SL_T("rtype");
        size = size || name == SL_T("rpelcnt");
    }
    return type && size ? HeaderKind::Cals : HeaderKind::MissingRecords;
}

Orientation::Orientation(int pelPath, int lineProgression, std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height) {
    // The directions on the page (x right, y down): pels along the pel path, lines along the
    // pel path turned by the line progression, both counted counter-clockwise.
    const int lines = (pelPath + lineProgression) % 360;
    turned_ = pelPath == 90 || pelPath == 270;
    pelsBack_ = pelPath == 180 || pelPath == 90;  // pels run left (180) or up (90)
    linesBack_ = lines == 90 || lines == 180;      // lines run up (90) or left (180)
}

void Orientation::Place(std::uint32_t x, std::uint32_t y, std::uint32_t& shownX, std::uint32_t& shownY) const {
    const std::uint32_t along = pelsBack_ ? width_ - 1 - x : x;    // position along the pel path
    const std::uint32_t across = linesBack_ ? height_ - 1 - y : y; // position along the lines
    shownX = turned_ ? across : along;
    shownY = turned_ ? along : across;
}

Orientation ShownAs(const CalsImageInfo& info, std::uint32_t width, std::uint32_t height) {
    return info.orientationKnown ? Orientation(info.pelPath, info.lineProgression, width, height)
                                 : Orientation(0, 270, width, height);
}

void Orientation::Stored(std::uint32_t left, std::uint32_t top, std::uint32_t right, std::uint32_t bottom,
                         std::uint32_t& x0, std::uint32_t& y0, std::uint32_t& x1, std::uint32_t& y1) const {
    // Along the pel path and across the lines, as Place counts them.
    const std::uint32_t alongStart = turned_ ? top : left, alongEnd = turned_ ? bottom : right;
    const std::uint32_t acrossStart = turned_ ? left : top, acrossEnd = turned_ ? right : bottom;
    x0 = pelsBack_ ? width_ - alongEnd : alongStart;
    x1 = pelsBack_ ? width_ - alongStart : alongEnd;
    y0 = linesBack_ ? height_ - acrossEnd : acrossStart;
    y1 = linesBack_ ? height_ - acrossStart : acrossEnd;
}

std::vector<std::uint8_t> Orientation::Apply(const std::vector<std::uint8_t>& grey) const {
    std::vector<std::uint8_t> shown(grey.size());
    const std::size_t shownWidth = ShownWidth();
    for (std::uint32_t y = 0; y < height_; ++y)
        for (std::uint32_t x = 0; x < width_; ++x) {
            std::uint32_t sx = 0, sy = 0;
            Place(x, y, sx, sy);
            shown[std::size_t(sy) * shownWidth + sx] = grey[std::size_t(y) * width_ + x];
        }
    return shown;
}

namespace {

// A number with leading zeros to at least `digits` digits, as the standard's examples write them.
std::string Padded(std::uint32_t value, std::size_t digits) {
    std::string text = std::to_string(value);
    return text.size() < digits ? std::string(digits - text.size(), '0') + text : text;
}

} // namespace

std::vector<PictureRecord> PictureRecords(std::uint32_t width, std::uint32_t height, std::uint32_t dpi, int pelPath,
                                          int lineProgression) {
    return {
        {"rtype", "rtype: 1"},
        {"rorient", "rorient: " + Padded(std::uint32_t(pelPath), 3) + "," + Padded(std::uint32_t(lineProgression), 3)},
        {"rpelcnt", "rpelcnt: " + Padded(width, 6) + "," + Padded(height, 6)},
        {"rdensty", "rdensty: " + Padded(dpi, 4)},
    };
}

std::string NewCalsHeader(std::uint32_t width, std::uint32_t height, std::uint32_t dpi, int pelPath,
                          int lineProgression) {
    const std::vector<PictureRecord> own = PictureRecords(width, height, dpi, pelPath, lineProgression);
    const std::string records[] = {
        "srcdocid: NONE", "dstdocid: NONE", "txtfilid: NONE", "figid: NONE", "srcgph: NONE", "doccls: NONE",
        own[0].text, own[1].text, own[2].text, own[3].text, "notes: NONE",
    };
    std::string header(kHeaderSize, ' ');
    for (std::size_t i = 0; i < sizeof records / sizeof records[0]; ++i) header.replace(i * kSlotSize, records[i].size(), records[i]);
    return header;
}

} // namespace scanleaf::core
