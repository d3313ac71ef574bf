// CCITT Group 4 (T.6) encoding, row by row with two rows of memory: packed rows in, the stream
// of a CALS type 1 file (or a one-strip Group 4 TIFF) out. The modes are chosen as libtiff's
// encoder chooses them, and the stream ends as its does (end-of-block, padded to a byte), so the
// bytes equal libtiff's for the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scanleaf::core {

class Group4Encoder {
public:
    // A width of 0 or above kMaxG4Width makes an encoder that is not Valid() and takes no rows.
    explicit Group4Encoder(std::uint32_t width);

    bool Valid() const { return valid_; }
    std::uint32_t Width() const { return width_; }
    std::size_t RowBytes() const { return (std::size_t(width_) + 7) / 8; }
    std::uint32_t Rows() const { return rows_; }

    // The next row: RowBytes() bytes, most significant bit first, 1 = black; bits past the width
    // are ignored.
    void AddRow(const std::uint8_t* row);
    // The end-of-block code and the padding to a byte; rows after it are ignored.
    void Finish();
    bool Finished() const { return finished_; }

    // The whole bytes encoded so far; the caller may take them and clear the buffer.
    std::vector<std::uint8_t>& Bytes() { return out_; }

private:
    void Put(std::uint32_t code, unsigned length);
    void PutRun(std::uint32_t run, bool black);

    std::uint32_t width_;
    bool valid_;
    bool finished_ = false;
    std::uint32_t rows_ = 0;
    // The changing elements of the reference row and of the row being coded, each followed by
    // three copies of the width.
    std::vector<std::uint32_t> ref_, cur_;
    std::vector<std::uint8_t> out_;
    std::uint32_t pending_ = 0; // bits not yet a whole byte, the latest lowest
    unsigned pendingBits_ = 0;
};

// Where a packed row changes colour (the first pel of each run, a black pel 0 counting as a
// change from white), ascending, below the width; `out` holds width entries. Returns the count.
std::size_t FindChanges(const std::uint8_t* row, std::uint32_t width, std::uint32_t* out);

// A whole picture of `height` rows, `stride` bytes apart.
std::vector<std::uint8_t> EncodeGroup4(const std::uint8_t* rows, std::size_t stride, std::uint32_t width,
                                       std::uint32_t height);

} // namespace scanleaf::core
