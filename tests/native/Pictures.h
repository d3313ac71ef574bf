// Pictures for the Group 4 tests: packed rows, 1 = black, no bits past the width.
#pragma once

#include "tests/native/Libtiff.h"

#include <random>

namespace pictures {

// A drawing of horizontal and vertical strokes, noise and long runs, in the row's bits only.
inline libtiff::Rows Drawing(std::uint32_t width, std::uint32_t height, std::mt19937& rng) {
    const std::size_t bytes = (width + 7) / 8;
    libtiff::Rows rows(height, std::vector<std::uint8_t>(bytes, 0));
    std::uniform_int_distribution<std::uint32_t> x(0, width - 1), y(0, height - 1), kind(0, 3);
    for (int stroke = 0; stroke < 40; ++stroke) {
        const std::uint32_t x0 = x(rng), y0 = y(rng), k = kind(rng);
        for (std::uint32_t r = y0; r < height && r < y0 + (k == 0 ? 1 + rng() % height : 3); ++r)
            for (std::uint32_t c = x0; c < width && c < x0 + (k == 1 ? 1 + rng() % width : k == 2 ? 1 : 4); ++c)
                rows[r][c >> 3] |= std::uint8_t(0x80 >> (c & 7));
    }
    for (std::uint32_t r = 0; r < height; ++r)
        if (rng() % 7 == 0)
            for (std::size_t b = 0; b < bytes; ++b) rows[r][b] ^= std::uint8_t(rng());
    for (auto& row : rows)
        if (width % 8) row.back() &= std::uint8_t(0xFF << (8 - width % 8)); // no bits past the width
    return rows;
}

} // namespace pictures
