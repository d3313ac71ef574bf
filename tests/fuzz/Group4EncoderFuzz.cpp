// The Group 4 encoder against libtiff's: any pels at any size give libtiff's stream byte for
// byte, and both decoders give the pels back. The pels are the input's bits as they are, or
// runs of the lengths the input gives (so that long runs and their make-up codes come up).
#include "core/fax/Group4.h"
#include "core/fax/Group4Encoder.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/native/Libtiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool runs = in.ConsumeBool();
    const std::uint32_t width = in.ConsumeIntegralInRange<std::uint32_t>(1, runs ? 12000 : 3000);
    const std::uint32_t height = in.ConsumeIntegralInRange<std::uint32_t>(1, 32);
    const std::size_t rowBytes = (width + 7) / 8;
    const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
    libtiff::Rows rows(height, std::vector<std::uint8_t>(rowBytes, 0));
    if (runs) {
        // Alternating runs, white first, lengths of two bytes each, on across the rows.
        std::size_t next = 0;
        bool black = false;
        for (std::uint32_t r = 0; r < height; ++r)
            for (std::uint32_t x = 0; x < width && next + 1 < bytes.size();) {
                const std::uint32_t length = (std::uint32_t(bytes[next]) << 8 | bytes[next + 1]) % 6000;
                next += 2;
                const std::uint32_t end = std::min(width, x + length);
                if (black) scanleaf::core::SetBits(rows[r].data(), x, end);
                x = end;
                black = !black;
            }
    } else if (!bytes.empty()) {
        for (std::uint32_t r = 0; r < height; ++r)
            for (std::size_t b = 0; b < rowBytes; ++b) rows[r][b] = bytes[(r * rowBytes + b) % bytes.size()];
    }
    scanleaf::core::Group4Encoder encoder(width);
    for (const auto& row : rows) encoder.AddRow(row.data());
    encoder.Finish();
    const std::vector<std::uint8_t>& ours = encoder.Bytes();
    // libtiff and our decoder see no bits past the width.
    for (auto& row : rows)
        if (width % 8) row.back() &= std::uint8_t(0xFF << (8 - width % 8));
    FUZZ_CHECK(ours == libtiff::Encode(rows, width));
    scanleaf::core::Group4Decoder decoder(ours.data(), ours.size(), width);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t r = 0; r < height; ++r) FUZZ_CHECK(decoder.NextRow(row.data()) && row == rows[r]);
    FUZZ_CHECK(!decoder.NextRow(row.data()) && decoder.Stop() == scanleaf::core::G4Stop::EndOfBlock);
    long problem = -1;
    FUZZ_CHECK(libtiff::Decode(ours, width, height, problem) == rows && problem == -1);
    return 0;
}
