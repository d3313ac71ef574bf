#include "core/tiff/TiffReader.h"

#include "core/fax/Group4.h"

#include <cmath>
#include <map>
#include <set>

namespace scanleaf::core {

namespace {

enum : std::uint16_t {
    kWidth = 256, kHeight = 257, kBitsPerSample = 258, kCompression = 259, kPhotometric = 262, kFillOrder = 266,
    kStripOffsets = 273, kOrientation = 274, kSamplesPerPixel = 277, kRowsPerStrip = 278, kStripByteCounts = 279,
    kXResolution = 282, kYResolution = 283, kResolutionUnit = 296, kT4Options = 292, kT6Options = 293,
    kColorMap = 320, kTileWidth = 322, kTileLength = 323, kTileOffsets = 324, kTileByteCounts = 325, kXmp = 700,
};

// The names of the tags whose second value is named when it differs from the first.
const char* TagName(std::uint16_t tag) {
    switch (tag) {
    case kWidth: return "ImageWidth";
    case kHeight: return "ImageLength";
    case kBitsPerSample: return "BitsPerSample";
    case kCompression: return "Compression";
    case kPhotometric: return "PhotometricInterpretation";
    case kFillOrder: return "FillOrder";
    case kOrientation: return "Orientation";
    case kSamplesPerPixel: return "SamplesPerPixel";
    case kRowsPerStrip: return "RowsPerStrip";
    case kT4Options: return "T4Options";
    case kT6Options: return "T6Options";
    case kTileWidth: return "TileWidth";
    case kTileLength: return "TileLength";
    default: return nullptr;
    }
}

std::string Number(double value) {
    const long long whole = static_cast<long long>(value);
    return double(whole) == value ? std::to_string(whole) : std::to_string(value);
}

// Bytes of one value of each TIFF type (1 to 12); 0 for an unknown type.
std::size_t TypeSize(std::uint16_t type) {
    static const std::size_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type < sizeof sizes / sizeof sizes[0] ? sizes[type] : 0;
}

// More values than any tag read here holds (strips of a million rows each).
constexpr std::uint32_t kMaxValues = 1u << 20;

class Reader {
public:
    Reader(std::uint64_t fileSize, const ByteRangeReader& read, bool little)
        : fileSize_(fileSize), read_(read), little_(little) {}

    bool Bytes(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
        return offset <= fileSize_ && size <= fileSize_ - offset && read_(offset, size, out);
    }
    std::uint32_t Number(const std::uint8_t* bytes, std::size_t size) const {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t(bytes[little_ ? i : size - 1 - i]) << (8 * i);
        return value;
    }

    // One entry's values as numbers (rationals as their quotient); false when they are not in
    // the file or too many for it.
    bool Values(const std::uint8_t* entry, std::vector<double>& values) const {
        const std::uint16_t type = std::uint16_t(Number(entry + 2, 2));
        const std::uint32_t count = Number(entry + 4, 4);
        const std::size_t size = TypeSize(type);
        if (size == 0 || count == 0 || count > kMaxValues || std::uint64_t(count) * size > fileSize_) return false;
        const std::size_t total = std::size_t(count) * size;
        std::vector<std::uint8_t> bytes(total);
        if (total <= 4)
            std::copy(entry + 8, entry + 8 + total, bytes.begin());
        else if (!Bytes(Number(entry + 8, 4), total, bytes.data()))
            return false;
        values.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* at = bytes.data() + std::size_t(i) * size;
            if (type == 5 || type == 10) {
                const std::uint32_t denominator = Number(at + 4, 4);
                values.push_back(denominator ? double(Number(at, 4)) / denominator : 0.0);
            } else if (size <= 4) {
                values.push_back(Number(at, size));
            } else {
                values.push_back(0); // a double or a long of eight bytes: no tag read here has one
            }
        }
        return true;
    }

private:
    std::uint64_t fileSize_;
    const ByteRangeReader& read_;
    bool little_;
};

std::uint16_t Short(double value) { return value >= 0 && value <= 65535 ? std::uint16_t(value) : 0; }
std::uint32_t Long(double value) { return value >= 0 && value <= 4294967295.0 ? std::uint32_t(value) : 0; }

} // namespace

TiffFileInfo ReadTiffDirectories(std::uint64_t fileSize, const ByteRangeReader& read) {
    TiffFileInfo info;
    std::uint8_t head[8];
    if (fileSize < 8 || !read(0, 8, head)) return info;
    const bool little = head[0] == 'I' && head[1] == 'I';
    if (!little && !(head[0] == 'M' && head[1] == 'M')) return info;
    const Reader reader(fileSize, read, little);
    if (reader.Number(head + 2, 2) != 42) return info;
    info.tiff = true;
    std::set<std::uint64_t> seen;
    for (std::uint64_t at = reader.Number(head + 4, 4); at != 0;) {
        if (info.pages.size() == kMaxTiffPages) return info.problem = "more directories than are read", info;
        if (!seen.insert(at).second) return info.problem = "a directory links back to an earlier one", info;
        std::uint8_t countBytes[2];
        if (!reader.Bytes(at, 2, countBytes)) return info.problem = "a directory past the file's end", info;
        const std::size_t count = reader.Number(countBytes, 2);
        std::vector<std::uint8_t> entries(count * 12 + 4);
        if (!reader.Bytes(at + 2, entries.size(), entries.data()))
            return info.problem = "a directory past the file's end", info;
        TiffPageInfo page;
        std::vector<double> values;
        std::map<std::uint16_t, double> firstValues; // a tag's first value, for one given twice
        for (std::size_t e = 0; e < count; ++e) {
            const std::uint8_t* entry = entries.data() + e * 12;
            const std::uint16_t tag = std::uint16_t(reader.Number(entry, 2));
            if (tag == kTileWidth || tag == kTileOffsets) page.tiled = true;
            if (tag == kXmp) {
                // Only where it lies: the packet is read when it is wanted.
                const std::uint16_t type = std::uint16_t(reader.Number(entry + 2, 2));
                if ((type == 1 || type == 7) && page.xmpSize == 0) {
                    page.xmpSize = reader.Number(entry + 4, 4);
                    page.xmpOffset = page.xmpSize <= 4 ? at + 2 + e * 12 + 8 : reader.Number(entry + 8, 4);
                }
                continue;
            }
            if (!reader.Values(entry, values)) {
                if (tag == kStripOffsets || tag == kStripByteCounts || tag == kTileOffsets || tag == kTileByteCounts)
                    return info.problem = "a strip table past the file's end", info;
                continue;
            }
            if (const char* name = TagName(tag)) {
                const auto first = firstValues.emplace(tag, values[0]);
                if (!first.second && first.first->second != values[0] && page.conflict.empty())
                    page.conflict = std::string(name) + " is given twice: " + Number(first.first->second) + " and " +
                                    Number(values[0]);
                if (!first.second) continue; // the first value stands, as libtiff takes it
            }
            switch (tag) {
            case kWidth: page.width = Long(values[0]); break;
            case kHeight: page.height = Long(values[0]); break;
            case kBitsPerSample: page.bitsPerSample = Short(values[0]); break;
            case kCompression: page.compression = Short(values[0]); break;
            case kPhotometric: page.photometric = Short(values[0]); break;
            case kFillOrder: page.fillOrder = Short(values[0]); break;
            case kOrientation: page.orientation = Short(values[0]); break;
            case kSamplesPerPixel: page.samplesPerPixel = Short(values[0]); break;
            case kRowsPerStrip: page.rowsPerStrip = Long(values[0]); break;
            case kResolutionUnit: page.resolutionUnit = Short(values[0]); break;
            case kT4Options: page.t4Options = Long(values[0]); break;
            case kT6Options: page.t6Options = Long(values[0]); break;
            case kTileWidth: page.tileWidth = Long(values[0]); break;
            case kTileLength: page.tileLength = Long(values[0]); break;
            case kXResolution: page.xResolution = values[0]; break;
            case kColorMap:
                page.colorMap.clear();
                for (double v : values) page.colorMap.push_back(Short(v));
                break;
            case kYResolution: page.yResolution = values[0]; break;
            case kStripOffsets:
            case kStripByteCounts:
            case kTileOffsets:
            case kTileByteCounts: {
                // A tiled page's strip tags, if any, are passed over: its tiles are its pieces.
                if (page.tiled != (tag == kTileOffsets || tag == kTileByteCounts)) break;
                std::vector<std::uint64_t>& list =
                    tag == kStripOffsets || tag == kTileOffsets ? page.stripOffsets : page.stripByteCounts;
                list.clear();
                for (double v : values) list.push_back(std::uint64_t(v));
                break;
            }
            default: break;
            }
        }
        info.pages.push_back(std::move(page));
        at = reader.Number(entries.data() + count * 12, 4);
    }
    return info;
}

std::string TiffPageProblem(const TiffPageInfo& page, std::uint64_t fileSize) {
    if (page.width == 0 || page.height == 0) return "a size of 0 pels";
    if (std::uint64_t(page.width) * page.height > kMaxPicturePels)
        return "claims " + std::to_string(page.width) + " by " + std::to_string(page.height) +
               " pels, more than any drawing holds";
    if (!page.conflict.empty()) return page.conflict;
    if (IsFaxPage(page) && (page.bitsPerSample != 1 || page.samplesPerPixel != 1))
        return "a fax compression codes one sample of one bit a pel, but the page gives " +
               std::to_string(page.samplesPerPixel) + " sample(s) of " + std::to_string(page.bitsPerSample) + " bit(s)";
    const char* const piece = page.tiled ? "tile" : "strip";
    if (page.stripOffsets.empty() || page.stripOffsets.size() != page.stripByteCounts.size())
        return std::string("no usable ") + piece + " table";
    if (page.tiled) {
        if (page.tileWidth == 0 || page.tileLength == 0 || page.tileWidth > kMaxG4Width) return "no usable tile size";
        const std::uint64_t across = (std::uint64_t(page.width) + page.tileWidth - 1) / page.tileWidth;
        const std::uint64_t down = (std::uint64_t(page.height) + page.tileLength - 1) / page.tileLength;
        if (page.stripOffsets.size() < across * down) return "tiles for less than the page";
    } else {
        const std::uint64_t rows = page.rowsPerStrip ? page.rowsPerStrip : page.height;
        if (page.stripOffsets.size() < (std::uint64_t(page.height) + rows - 1) / rows)
            return "strips for fewer rows than its height";
    }
    for (std::size_t s = 0; s < page.stripOffsets.size(); ++s)
        if (page.stripOffsets[s] > fileSize || page.stripByteCounts[s] > fileSize - page.stripOffsets[s])
            return std::string(piece) + " " + std::to_string(s + 1) + " lies past the file's end";
    if (page.xmpOffset > fileSize || page.xmpSize > fileSize - page.xmpOffset) return "its XMP packet lies past the file's end";
    return std::string();
}

bool IsCalsStream(const TiffPageInfo& page) {
    return page.compression == 4 && page.bitsPerSample == 1 && page.samplesPerPixel == 1 && page.photometric == 0 &&
           page.fillOrder == 1 && !page.tiled && page.stripOffsets.size() == 1 && page.stripByteCounts.size() == 1 &&
           page.rowsPerStrip >= page.height && (page.t6Options & 2) == 0;
}

bool IsFaxPage(const TiffPageInfo& page) { return page.compression >= 2 && page.compression <= 4; }

void TiffResolution(const TiffPageInfo& page, double& x, double& y) {
    const double perInch = page.resolutionUnit == 3 ? 2.54 : 1;
    const bool stated = page.resolutionUnit != 1;
    x = stated && page.xResolution > 0 ? page.xResolution * perInch : 0;
    y = stated && page.yResolution > 0 ? page.yResolution * perInch : 0;
}

bool PaletteDark(const std::uint16_t rgb0[3], const std::uint16_t rgb1[3], int thresholdPercent, bool dark[2],
                 std::string& problem) {
    const std::uint16_t* entries[2] = {rgb0, rgb1};
    bool plain = true;
    for (int i = 0; i < 2; ++i) {
        const std::uint16_t* c = entries[i];
        const bool black = c[0] == 0 && c[1] == 0 && c[2] == 0, white = c[0] == 65535 && c[1] == 65535 && c[2] == 65535;
        plain = plain && (black || white);
        // 0 to 255, the weights of every other palette here.
        const unsigned lightness = Lightness(c[0] >> 8, c[1] >> 8, c[2] >> 8);
        dark[i] = black || (!white && thresholdPercent >= 0 && lightness * 100u < unsigned(thresholdPercent) * 255u);
    }
    if (plain || thresholdPercent >= 0) return true;
    problem = "a palette of two colours other than black and white: --threshold N makes those below N per cent of full "
              "lightness black";
    return false;
}

} // namespace scanleaf::core
