// A drawing's picture as the PDF and TIFF writers place it on a page, and the sink they write
// through: shared by the rooms above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace scanleaf::core {

// Takes the file's bytes in order; false stops the writing.
using ByteSink = std::function<bool(const char* bytes, std::size_t size)>;

// A drawing's picture as both writers place it on a page.
struct PagePicture {
    std::uint32_t width = 0;  // pels per line
    std::uint32_t height = 0; // lines
    std::uint32_t dpi = 200;  // pels per inch, both ways
    int pelPath = 0;          // the orientation's angles, as CalsImageInfo holds them
    int lineProgression = 270;
};

} // namespace scanleaf::core
