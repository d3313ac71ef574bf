// The Group 4 decoder against libtiff's on the same streams in the same run, and the thumbnail
// path against a bare full decode: generated drawings from A4 to A0 at 200 and 400 dpi (lines,
// circles and lettering), and one dense halftone-like page. Prints milliseconds (best of a few
// runs) and the ratios; not a test.
//   decode_bench [--quick] [--only TEXT] [--runs N] [--cals DIR]
// (--only: the pages whose name holds TEXT; --cals: also each page as a CALS type 1 file in DIR)
#include "core/CalsImage.h"
#include "core/Group4.h"
#include "core/Thumbnail.h"
#include "tests/native/Libtiff.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace scanleaf::core;
using Clock = std::chrono::steady_clock;

struct Page {
    const char* name;
    std::uint32_t width, height;
    bool halftone;
};

void Set(libtiff::Rows& rows, std::int64_t x, std::int64_t y) {
    if (y < 0 || x < 0 || y >= std::int64_t(rows.size()) || x >= std::int64_t(rows[0].size() * 8)) return;
    rows[std::size_t(y)][std::size_t(x) >> 3] |= std::uint8_t(0x80 >> (x & 7));
}

// A drawing: a frame, a title block, lines, circles and rows of letter-sized blobs.
libtiff::Rows Draw(const Page& page, std::mt19937& rng) {
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
std::vector<double> BestMs(int runs, const std::vector<std::function<void()>>& works) {
    std::vector<double> best(works.size(), 1e30);
    for (int i = 0; i < runs; ++i)
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = Clock::now();
            works[w]();
            best[w] = std::min(best[w], std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    return best;
}

} // namespace

// The page as a CALS type 1 file: the 2048-byte header, then the stream.
void WriteCals(const std::string& path, const Page& page, int dpi, const std::vector<std::uint8_t>& stream) {
    std::string header(kHeaderSize, ' ');
    const std::string records[] = {"srcdocid: NONE", "rtype: 1", "rorient: 000,270",
                                   "rpelcnt: " + std::to_string(page.width) + "," + std::to_string(page.height),
                                   "rdensty: " + std::to_string(dpi), "notes: NONE"};
    for (std::size_t i = 0; i < 6; ++i) header.replace(i * kSlotSize, records[i].size(), records[i]);
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(header.data(), 1, header.size(), out);
        std::fwrite(stream.data(), 1, stream.size(), out);
        std::fclose(out);
    }
}

int main(int argc, char** argv) {
    bool quick = false;
    std::string cals;
    const char* only = "";
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--cals") == 0 && i + 1 < argc) cals = argv[++i];
    }
    const Page pages[] = {
        {"A4 200 dpi", 1654, 2339, false}, {"A4 400 dpi", 3307, 4677, false}, {"A3 400 dpi", 4677, 6614, false},
        {"A1 200 dpi", 4677, 6622, false}, {"A0 200 dpi", 6622, 9362, false}, {"A0 400 dpi", 13244, 18724, false},
        {"A4 halftone 200 dpi", 1654, 2339, true},
    };
    if (quick) runs = 1;
    std::printf("%-22s %9s %11s %10s %7s %11s %9s\n", "page", "stream KB", "libtiff ms", "ours ms", "ratio",
                "thumb ms", "/ decode");
    std::mt19937 rng(7);
    for (const Page& page : pages) {
        if ((quick && page.width > 5000) || !std::strstr(page.name, only)) continue;
        const libtiff::Rows rows = Draw(page, rng);
        const std::vector<std::uint8_t> stream = libtiff::Encode(rows, page.width);
        if (!cals.empty()) {
            std::string name = page.name;
            for (char& c : name)
                if (c == ' ') c = '-';
            WriteCals(cals + "/" + name + ".cal", page, std::strstr(page.name, "400") ? 400 : 200, stream);
        }
        // libtiff reads its strip from a file (in the page cache by then); only its decoding is timed.
        libtiff::TempPath path;
        libtiff::WriteRaw(stream, page.width, page.height, path.c_str());
        std::vector<std::uint8_t> strip(std::size_t(page.height) * ((page.width + 7) / 8));
        std::vector<std::uint8_t> row((page.width + 7) / 8);
        std::uint64_t sum = 0;
        const std::vector<double> best = BestMs(runs, {[&] {
            if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
                TIFFReadEncodedStrip(tif, 0, strip.data(), tmsize_t(strip.size()));
                TIFFClose(tif);
            }
        }, [&] {
            Group4Decoder decoder(stream.data(), stream.size(), page.width);
            while (decoder.NextRow(row.data())) sum += row[0];
        }, [&] {
            Group4Decoder decoder(stream.data(), stream.size(), page.width);
            std::uint32_t tw = 0, th = 0;
            Thumbnailer::Fit(page.width, page.height, 256, tw, th);
            Thumbnailer thumbnail(page.width, page.height, tw, th);
            while (decoder.NextRow(nullptr)) thumbnail.AddLine(decoder.Changes());
            sum += thumbnail.Finish()[0];
        }});
        const double theirs = best[0], ours = best[1], thumb = best[2];
        std::printf("%-22s %9zu %11.1f %10.1f %7.2f %11.1f %9.2f\n", page.name, stream.size() / 1024, theirs, ours,
                    ours / theirs, thumb, thumb / ours);
    }
    return 0;
}
