// A TIFF fax page (Group 4, Group 3 1-D or 2-D, Modified Huffman) decoded by the core, strip by
// strip or tile by tile, into the
// page's rows: the fill order undone, a page whose 0 is black turned the right way, and every
// coding error, a piece that ends early, or one that cannot be read refusing the page with its
// place. Pure: the bytes come through a reader of byte ranges.
#pragma once

#include "core/fax/Group4.h"
#include "core/tiff/TiffReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf::core {

class FaxPiece; // one strip's or tile's decoder, of the page's coding

class FaxPageDecoder {
public:
    // `page` must be one that TiffPageProblem finds nothing wrong with. A page of a palette
    // (PhotometricInterpretation 3) is mapped through it as PaletteDark says, with `threshold`.
    FaxPageDecoder(const TiffPageInfo& page, ByteRangeReader read, int threshold = -1);
    ~FaxPageDecoder();

    // Why the page cannot be decoded, or where its decoding failed; empty while it goes on.
    const std::string& Problem() const { return problem_; }
    std::size_t RowBytes() const { return (std::size_t(page_.width) + 7) / 8; }
    std::uint32_t Rows() const { return row_; }

    // The next row into `row` (RowBytes() bytes, most significant bit first, 1 = black); false
    // after the last row or at the first problem.
    bool NextRow(std::uint8_t* row);

private:
    bool Fail(std::string problem);
    // The piece's bytes, in the order the decoder reads them.
    bool Load(std::size_t piece);
    // A strip's rows, or a band of tiles, made ready from row_ on.
    bool NextStrip();
    bool NextBand();
    std::string Where(std::size_t piece, std::uint32_t row, G4Stop stop) const;
    std::unique_ptr<FaxPiece> Piece(std::uint32_t width) const;

    TiffPageInfo page_;
    ByteRangeReader read_;
    std::string problem_;
    std::uint32_t row_ = 0; // rows handed out
    // What a decoded row becomes: ~bits where 0 is black, all black or all white for a palette
    // of two dark or two light entries.
    std::uint8_t flip_ = 0, fill_ = 0;
    bool filled_ = false;
    std::vector<std::uint8_t> bytes_;
    // Strips: the decoder of the strip that holds row_, and the rows it still owes.
    std::unique_ptr<FaxPiece> strip_;
    std::size_t stripIndex_ = 0;
    std::uint32_t stripRows_ = 0;
    // Tiles: a band of rows the height of a tile, the width of the page.
    std::vector<std::uint8_t> band_;
    std::uint32_t bandFirst_ = 0, bandRows_ = 0;
};

} // namespace scanleaf::core
