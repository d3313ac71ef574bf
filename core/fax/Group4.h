// CCITT Group 4 (T.6) decoding, row by row: the image data of a CALS type 1 file; and Group 3
// (T.4, Modified Huffman) decoding of fax pages with the same row codes. Memory is two
// rows of changing elements, whatever the height; input is never read past its end, a row
// never written past its width, and every malformed stream ends with the rows decoded so far
// and a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scanleaf::core {

enum class G4Stop {
    None,           // decoding goes on
    EndOfBlock,     // the end-of-block code: a clean end
    EndOfData,      // the input ended (mid-row, or after whole rows without an end-of-block, or
                    // only zeros followed them)
    BadCode,        // bits that are no code of the mode or run tables
    RunPastRow,     // a run or a vertical code beyond the row's width
    CodeBackwards,  // a vertical code left of the position already reached
    Unsupported,    // an extension code (uncompressed mode)
    BadWidth,       // a width of 0 or above kMaxG4Width
    NoEndOfLine,    // Group 3: a row without the end-of-line code that must come before it
    PastReference,  // a vertical or pass code that refers to changes beyond the reference row's end
};

const char* G4StopText(G4Stop stop);

inline constexpr std::uint32_t kMaxG4Width = 1u << 20;

// A row's changing elements: where the colour flips, ascending (two at the same place for a run
// of length 0). A view of the decoder's own, good until its next row.
struct G4Changes {
    G4Changes(const std::uint32_t* data, std::size_t size) : data(data), size(size) {}
    const std::uint32_t* data;
    std::size_t size;
};

class G4Bits;

// Two rows of changing elements, and one row's codes read against the row before it: the part
// that the Group 4 decoder and the Group 3 one share. Memory is two rows, whatever the height.
class RowCoder {
public:
    explicit RowCoder(std::uint32_t width);
    std::size_t RowBytes() const { return (std::size_t(width_) + 7) / 8; }
    // A row of two-dimensional codes (T.6, or a T.4 row tagged 2-D); `blockMayEnd`: the end of
    // block may stand where the row would start.
    G4Stop Row2D(G4Bits& in, bool blockMayEnd);
    // A row of one-dimensional codes: runs of white and black in turn (T.4 1-D, Modified Huffman).
    G4Stop Row1D(G4Bits& in);
    // The row just read becomes the reference, and its pels go to `row` (null: none wanted).
    void Keep(std::uint8_t* row);
    G4Changes Changes() const { return {ref_.data() + 1, refCount_}; } // past the storage's leading 0

private:
    std::uint32_t width_;
    // The reference row's changing elements and the row's own: storage that only grows (a row
    // of runs of length 0 may hold more than its width), with the counts in use.
    std::vector<std::uint32_t> ref_;
    std::vector<std::uint32_t> cur_;
    std::size_t refCount_ = 0;
    std::size_t count_ = 0;
};

// What the Group 4 and Group 3 decoders share: the stream, the place reached in it, the rows
// decoded so far and why decoding stopped.
class FaxRowDecoder {
public:
    std::uint32_t Width() const { return width_; }
    std::size_t RowBytes() const { return (std::size_t(width_) + 7) / 8; }
    G4Stop Stop() const { return stop_; }
    std::uint32_t Rows() const { return rows_; }
    // The changing elements of the last row.
    G4Changes Changes() const { return rows_coder_.Changes(); }
    // Bytes taken so far: up to the end-of-block code when it came (or all of them).
    std::size_t BytesUsed() const { return (bit_ + 7) / 8 < size_ ? (bit_ + 7) / 8 : size_; }
    // Each row's codes start on a byte boundary (PDF's EncodedByteAlign).
    void AlignRows() { aligned_ = true; }

protected:
    // A width of 0 or above kMaxG4Width stops the decoder before its first row (BadWidth).
    FaxRowDecoder(const std::uint8_t* data, std::size_t size, std::uint32_t width);
    bool Fail(G4Stop stop);
    // After a row's codes: the row kept and handed out into `row`, or the stop they ended with.
    bool EndRow(G4Stop stop, std::uint8_t* row);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
    std::uint32_t width_;
    std::uint32_t rows_ = 0;
    G4Stop stop_ = G4Stop::None;
    bool aligned_ = false;
    RowCoder rows_coder_;
};

class Group4Decoder : public FaxRowDecoder {
public:
    Group4Decoder(const std::uint8_t* data, std::size_t size, std::uint32_t width)
        : FaxRowDecoder(data, size, width) {}

    // The next row into `row` (RowBytes() bytes, most significant bit first, 1 = black; null: the
    // row's changing elements only, in Changes()). False when there is none: Stop() says why,
    // and `row` holds nothing of a row cut short.
    bool NextRow(std::uint8_t* row);
};

// How a Group 3 (T.4) page is coded: Modified Huffman (TIFF compression 2: 1-D rows, each from
// a byte boundary, no end-of-line codes), or T.4 1-D or 2-D (compression 3) with an end-of-line
// code before each row, with fill bits before it or not (T4Options bit 2).
enum class G3Coding { ModifiedHuffman, OneD, TwoD };

class Group3Decoder : public FaxRowDecoder {
public:
    Group3Decoder(const std::uint8_t* data, std::size_t size, std::uint32_t width, G3Coding coding)
        : FaxRowDecoder(data, size, width), coding_(coding) {}
    // As Group4Decoder::NextRow; the return-to-control code (six end-of-line codes) ends the
    // page as the end of block does.
    bool NextRow(std::uint8_t* row);
    // OneD and TwoD rows may come without their end-of-line codes (PDF's EndOfLine false).
    void EndOfLineOptional() { eolOptional_ = true; }

private:
    G3Coding coding_;
    bool eolOptional_ = false;
};

// Sets bits [from, to) of a packed row (most significant bit first).
void SetBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to);

} // namespace scanleaf::core
