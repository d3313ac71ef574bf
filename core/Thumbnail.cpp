#include "core/Thumbnail.h"

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

std::uint64_t Word(const std::uint8_t* row, std::size_t w) {
    const std::uint8_t* p = row + 8 * w;
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}

bool White(const std::uint8_t* row, std::size_t w) {
    std::uint64_t v;
    std::memcpy(&v, row + 8 * w, 8);
    return v == 0;
}

int BlackIn(std::uint64_t word) { return __builtin_popcountll(word); }

} // namespace

void Thumbnailer::AddPackedLine(const std::uint8_t* row, std::uint32_t from) {
    if (line_ >= height_) return;
    // Black pels before a pel, counted a word at a time as the column starts go right: each word
    // is read once, each column costs two partial words.
    std::size_t word = 0;
    std::uint64_t whole = 0; // black pels in the words before `word`
    auto before = [&](std::uint64_t pel) {
        // Most of a drawing is white: a white word costs one comparison.
        for (; word < pel / 64; ++word)
            if (!White(row, word)) whole += std::uint64_t(BlackIn(Word(row, word)));
        const unsigned part = unsigned(pel % 64);
        return whole + (part ? std::uint64_t(BlackIn(Word(row, word) >> (64 - part))) : 0);
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
