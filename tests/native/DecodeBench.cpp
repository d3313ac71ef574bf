// The Group 4 decoder against libtiff's on the same streams in the same run, and the thumbnail
// path against a bare full decode: generated drawings from A4 to A0 at 200 and 400 dpi (lines,
// circles and lettering), and one dense halftone-like page. Prints milliseconds (best of a few
// runs) and the ratios; not a test.
//   decode_bench [--quick] [--only TEXT] [--runs N] [--cals DIR]
// (--only: the pages whose name holds TEXT; --cals: also each page as a CALS type 1 file in DIR)
#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "core/view/Thumbnail.h"
#include "tests/native/BenchPages.h"
#include "tests/native/Libtiff.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace scanleaf::core;
using namespace benchpages;

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
    if (quick) runs = 1;
    std::printf("%-22s %9s %11s %10s %7s %11s %9s\n", "page", "stream KB", "libtiff ms", "ours ms", "ratio",
                "thumb ms", "/ decode");
    std::mt19937 rng(7);
    for (const Page& page : kPages) {
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
