// The directories of a classic TIFF file, read through a reader of byte ranges: what each page's
// picture is and where its strips lie, enough to take a Group 4 strip as it is or to refuse a
// file that lies. Pure; no count or offset of the file is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace scanleaf::core {

struct TiffPageInfo {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    std::uint16_t compression = 1;   // 4: CCITT Group 4
    std::uint16_t photometric = 0;   // 0: 0 is white
    std::uint16_t fillOrder = 1;     // 1: most significant bit first
    std::uint16_t orientation = 1;   // 1 to 8, as the Orientation tag
    std::uint16_t resolutionUnit = 2; // 1 none, 2 inch, 3 centimetre
    std::uint32_t rowsPerStrip = 0xFFFFFFFFu;
    std::uint32_t t4Options = 0, t6Options = 0;
    double xResolution = 0, yResolution = 0; // 0: not given
    bool tiled = false;
    std::uint32_t tileWidth = 0, tileLength = 0;
    // The strips, or with `tiled` the tiles (left to right, then top to bottom).
    std::vector<std::uint64_t> stripOffsets, stripByteCounts;
    // A tag given twice with other values, named ("BitsPerSample is given twice: 1 and 2").
    std::string conflict;
    std::vector<std::uint16_t> colorMap; // a palette's reds, then greens, then blues
    std::uint64_t xmpOffset = 0; // where its XMP packet lies (size 0: it has none)
    std::uint32_t xmpSize = 0;
};

// Reads `size` bytes at `offset` into `out`; false when the range is not in the file.
using ByteRangeReader = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* out)>;

struct TiffFileInfo {
    bool tiff = false;          // it starts as a classic TIFF does
    std::vector<TiffPageInfo> pages;
    std::string problem;        // why the chain of directories ends early; empty when it is whole
};

// At most kMaxTiffPages directories are read.
inline constexpr std::size_t kMaxTiffPages = 100000;
TiffFileInfo ReadTiffDirectories(std::uint64_t fileSize, const ByteRangeReader& read);

// The largest picture taken: more pels than an A0 sheet at 1200 dpi holds is a lie or a mistake.
inline constexpr std::uint64_t kMaxPicturePels = 4000000000ull;

// Why a page cannot be a drawing: a size of 0, more pels than kMaxPicturePels, a tag given twice
// with two values, a fax compression with more than one bit a pel, a strip or tile past the
// file's end, strips or tiles that do not cover the page, or an XMP packet past the file's end.
// Empty when nothing is wrong.
std::string TiffPageProblem(const TiffPageInfo& page, std::uint64_t fileSize);

// Whether the page's one strip is already the stream of a CALS type 1 file: bilevel, Group 4, 0
// white, most significant bit first, one strip of every row, no uncompressed mode.
bool IsCalsStream(const TiffPageInfo& page);

// Whether the page is coded as fax pages are: 2 Modified Huffman, 3 Group 3, 4 Group 4.
bool IsFaxPage(const TiffPageInfo& page);

// A colour's lightness, 0 to 255, from its red, green and blue of 0 to 255: the weights every
// threshold and palette here uses.
inline unsigned Lightness(unsigned red, unsigned green, unsigned blue) { return (red * 299u + green * 587u + blue * 114u) / 1000u; }

// Which of a bilevel palette's two entries (red, green, blue of 0 to 65535) are black: black and
// white as they are; any other pair by lightness, below `thresholdPercent` black, or without one
// (-1) named in `problem`.
bool PaletteDark(const std::uint16_t rgb0[3], const std::uint16_t rgb1[3], int thresholdPercent, bool dark[2],
                 std::string& problem);

// The page's pels per inch across and down; 0 where the file gives none (or no unit).
void TiffResolution(const TiffPageInfo& page, double& x, double& y);

} // namespace scanleaf::core
