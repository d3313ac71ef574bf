#include "core/tiff/TiffWriter.h"

namespace scanleaf::core {

namespace {

enum Type : std::uint16_t { kByte = 1, kShort = 3, kLong = 4, kRational = 5 };

void Le16(std::string& out, std::uint32_t value) {
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

void Le32(std::string& out, std::uint64_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += char((value >> shift) & 0xFF);
}

struct Entry {
    std::uint16_t tag;
    Type type;
    std::uint32_t count;
    std::uint64_t value; // the value itself (a short in the low bytes), or the offset of the values
};

constexpr std::uint32_t kEntries = 16;
constexpr std::uint32_t kDirectoryBytes = 2 + kEntries * 12 + 4;

} // namespace

// The header's eight cases in the order of TIFF's values 1 to 8: upright, mirrored, half turn,
// upside down mirrored, transposed, quarter turn right, transposed and turned, quarter turn left.
static const int kAngles[8][2] = {{0, 270}, {180, 90}, {180, 270}, {0, 90}, {270, 90}, {270, 270}, {90, 90}, {90, 270}};

int TiffOrientation(int pelPath, int lineProgression) {
    for (int i = 0; i < 8; ++i)
        if (kAngles[i][0] == pelPath && kAngles[i][1] == lineProgression) return i + 1;
    return 1;
}

void CalsOrientation(int tiffOrientation, int& pelPath, int& lineProgression) {
    const int i = tiffOrientation >= 1 && tiffOrientation <= 8 ? tiffOrientation - 1 : 0;
    pelPath = kAngles[i][0];
    lineProgression = kAngles[i][1];
}

bool TiffWriter::Put(const std::string& bytes) {
    ok_ = ok_ && sink_(bytes.data(), bytes.size());
    offset_ += bytes.size();
    return ok_;
}

bool TiffWriter::AddPage(const TiffPage& page, const std::uint8_t* stream, std::size_t size, bool last) {
    if (offset_ == 0) {
        std::string header = "II*";
        header += '\0';
        Le32(header, 8);
        Put(header);
    }
    // The directory first, then its resolutions, the XMP packet and the strip, each at an even
    // offset: the next page's directory follows at a place known now.
    const std::uint64_t directory = offset_;
    const std::uint64_t resolutions = directory + kDirectoryBytes;
    const std::uint64_t xmp = resolutions + 16;
    // Values of four bytes or fewer stand in the entry itself.
    const bool xmpInline = page.xmp.size() <= 4;
    std::uint64_t xmpValue = xmp;
    if (xmpInline) {
        xmpValue = 0;
        for (std::size_t i = 0; i < page.xmp.size(); ++i) xmpValue |= std::uint64_t(std::uint8_t(page.xmp[i])) << (8 * i);
    }
    const std::size_t xmpBytes = xmpInline ? 0 : page.xmp.size();
    const std::uint64_t strip = xmp + xmpBytes + (xmpBytes & 1);
    const std::uint64_t next = strip + size + (size & 1);
    const Entry entries[kEntries] = {
        {256, kLong, 1, page.width},                      // ImageWidth
        {257, kLong, 1, page.height},                     // ImageLength
        {258, kShort, 1, 1},                              // BitsPerSample
        {259, kShort, 1, 4},                              // Compression: CCITT Group 4
        {262, kShort, 1, 0},                              // PhotometricInterpretation: 0 is white
        {266, kShort, 1, 1},                              // FillOrder: most significant bit first
        {273, kLong, 1, strip},                           // StripOffsets
        {274, kShort, 1, std::uint64_t(TiffOrientation(page.pelPath, page.lineProgression))},
        {277, kShort, 1, 1},                              // SamplesPerPixel
        {278, kLong, 1, page.height},                     // RowsPerStrip: one strip
        {279, kLong, 1, size},                            // StripByteCounts
        {282, kRational, 1, resolutions},                 // XResolution
        {283, kRational, 1, resolutions + 8},             // YResolution
        {293, kLong, 1, 0},                               // T6Options
        {296, kShort, 1, 2},                              // ResolutionUnit: inch
        {700, kByte, std::uint32_t(page.xmp.size()), xmpValue}, // XMP
    };
    std::string bytes;
    const std::uint32_t count = page.xmp.empty() ? kEntries - 1 : kEntries;
    Le16(bytes, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        Le16(bytes, e.tag);
        Le16(bytes, e.type);
        Le32(bytes, e.count);
        if (e.type == kShort) {
            Le16(bytes, std::uint32_t(e.value));
            Le16(bytes, 0);
        } else {
            Le32(bytes, e.value);
        }
    }
    Le32(bytes, last ? 0 : next);
    // Without the XMP entry the directory is 12 bytes shorter: the same room, kept as padding.
    bytes.resize(kDirectoryBytes, '\0');
    for (int i = 0; i < 2; ++i) {
        Le32(bytes, page.dpi);
        Le32(bytes, 1);
    }
    if (!xmpInline) bytes += page.xmp;
    if (xmpBytes & 1) bytes += '\0';
    Put(bytes);
    ok_ = ok_ && sink_(reinterpret_cast<const char*>(stream), size);
    offset_ += size;
    if (size & 1) Put(std::string(1, '\0'));
    return ok_;
}

} // namespace scanleaf::core
