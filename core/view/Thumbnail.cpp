#include "core/view/Thumbnail.h"

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

Thumbnailer::Thumbnailer(std::uint32_t width, std::uint32_t height, std::uint32_t outWidth, std::uint32_t outHeight)
    : width_(std::max<std::uint32_t>(width, 1)), height_(std::max<std::uint32_t>(height, 1)),
      outWidth_(std::clamp<std::uint32_t>(outWidth, 1, width_)), outHeight_(std::clamp<std::uint32_t>(outHeight, 1, height_)),
      columnStart_(outWidth_ + 1), black_(outWidth_, 0), grey_(std::size_t(outWidth_) * outHeight_, 255) {
    for (std::uint32_t c = 0; c <= outWidth_; ++c)
        columnStart_[c] = std::uint32_t(std::uint64_t(c) * width_ / outWidth_);
    columnOf_.resize(width_);
    for (std::uint32_t c = 0; c < outWidth_; ++c)
        std::fill(columnOf_.begin() + columnStart_[c], columnOf_.begin() + columnStart_[c + 1], c);
}

void Thumbnailer::Fit(std::uint32_t width, std::uint32_t height, std::uint32_t longest, std::uint32_t& outWidth,
                      std::uint32_t& outHeight) {
    outWidth = std::max<std::uint32_t>(width, 1);
    outHeight = std::max<std::uint32_t>(height, 1);
    if (longest == 0 || (outWidth <= longest && outHeight <= longest)) return;
    if (outWidth >= outHeight) {
        outHeight = std::max<std::uint32_t>(1, std::uint32_t((std::uint64_t(outHeight) * longest + outWidth / 2) / outWidth));
        outWidth = longest;
    } else {
        outWidth = std::max<std::uint32_t>(1, std::uint32_t((std::uint64_t(outWidth) * longest + outHeight / 2) / outHeight));
        outHeight = longest;
    }
}

std::uint32_t Thumbnailer::OutRow(std::uint32_t line) const {
    return std::uint32_t(std::uint64_t(line) * outHeight_ / height_);
}

void Thumbnailer::AddLine(G4Changes changes) {
    if (line_ >= height_) return;
    // Each black run into the columns it covers: its first and last from the table, whole ones between.
    for (std::size_t i = 0; i < changes.size; i += 2) {
        const std::uint32_t from = std::min(changes.data[i], width_);
        const std::uint32_t to = i + 1 < changes.size ? std::min(changes.data[i + 1], width_) : width_;
        if (from >= to) continue;
        std::uint32_t c = columnOf_[from];
        const std::uint32_t last = columnOf_[to - 1];
        if (c == last) {
            black_[c] += to - from;
            continue;
        }
        black_[c] += columnStart_[c + 1] - from;
        for (++c; c < last; ++c) black_[c] += columnStart_[c + 1] - columnStart_[c];
        black_[last] += to - columnStart_[last];
    }
    EndLine();
}

namespace {

// Set bits, in halves: no call into the compiler's runtime where the processor has no such count.
int Ones(std::uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return int((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

// The black pels of the 8 bytes from `p`, in whatever order they come.
int BlackInWord(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v ? Ones(std::uint32_t(v)) + Ones(std::uint32_t(v >> 32)) : 0; // most of a drawing is white
}

struct ByteOnes {
    std::uint8_t count[256];
    constexpr ByteOnes() : count() {
        for (int i = 0; i < 256; ++i) count[i] = std::uint8_t((i & 1) + (i >> 1 & 1) + (i >> 2 & 1) + (i >> 3 & 1) + (i >> 4 & 1) +
                                                              (i >> 5 & 1) + (i >> 6 & 1) + (i >> 7 & 1));
    }
};
constexpr ByteOnes kByteOnes;

} // namespace

void Thumbnailer::AddPackedLine(const std::uint8_t* row, std::uint32_t from) {
    if (line_ >= height_) return;
    // Black pels before a pel, counted as the column starts go right: each byte is read once (eight
    // at a time where they lie between two starts), each start costs a part of a byte.
    std::size_t byte = 0;
    std::uint64_t counted = 0; // black pels in the bytes before `byte`
    auto before = [&](std::uint64_t pel) {
        const std::size_t target = std::size_t(pel / 8);
        for (; byte < target && byte % 8; ++byte) counted += kByteOnes.count[row[byte]];
        for (; byte + 8 <= target; byte += 8) counted += std::uint64_t(BlackInWord(row + byte));
        for (; byte < target; ++byte) counted += kByteOnes.count[row[byte]];
        const unsigned part = unsigned(pel % 8);
        return counted + (part ? kByteOnes.count[row[target] >> (8 - part)] : 0);
    };
    std::uint64_t start = before(from);
    for (std::uint32_t c = 0; c < outWidth_; ++c) {
        const std::uint64_t end = before(std::uint64_t(from) + columnStart_[c + 1]);
        black_[c] += end - start;
        start = end;
    }
    EndLine();
}

void Thumbnailer::EndLine() {
    ++line_;
    if (line_ == height_ || OutRow(line_) != OutRow(line_ - 1)) Flush();
}

// The first line that output row `row` stands for.
std::uint32_t Thumbnailer::FirstLine(std::uint32_t row) const {
    return std::uint32_t((std::uint64_t(row) * height_ + outHeight_ - 1) / outHeight_);
}

void Thumbnailer::Flush() {
    const std::uint32_t row = OutRow(line_ - 1);
    // The whole block's area: lines not added (a stream cut short) count as white.
    const std::uint64_t lines = (row + 1 < outHeight_ ? FirstLine(row + 1) : height_) - FirstLine(row);
    for (std::uint32_t c = 0; c < outWidth_; ++c) {
        const std::uint64_t area = lines * (columnStart_[c + 1] - columnStart_[c]);
        const std::uint64_t white = area - std::min(area, black_[c]);
        grey_[std::size_t(row) * outWidth_ + c] = area ? std::uint8_t((white * 255 + area / 2) / area) : 255;
        black_[c] = 0;
    }
}

std::vector<std::uint8_t> Thumbnailer::Finish() {
    if (line_ > 0 && line_ < height_ && OutRow(line_) == OutRow(line_ - 1)) Flush(); // a block cut short
    return std::move(grey_);
}

} // namespace scanleaf::core
