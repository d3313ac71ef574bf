// The Group 3 decoder against libtiff's: a row width, a height, a coding (Modified Huffman, T.4
// 1-D or 2-D, end-of-line codes on bytes or not) and a stream (or, with the first byte odd, a
// drawing that libtiff encodes first). Both must give the same rows up to the first problem that
// either reports, libtiff's problems being the core's too, and an encoded drawing must come back
// whole.
#include "core/fax/Group4.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/native/Libtiff.h"

#include <algorithm>

using scanleaf::core::G3Coding;
using scanleaf::core::G4Stop;
using scanleaf::core::Group3Decoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool drawing = in.ConsumeBool();
    const int kind = in.ConsumeIntegralInRange<int>(0, 4);
    const std::uint32_t width = in.ConsumeIntegralInRange<std::uint32_t>(1, 3000);
    const std::uint32_t height = in.ConsumeIntegralInRange<std::uint32_t>(1, 24);
    static const libtiff::Coding kCodings[] = {{COMPRESSION_CCITTRLE, 0},
                                               {COMPRESSION_CCITTFAX3, 0},
                                               {COMPRESSION_CCITTFAX3, 4},
                                               {COMPRESSION_CCITTFAX3, 1},
                                               {COMPRESSION_CCITTFAX3, 5}};
    const libtiff::Coding coding = kCodings[kind];
    const G3Coding ours_coding = kind == 0 ? G3Coding::ModifiedHuffman : (coding.t4Options & 1) ? G3Coding::TwoD : G3Coding::OneD;
    std::vector<std::uint8_t> stream;
    libtiff::Rows rows;
    if (drawing) {
        rows = libtiff::DrawnRows(in.ConsumeRemainingBytes<std::uint8_t>(), width, height);
        stream = libtiff::Encode(rows, width, coding);
    } else {
        stream = in.ConsumeRemainingBytes<std::uint8_t>();
    }
    Group3Decoder decoder(stream.data(), stream.size(), width, ours_coding);
    libtiff::Rows ours;
    std::vector<std::uint8_t> row(decoder.RowBytes());
    std::vector<std::size_t> starts; // the byte where each row's codes begin
    while (ours.size() < height) {
        starts.push_back(decoder.BytesUsed());
        if (!decoder.NextRow(row.data())) break;
        ours.push_back(row);
    }
    if (drawing) {
        FUZZ_CHECK(ours == rows);
        return 0;
    }
    long problem = -1;
    const libtiff::Rows theirs = libtiff::Decode(stream, width, height, problem, coding);
    // No row that libtiff complains about is given as sound; the rows before are libtiff's. Save
    // near the data's end: libtiff pads a look-ahead past the end with zeros it then counts as
    // read, so the byte alignment after such a row skips a bit too many and the next row, whole
    // in the data, comes out wrong and named.
    FUZZ_CHECK(problem < 0 || ours.size() <= std::size_t(problem) || starts[std::size_t(problem)] + 2 >= stream.size());
    // Only the rows libtiff gives as sound are compared: past the data's end its misaligned row
    // can differ from the core's (which decodes what the bits say) and is named by libtiff.
    const std::size_t sound = problem < 0 ? theirs.size() : std::min(theirs.size(), std::size_t(problem));
    for (std::size_t r = 0; r < ours.size() && r < sound; ++r) FUZZ_CHECK(theirs[r] == ours[r]);
    return 0;
}
