// The Group 4 encoder against libtiff's on the same pels in the same run: decode_bench's pages,
// the two encoders taking turns, medians of the runs in milliseconds and their ratio; each
// stream is checked equal to libtiff's. Not a test.
//   encode_bench [--quick] [--only TEXT] [--runs N]
#include "core/fax/Group4Encoder.h"
#include "tests/native/BenchPages.h"
#include "tests/native/Libtiff.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace benchpages;

int main(int argc, char** argv) {
    bool quick = false;
    const char* only = "";
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    }
    if (quick) runs = 1;
    // libtiff writes a file: one in memory where the system has it, so that little but its
    // encoding is timed.
    const std::string folder = std::system("test -d /dev/shm") == 0 ? "/dev/shm" : "/tmp";
    const std::string path = folder + "/scanleaf-encode-bench.tif";
    std::printf("%-22s %9s %11s %10s %7s %6s\n", "page", "stream KB", "libtiff ms", "ours ms", "ratio", "same");
    std::mt19937 rng(7);
    bool allSame = true;
    for (const Page& page : kPages) {
        if ((quick && page.width > 5000) || !std::strstr(page.name, only)) continue;
        const libtiff::Rows rows = Draw(page, rng);
        const std::size_t rowBytes = (page.width + 7) / 8;
        std::vector<std::uint8_t> packed(rowBytes * page.height);
        for (std::uint32_t r = 0; r < page.height; ++r) std::memcpy(&packed[r * rowBytes], rows[r].data(), rowBytes);
        std::vector<std::uint8_t> ours;
        const std::vector<double> median = MedianMs(runs, {[&] {
            if (TIFF* tif = TIFFOpen(path.c_str(), "w")) {
                libtiff::Describe(tif, page.width, page.height);
                TIFFWriteEncodedStrip(tif, 0, packed.data(), tmsize_t(packed.size()));
                TIFFClose(tif);
            }
        }, [&] { ours = scanleaf::core::EncodeGroup4(packed.data(), rowBytes, page.width, page.height); }});
        const bool same = ours == libtiff::Encode(rows, page.width);
        allSame = allSame && same;
        std::printf("%-22s %9zu %11.1f %10.1f %7.2f %6s\n", page.name, ours.size() / 1024, median[0], median[1],
                    median[1] / median[0], same ? "yes" : "NO");
    }
    std::remove(path.c_str());
    return allSame ? 0 : 1;
}
