// The Group 4 decoder against libtiff's: the input is a row width, a height and a stream (or,
// with the first byte odd, a drawing that libtiff encodes first). Both must give the same rows
// up to the first problem that either reports, libtiff's problems being the core's too, and an
// encoded drawing must come back whole.
// The lines also go through a thumbnail and an orientation, and the stream's first bytes
// through the header's picture records.
#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "core/view/Thumbnail.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/native/Libtiff.h"

#include <algorithm>

using scanleaf::core::G4Stop;
using scanleaf::core::Group4Decoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool drawing = in.ConsumeBool();
    const std::uint32_t width = in.ConsumeIntegralInRange<std::uint32_t>(1, 3000);
    const std::uint32_t height = in.ConsumeIntegralInRange<std::uint32_t>(1, 24);
    std::vector<std::uint8_t> stream;
    libtiff::Rows rows;
    if (drawing) {
        rows = libtiff::DrawnRows(in.ConsumeRemainingBytes<std::uint8_t>(), width, height);
        stream = libtiff::Encode(rows, width);
    } else {
        stream = in.ConsumeRemainingBytes<std::uint8_t>();
    }
    Group4Decoder decoder(stream.data(), stream.size(), width);
    libtiff::Rows ours;
    std::vector<std::uint8_t> row(decoder.RowBytes());
    // The lines also feed a thumbnail, shown in one of the eight orientations.
    std::uint32_t tw = 0, th = 0;
    scanleaf::core::Thumbnailer::Fit(width, height, 1 + (width * 7 + height) % 64, tw, th);
    scanleaf::core::Thumbnailer thumbnail(width, height, tw, th);
    while (ours.size() < height && decoder.NextRow(row.data())) {
        ours.push_back(row);
        thumbnail.AddLine(decoder.Changes());
    }
    const scanleaf::core::Orientation shown((width % 4) * 90, height % 2 ? 90 : 270, tw, th);
    FUZZ_CHECK(shown.Apply(thumbnail.Finish()).size() == std::size_t(tw) * th);
    // What a header made of the stream's first bytes says of its picture.
    std::vector<unsigned char> header(scanleaf::core::kHeaderSize, ' ');
    std::copy(stream.begin(), stream.begin() + std::ptrdiff_t(std::min(stream.size(), header.size())), header.begin());
    const scanleaf::core::CalsImageInfo info = scanleaf::core::ReadImageInfo(header.data());
    FUZZ_CHECK(!info.sizeKnown || (info.width > 0 && info.height > 0));
    FUZZ_CHECK(decoder.BytesUsed() <= stream.size());
    if (drawing) {
        FUZZ_CHECK(ours == rows);
        FUZZ_CHECK(decoder.NextRow(row.data()) == false && decoder.Stop() == G4Stop::EndOfBlock);
        return 0;
    }
    long problem = -1;
    const libtiff::Rows theirs = libtiff::Decode(stream, width, height, problem);
    // No row that libtiff complains about is given as sound; the rows before are libtiff's.
    FUZZ_CHECK(problem < 0 || ours.size() <= std::size_t(problem));
    for (std::size_t r = 0; r < ours.size() && r < theirs.size(); ++r) FUZZ_CHECK(theirs[r] == ours[r]);
    return 0;
}
