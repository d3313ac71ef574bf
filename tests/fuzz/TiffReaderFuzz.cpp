// The reader of TIFF directories on any bytes (a TIFF header is put in front of half of them):
// it ends, and a page it finds without a problem has its strips inside the file.
#include "core/tiff/TiffReader.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size % 2 && size >= 8) bytes.replace(0, 4, std::string("II*\0", 4));
    std::size_t reads = 0;
    const scanleaf::core::TiffFileInfo info = scanleaf::core::ReadTiffDirectories(
        bytes.size(), [&](std::uint64_t at, std::size_t n, std::uint8_t* out) {
            ++reads;
            FUZZ_CHECK(n <= bytes.size()); // no read is larger than the file
            if (at > bytes.size() || n > bytes.size() - at) return false;
            std::memcpy(out, bytes.data() + at, n);
            return true;
        });
    FUZZ_CHECK(info.pages.size() <= scanleaf::core::kMaxTiffPages);
    for (const scanleaf::core::TiffPageInfo& page : info.pages) {
        if (!scanleaf::core::TiffPageProblem(page, bytes.size()).empty() || page.tiled) continue;
        FUZZ_CHECK(page.width > 0 && page.height > 0);
        for (std::size_t s = 0; s < page.stripOffsets.size(); ++s)
            FUZZ_CHECK(page.stripOffsets[s] + page.stripByteCounts[s] <= bytes.size());
        if (scanleaf::core::IsCalsStream(page)) FUZZ_CHECK(page.stripOffsets.size() == 1);
    }
    return 0;
}
