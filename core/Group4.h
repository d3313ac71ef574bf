// CCITT Group 4 (T.6) decoding, row by row: the image data of a CALS type 1 file. Memory is two
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
};

const char* G4StopText(G4Stop stop);

inline constexpr std::uint32_t kMaxG4Width = 1u << 20;

class G4CodeTable;

class Group4Decoder {
public:
    Group4Decoder(const std::uint8_t* data, std::size_t size, std::uint32_t width);

    std::uint32_t Width() const { return width_; }
    std::size_t RowBytes() const { return (std::size_t(width_) + 7) / 8; }

    // The next row into `row` (RowBytes() bytes, most significant bit first, 1 = black; null: the
    // row's changing elements only, in Changes()). False when there is none: Stop() says why,
    // and `row` holds nothing of a row cut short.
    bool NextRow(std::uint8_t* row);
    G4Stop Stop() const { return stop_; }
    std::uint32_t Rows() const { return rows_; }
    // Bytes taken up to the end-of-block code (or all of them).
    std::size_t BytesUsed() const { return (bit_ + 7) / 8 < size_ ? (bit_ + 7) / 8 : size_; }
    // The changing elements of the last row: where the colour flips, ascending (two at the same
    // place for a run of length 0).
    const std::vector<std::uint32_t>& Changes() const { return ref_; }

private:
    std::uint32_t Peek(unsigned bits) const;
    bool Take(unsigned bits);
    bool RestIsZero() const;
    bool ReadRun(bool black, std::uint32_t& run);
    bool Fail(G4Stop stop);
    void AddChange(std::uint32_t at);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
    std::uint32_t width_;
    const G4CodeTable* modes_;
    const G4CodeTable* white_;
    const G4CodeTable* black_;
    std::uint32_t rows_ = 0;
    G4Stop stop_ = G4Stop::None;
    std::vector<std::uint32_t> ref_; // the reference row's changing elements
    std::vector<std::uint32_t> cur_;
};

// Sets bits [from, to) of a packed row (most significant bit first).
void SetBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to);

} // namespace scanleaf::core
