// A PDF page's one picture as a CALS drawing takes it: the image drawn on the page (through
// forms too), its size on the page giving the resolution, the page's /Rotate and the image's
// matrix giving the orientation; a CCITT Group 4 stream whose parameters fit a CALS stream kept
// as it is, any other 1-bit picture decoded into rows (black 1) for the encoder. Pure.
#pragma once

#include "core/Group4.h"
#include "core/PdfDocument.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf::core {

struct PdfPagePicture {
    std::string problem; // why the page gives no drawing; empty when it does
    bool noDrawing = false; // the page holds none (no picture, several, or not a 1-bit one): left out, not refused
    std::uint32_t width = 0, height = 0;
    double dpiX = 0, dpiY = 0;
    int pelPath = 0, lineProgression = 270;
    std::string xmp;     // the image's own XMP packet, or empty

    // Where the rows come from: CCITT data (the filters before it undone), or 1-bit samples.
    // Jpeg: a JPEG's bytes (DCTDecode), which the caller decodes (thresholded by `threshold`).
    enum class Coding { Group4, Group3OneD, Group3TwoD, Samples, Jpeg } coding = Coding::Samples;
    std::string data;
    bool aligned = false, endOfLineOptional = true; // CCITT parameters
    // Each decoded row as black 1: its bits flipped, or all of it one colour.
    std::uint8_t flip = 0;
    bool filled = false;
    std::uint8_t fill = 0;
    // Samples of more than one bit, or of three components: each value's darkness (one
    // component), or RGB's lightness against `threshold`.
    unsigned bits = 1, components = 1;
    std::vector<std::uint8_t> dark;
    int threshold = -1;
    // `data` is already a CALS stream of exactly `height` rows: kept byte for byte.

    bool keep = false;
    std::string note; // why a Group 4 stream is coded again
};

// The page's one picture; `threshold` (percent, -1: none) maps a palette of other colours than
// black and white.
PdfPagePicture ReadPdfPagePicture(PdfDocument& document, const PdfPageInfo& page, int threshold);

// The rows of a picture, each RowBytes() long, black 1; false after the last or at the first
// problem, which Problem() names.
class PdfPictureRows {
public:
    explicit PdfPictureRows(const PdfPagePicture& picture);
    ~PdfPictureRows();
    std::size_t RowBytes() const { return (std::size_t(picture_.width) + 7) / 8; }
    bool NextRow(std::uint8_t* row);
    const std::string& Problem() const { return problem_; }
    // After the last row: whether the data codes more rows than the picture's height.
    bool MoreRows();

private:
    const PdfPagePicture& picture_;
    std::unique_ptr<Group4Decoder> g4_;
    std::unique_ptr<Group3Decoder> g3_;
    std::uint32_t row_ = 0;
    std::string problem_;
};

} // namespace scanleaf::core
