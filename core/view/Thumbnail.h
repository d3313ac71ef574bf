// A picture scaled down as it is decoded: each grey pixel of the thumbnail is the share of white
// in the block of pels it stands for (area averaging, so that a line one pel wide still shows as
// grey). Memory is one row of sums, a column for each pel of a line, and the thumbnail itself.
#pragma once

#include "core/fax/Group4.h"

#include <cstdint>
#include <vector>

namespace scanleaf::core {

class Thumbnailer {
public:
    // A picture of width by height pels into outWidth by outHeight (each at least 1, at most the
    // picture's own).
    Thumbnailer(std::uint32_t width, std::uint32_t height, std::uint32_t outWidth, std::uint32_t outHeight);

    // The next line, as its changing elements (ascending; black from the first to the second,
    // and so on, to the line's end after an odd one).
    void AddLine(G4Changes changes);
    void AddLine(const std::vector<std::uint32_t>& changes) { AddLine(G4Changes(changes.data(), changes.size())); }
    // The next line as packed pels (most significant bit first, 1 black), from pel `from` of
    // `row` on; `row` is readable up to the byte holding pel from + width.
    void AddPackedLine(const std::uint8_t* row, std::uint32_t from);
    // The grey pixels (0 black, 255 white), row after row; lines never added count as white.
    std::vector<std::uint8_t> Finish();

    // The size that keeps the proportions with the longer side `longest` (0: the picture's own).
    static void Fit(std::uint32_t width, std::uint32_t height, std::uint32_t longest, std::uint32_t& outWidth,
                    std::uint32_t& outHeight);

private:
    void EndLine();
    void Flush();
    std::uint32_t OutRow(std::uint32_t line) const;
    std::uint32_t FirstLine(std::uint32_t row) const;

    std::uint32_t width_, height_, outWidth_, outHeight_;
    std::uint32_t line_ = 0;
    std::vector<std::uint32_t> columnStart_; // the first pel of each output column, and width
    std::vector<std::uint32_t> columnOf_;    // each pel's output column
    std::vector<std::uint64_t> black_;       // black pels per output column in the current block
    std::vector<std::uint8_t> grey_;
};

} // namespace scanleaf::core
