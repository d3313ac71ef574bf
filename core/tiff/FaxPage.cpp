#include "core/tiff/FaxPage.h"

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

namespace {

// A byte with its bits in the other order: FillOrder 2 puts a stream's first bit lowest.
std::uint8_t Reversed(std::uint8_t b) {
    b = std::uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = std::uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return std::uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// `count` bits of `from` (from its first) into `to` from bit `at`, most significant first.
void CopyBits(std::uint8_t* to, std::uint32_t at, const std::uint8_t* from, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i)
        if (from[i >> 3] & (0x80 >> (i & 7))) to[(at + i) >> 3] |= std::uint8_t(0x80 >> ((at + i) & 7));
}

} // namespace

class FaxPiece {
public:
    virtual ~FaxPiece() = default;
    virtual bool NextRow(std::uint8_t* row) = 0;
    virtual G4Stop Stop() const = 0;
};

namespace {

template <class Decoder>
class PieceOf : public FaxPiece {
public:
    template <class... Args>
    explicit PieceOf(Args... args) : decoder_(args...) {}
    bool NextRow(std::uint8_t* row) override { return decoder_.NextRow(row); }
    G4Stop Stop() const override { return decoder_.Stop(); }

private:
    Decoder decoder_;
};

} // namespace

FaxPageDecoder::~FaxPageDecoder() = default;

std::unique_ptr<FaxPiece> FaxPageDecoder::Piece(std::uint32_t width) const {
    if (page_.compression == 4) return std::make_unique<PieceOf<Group4Decoder>>(bytes_.data(), bytes_.size(), width);
    const G3Coding coding = page_.compression == 2 ? G3Coding::ModifiedHuffman
                            : (page_.t4Options & 1) ? G3Coding::TwoD
                                                    : G3Coding::OneD;
    return std::make_unique<PieceOf<Group3Decoder>>(bytes_.data(), bytes_.size(), width, coding);
}

FaxPageDecoder::FaxPageDecoder(const TiffPageInfo& page, ByteRangeReader read, int threshold)
    : page_(page), read_(std::move(read)) {
    flip_ = page_.photometric == 1 ? 0xFF : 0;
    if (page_.photometric == 3 && page_.colorMap.size() == 6) {
        const std::uint16_t first[3] = {page_.colorMap[0], page_.colorMap[2], page_.colorMap[4]};
        const std::uint16_t second[3] = {page_.colorMap[1], page_.colorMap[3], page_.colorMap[5]};
        bool dark[2];
        std::string problem;
        if (!PaletteDark(first, second, threshold, dark, problem)) Fail(problem);
        flip_ = dark[0] && !dark[1] ? 0xFF : 0;
        filled_ = dark[0] == dark[1];
        fill_ = dark[0] ? 0xFF : 0;
    }
    if (!problem_.empty()) {
    } else if (!IsFaxPage(page_)) {
        Fail("compression " + std::to_string(page_.compression) + " is no fax coding");
    } else if (page_.photometric == 3 && page_.colorMap.size() != 6) {
        Fail("a fax page of a palette without a ColorMap of two entries");
    } else if (page_.photometric > 1 && page_.photometric != 3) {
        Fail("a fax page whose PhotometricInterpretation is " + std::to_string(page_.photometric) +
             ", neither 0 (0 is white), 1 (0 is black) nor 3 (a palette)");
    } else if (page_.fillOrder != 1 && page_.fillOrder != 2) {
        Fail("FillOrder " + std::to_string(page_.fillOrder) + ", neither 1 nor 2");
    } else if ((page_.compression == 4 && (page_.t6Options & 2)) || (page_.compression == 3 && (page_.t4Options & 2))) {
        Fail(std::string("uncompressed mode (") + (page_.compression == 4 ? "T6" : "T4") +
             "Options bit 1), which no drawing uses");
    } else if (page_.stripOffsets.empty() || page_.width == 0 || page_.width > kMaxG4Width) {
        Fail("no pieces to decode");
    }
}

bool FaxPageDecoder::Fail(std::string problem) {
    if (problem_.empty()) problem_ = std::move(problem);
    return false;
}

std::string FaxPageDecoder::Where(std::size_t piece, std::uint32_t row, G4Stop stop) const {
    return std::string(page_.tiled ? "tile " : "strip ") + std::to_string(piece + 1) + ", row " +
           std::to_string(row + 1) + ": " + G4StopText(stop);
}

bool FaxPageDecoder::Load(std::size_t piece) {
    const std::uint64_t size = page_.stripByteCounts[piece];
    if (size > (std::uint64_t(1) << 31)) return Fail(std::string(page_.tiled ? "tile " : "strip ") +
                                                     std::to_string(piece + 1) + " is larger than 2 GB");
    bytes_.assign(std::size_t(size), 0);
    if (size && !read_(page_.stripOffsets[piece], bytes_.size(), bytes_.data()))
        return Fail(std::string(page_.tiled ? "tile " : "strip ") + std::to_string(piece + 1) + " cannot be read");
    if (page_.fillOrder == 2)
        for (std::uint8_t& b : bytes_) b = Reversed(b);
    return true;
}

bool FaxPageDecoder::NextStrip() {
    const std::uint32_t perStrip = page_.rowsPerStrip ? std::min(page_.rowsPerStrip, page_.height) : page_.height;
    stripIndex_ = row_ / perStrip;
    if (stripIndex_ >= page_.stripOffsets.size()) return Fail("no strip holds row " + std::to_string(row_ + 1));
    if (!Load(stripIndex_)) return false;
    strip_ = Piece(page_.width);
    stripRows_ = std::min(perStrip, page_.height - row_);
    return true;
}

bool FaxPageDecoder::NextBand() {
    const std::uint32_t across = (page_.width + page_.tileWidth - 1) / page_.tileWidth;
    const std::size_t down = row_ / page_.tileLength;
    bandFirst_ = row_;
    bandRows_ = std::min(page_.tileLength, page_.height - row_);
    band_.assign(RowBytes() * bandRows_, 0);
    std::vector<std::uint8_t> tileRow((std::size_t(page_.tileWidth) + 7) / 8);
    for (std::uint32_t t = 0; t < across; ++t) {
        const std::size_t piece = down * across + t;
        if (!Load(piece)) return false;
        const std::unique_ptr<FaxPiece> tile = Piece(page_.tileWidth);
        const std::uint32_t x = t * page_.tileWidth, width = std::min(page_.tileWidth, page_.width - x);
        // A tile is coded whole, its rows below the page's end included; those are not kept.
        for (std::uint32_t r = 0; r < page_.tileLength; ++r) {
            if (!tile->NextRow(tileRow.data())) {
                if (r >= bandRows_) break;
                return Fail(Where(piece, bandFirst_ + r, tile->Stop()));
            }
            if (r < bandRows_) CopyBits(band_.data() + r * RowBytes(), x, tileRow.data(), width);
        }
    }
    return true;
}

bool FaxPageDecoder::NextRow(std::uint8_t* row) {
    if (!problem_.empty() || row_ >= page_.height) return false;
    if (page_.tiled) {
        if ((row_ == 0 || row_ >= bandFirst_ + bandRows_) && !NextBand()) return false;
        std::memcpy(row, band_.data() + (row_ - bandFirst_) * RowBytes(), RowBytes());
    } else {
        if ((!strip_ || stripRows_ == 0) && !NextStrip()) return false;
        if (!strip_->NextRow(row)) return Fail(Where(stripIndex_, row_, strip_->Stop()));
        --stripRows_;
    }
    if (flip_ || filled_) {
        for (std::size_t i = 0; i < RowBytes(); ++i) row[i] = filled_ ? fill_ : std::uint8_t(row[i] ^ flip_);
        if (page_.width & 7) row[RowBytes() - 1] &= std::uint8_t(0xFF << (8 - (page_.width & 7)));
    }
    ++row_;
    return true;
}

}  // namespace scanleaf::core
