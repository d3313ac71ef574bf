// The pages that decode_bench and encode_bench share: generated drawings from A4 to A0 at 200
// and 400 dpi (lines, circles and lettering) and one dense halftone-like page, and the timing of
// works that take turns.
#pragma once

#include "tests/native/Libtiff.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>

namespace benchpages {

using Clock = std::chrono::steady_clock;

struct Page {
    const char* name;
    std::uint32_t width, height;
    bool halftone;
};

inline void Set(libtiff::Rows& rows, std::int64_t x, std::int64_t y) {
    if (y < 0 || x < 0 || y >= std::int64_t(rows.size()) || x >= std::int64_t(rows[0].size() * 8)) return;
    rows[std::size_t(y)][std::size_t(x) >> 3] |= std::uint8_t(0x80 >> (x & 7));
}

// A drawing: a frame, a title block, lines, circles and rows of letter-sized blobs.
inline libtiff::Rows Draw(const Page& page, std::mt19937& rng) {
    libtiff::Rows rows(page.height, std::vector<std::uint8_t>((page.width + 7) / 8, 0));
    const std::int64_t w = page.width, h = page.height, pen = std::max<std::int64_t>(2, w / 2000);
    if (page.halftone) {
        for (std::int64_t y = 0; y < h; ++y)
            for (std::int64_t x = 0; x < w; ++x) {
                const double level = 0.5 + 0.5 * std::sin(double(x) / 97.0) * std::cos(double(y) / 131.0);
                const double cell = double((x % 4) * 4 + (y % 4)) / 16.0;
                if (level > cell) Set(rows, x, y);
            }
        return rows;
    }
    auto line = [&](std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        const std::int64_t steps = std::max(std::llabs(x1 - x0), std::llabs(y1 - y0)) + 1;
        for (std::int64_t s = 0; s < steps; ++s)
            for (std::int64_t t = 0; t < pen; ++t)
                Set(rows, x0 + (x1 - x0) * s / steps + t, y0 + (y1 - y0) * s / steps + t);
    };
    line(w / 40, h / 40, w - w / 40, h / 40);
    line(w / 40, h - h / 40, w - w / 40, h - h / 40);
    line(w / 40, h / 40, w / 40, h - h / 40);
    line(w - w / 40, h / 40, w - w / 40, h - h / 40);
    for (int i = 0; i < 200; ++i) {
        const std::int64_t x = rng() % w, y = rng() % h;
        if (i % 2)
            line(x, y, x + std::int64_t(rng() % (w / 3)), y);
        else
            line(x, y, x, y + std::int64_t(rng() % (h / 3)));
    }
    for (int i = 0; i < 30; ++i) {
        const double cx = double(rng() % w), cy = double(rng() % h), r = double(20 + rng() % (w / 10));
        for (int a = 0; a < 4000; ++a) Set(rows, std::int64_t(cx + r * std::cos(a / 636.6)), std::int64_t(cy + r * std::sin(a / 636.6)));
    }
    const std::int64_t letter = std::max<std::int64_t>(12, w / 250);
    for (int block = 0; block < 40; ++block) {
        const std::int64_t bx = rng() % (w * 3 / 4), by = rng() % (h * 9 / 10);
        for (int row = 0; row < 6; ++row)
            for (int c = 0; c < 30; ++c)
                for (int stroke = 0; stroke < 4; ++stroke) {
                    const std::int64_t x = bx + c * letter + std::int64_t(rng() % letter), y = by + row * 2 * letter;
                    line(x, y, x + std::int64_t(rng() % (letter / 2 + 1)), y + std::int64_t(rng() % letter));
                }
    }
    return rows;
}

// Each work's best time in milliseconds, the works taking turns run after run, so that a slow
// spell of a shared machine falls on all of them alike.
inline std::vector<double> BestMs(int runs, const std::vector<std::function<void()>>& works) {
    std::vector<double> best(works.size(), 1e30);
    for (int i = 0; i < runs; ++i)
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = Clock::now();
            works[w]();
            best[w] = std::min(best[w], std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    return best;
}


// Each work's median time in milliseconds over `runs` turns.
inline std::vector<double> MedianMs(int runs, const std::vector<std::function<void()>>& works) {
    std::vector<std::vector<double>> times(works.size());
    for (int i = 0; i < runs; ++i)
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = Clock::now();
            works[w]();
            times[w].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t.empty() ? 0 : t[t.size() / 2]);
    }
    return medians;
}

inline const Page kPages[] = {
    {"A4 200 dpi", 1654, 2339, false}, {"A4 400 dpi", 3307, 4677, false}, {"A3 400 dpi", 4677, 6614, false},
    {"A1 200 dpi", 4677, 6622, false}, {"A0 200 dpi", 6622, 9362, false}, {"A0 400 dpi", 13244, 18724, false},
    {"A4 halftone 200 dpi", 1654, 2339, true},
};

} // namespace benchpages
