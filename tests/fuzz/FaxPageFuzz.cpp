// The fax page decoder on pages of any layout: a width, a height, a coding (Modified Huffman,
// Group 3 1-D or 2-D, Group 4), a fill order, 0 as black or white, and strips of any number of
// rows or tiles of any size. Either each strip is a drawing libtiff encoded (the first byte odd)
// or its bytes are the input's. What must hold: the decoder never reads past a piece, hands out
// at most the page's rows, names a problem whenever it stops early, and gives an encoded drawing
// back pel for pel, whatever the fill order and the sense of 0.
#include "core/tiff/FaxPage.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/native/Libtiff.h"

#include <algorithm>
#include <cstring>

using namespace scanleaf::core;

namespace {

std::uint8_t Reversed(std::uint8_t b) {
    b = std::uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = std::uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return std::uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool drawing = in.ConsumeBool();
    TiffPageInfo page;
    page.width = in.ConsumeIntegralInRange<std::uint32_t>(1, 400);
    page.height = in.ConsumeIntegralInRange<std::uint32_t>(1, 40);
    const int kind = in.ConsumeIntegralInRange<int>(0, 3);
    static const libtiff::Coding kCodings[] = {
        {COMPRESSION_CCITTRLE, 0}, {COMPRESSION_CCITTFAX3, 0}, {COMPRESSION_CCITTFAX3, 1}, {COMPRESSION_CCITTFAX4, 0}};
    const libtiff::Coding coding = kCodings[kind];
    page.compression = coding.compression;
    page.t4Options = coding.t4Options;
    page.fillOrder = in.ConsumeBool() ? 2 : 1;
    page.photometric = in.ConsumeBool() ? 1 : 0;
    page.tiled = in.ConsumeIntegralInRange<int>(0, 3) == 0;
    if (page.tiled) {
        page.tileWidth = 16 * in.ConsumeIntegralInRange<std::uint32_t>(1, 8);
        page.tileLength = 16 * in.ConsumeIntegralInRange<std::uint32_t>(1, 3);
    } else {
        page.rowsPerStrip = in.ConsumeIntegralInRange<std::uint32_t>(1, page.height);
    }
    const std::uint32_t pieceWidth = page.tiled ? page.tileWidth : page.width;
    const std::uint32_t pieceRows = page.tiled ? page.tileLength : page.rowsPerStrip;
    const std::uint32_t across = page.tiled ? (page.width + pieceWidth - 1) / pieceWidth : 1;
    const std::uint32_t down = (page.height + pieceRows - 1) / pieceRows;
    const std::vector<std::uint8_t> bits = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    // The page's rows (drawn), and each piece's bytes, laid one after the other in a file.
    const libtiff::Rows rows = libtiff::DrawnRows(bits, page.width, page.height);
    std::string file(8, '\0');
    for (std::uint32_t d = 0; d < down; ++d)
        for (std::uint32_t a = 0; a < across; ++a) {
            std::vector<std::uint8_t> piece;
            if (drawing) {
                // The piece's rows of the page: a tile's part of them, rows past the page white.
                libtiff::Rows part;
                for (std::uint32_t r = 0; r < pieceRows && (page.tiled || d * pieceRows + r < page.height); ++r) {
                    const std::uint32_t y = d * pieceRows + r;
                    std::vector<std::uint8_t> row((pieceWidth + 7) / 8, 0);
                    for (std::uint32_t x = 0; x < pieceWidth && y < page.height; ++x) {
                        const std::uint32_t px = a * pieceWidth + x;
                        if (px < page.width && (rows[y][px >> 3] & (0x80 >> (px & 7))))
                            row[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
                    }
                    if (page.photometric == 1)
                        for (std::uint8_t& b : row) b = std::uint8_t(~b);
                    if (pieceWidth % 8) row.back() &= std::uint8_t(0xFF << (8 - pieceWidth % 8));
                    part.push_back(row);
                }
                piece = libtiff::Encode(part, pieceWidth, coding);
                if (page.fillOrder == 2)
                    for (std::uint8_t& b : piece) b = Reversed(b);
            } else {
                piece = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 200));
            }
            page.stripOffsets.push_back(file.size());
            page.stripByteCounts.push_back(piece.size());
            file.append(piece.begin(), piece.end());
        }
    if (!TiffPageProblem(page, file.size()).empty()) return 0;

    FaxPageDecoder decoder(page, [&](std::uint64_t at, std::size_t n, std::uint8_t* out) {
        FUZZ_CHECK(at <= file.size() && n <= file.size() - at); // only the pieces are read
        std::memcpy(out, file.data() + at, n);
        return true;
    });
    std::vector<std::uint8_t> row(decoder.RowBytes());
    std::uint32_t got = 0;
    bool same = true;
    while (decoder.NextRow(row.data())) {
        FUZZ_CHECK(got < page.height);
        if (page.width % 8) FUZZ_CHECK((row.back() & std::uint8_t(0xFF >> (page.width % 8))) == 0);
        same = same && row == rows[got];
        ++got;
    }
    FUZZ_CHECK(got == decoder.Rows());
    if (got < page.height) FUZZ_CHECK(!decoder.Problem().empty());
    // An encoded drawing comes back whole, whatever the layout, fill order and sense of 0. (Pels
    // of a row past the width of a tile libtiff may code as it likes; those rows are compared.)
    if (drawing) {
        FUZZ_CHECK(decoder.Problem().empty());
        FUZZ_CHECK(got == page.height);
        FUZZ_CHECK(same);
    }
    return 0;
}
