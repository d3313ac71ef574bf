// A PDF page's one picture as a CALS drawing takes it: the image drawn on the page (through
// forms too, or inline; or strips and tiles of one drawing), its size on the page giving the resolution, the page's /Rotate and the
// image's matrix giving the orientation, its /Mask or /SMask applied as viewers draw it on white.
// Planned from the dictionaries alone; the rows are decoded only when asked for, a row at a
// time, never past what the picture's size needs. Pure.
#pragma once

#include "core/fax/Group4.h"
#include "core/pdf/PdfDocument.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf::core {

struct PdfPagePicture {
    std::string problem;    // why the page gives no drawing; empty when it does
    bool noDrawing = false; // the page holds none (no picture, several, or not a 1-bit one): left out, not refused
    std::uint32_t width = 0, height = 0;
    double dpiX = 0, dpiY = 0;
    int pelPath = 0, lineProgression = 270;
    std::string xmp;        // the image's own XMP packet, or empty
    const PdfObject* image = nullptr; // the image's stream (null for an inline image): pages that share it share its drawing

    // Where the rows come from: CCITT data (the filters before it undone), or samples.
    // Jpeg: a JPEG's bytes (DCTDecode), which the caller decodes (thresholded by `threshold`).
    // Tiles: several images that tile the drawing, each with its place in it.
    enum class Coding { Group4, Group3OneD, Group3TwoD, Samples, Jpeg, Tiles } coding = Coding::Samples;
    struct Tile {
        std::shared_ptr<const PdfPagePicture> picture;
        std::uint32_t x = 0, y = 0; // its first pel's place in the drawing
    };
    std::vector<Tile> tiles;
    // The coded bytes: the image stream's, or an inline image's own.
    std::shared_ptr<const std::string> inlineData;
    std::vector<PdfFilter> filters;
    bool aligned = false; // CCITT's EncodedByteAlign
    // Each decoded 1-bit row as black 1: its bits flipped, or all of it one colour.
    std::uint8_t flip = 0;
    bool filled = false;
    std::uint8_t fill = 0;
    // Samples of more than one bit, or of three components: each value's darkness and lightness
    // (one component), or RGB's lightness against `threshold`.
    unsigned bits = 1, components = 1;
    std::vector<std::uint8_t> dark, light;
    int threshold = -1;
    // Grey that is taken as it is only where every sample proves black or white.
    bool blackAndWhiteOnly = false;

    // What masks it. Stencil: `mask`'s black pels are where it is painted. Soft: `mask`'s
    // samples are how much of it is painted. ColourKey: samples within `colourKey`'s ranges are not.
    enum class Masking { None, Stencil, Soft, ColourKey } masking = Masking::None;
    std::shared_ptr<const PdfPagePicture> mask;
    std::vector<unsigned> colourKey; // a low and a high sample value for each component

    // Whether its Group 4 data may go into a CALS file as it is (checked by PdfKeptGroup4).
    bool MayKeep() const {
        return coding == Coding::Group4 && !aligned && flip == 0 && !filled && masking == Masking::None;
    }
};

// The page's one picture; `threshold` (percent, -1: none) maps a palette of other colours than
// black and white. Nothing is decoded but the page's content and what describes the picture.
PdfPagePicture ReadPdfPagePicture(PdfDocument& document, const PdfPageInfo& page, int threshold);

// A picture's JPEG bytes or CCITT data: as they stand in the file, or with the general filters
// before them undone (at most PdfLimits::kStream bytes); false with `problem` when they cannot be.
bool PdfCodedData(PdfDocument& document, const PdfPagePicture& picture, std::string& bytes, std::string& problem);

// Where a picture's Group 4 data (MayKeep) codes exactly its rows: true with those bytes, to be
// kept as they are. False otherwise: with `problem` where its rows cannot be decoded, with
// `note` where it codes more rows than the picture's height (the rows are then coded again).
bool PdfKeptGroup4(PdfDocument& document, const PdfPagePicture& picture, std::string& bytes, std::string& note, std::string& problem);

// The rows of a picture, each RowBytes() long, black 1, decoded as they are asked for; false
// after the last or at the first problem, which Problem() names. LeftOut(): the problem is one
// of a page that holds no drawing (grey pels, a partly transparent mask, with no --threshold).
class PdfPictureRows {
public:
    PdfPictureRows(PdfDocument& document, const PdfPagePicture& picture);
    ~PdfPictureRows();
    std::size_t RowBytes() const { return (std::size_t(picture_.width) + 7) / 8; }
    bool NextRow(std::uint8_t* row);
    // The next row's levels, one byte a pel (0 to 255 as the samples give them, after /Decode):
    // for a soft mask.
    bool NextLevels(std::uint8_t* levels);
    const std::string& Problem() const { return problem_; }
    bool LeftOut() const { return leftOut_; }
    // After the last row: whether the data codes more rows than the picture's height.
    bool MoreRows();

private:
    bool Start();
    bool ReadRow(std::uint8_t* out, std::size_t size);
    bool Samples(std::uint8_t* row, std::uint8_t* levels);
    bool TiledRow(std::uint8_t* row);
    bool Fail(std::string why, bool leftOut = false);

    PdfDocument& document_;
    const PdfPagePicture& picture_;
    bool started_ = false;
    std::string coded_; // CCITT data whose general filters were undone
    std::unique_ptr<PdfFilterChain> chain_;
    std::unique_ptr<Group4Decoder> g4_;
    std::unique_ptr<Group3Decoder> g3_;
    std::unique_ptr<PdfPictureRows> mask_;
    std::vector<std::unique_ptr<PdfPictureRows>> tiles_; // each tile's rows while the drawing's rows cross it
    std::vector<std::uint8_t> tileRow_;
    std::vector<std::uint8_t> samples_, maskRow_, light_, bits_;
    std::uint32_t row_ = 0;
    std::string problem_;
    bool leftOut_ = false;
};

} // namespace scanleaf::core
