// A TIFF of drawings whose Group 4 streams go in unchanged: one page (directory) per drawing,
// one strip holding the stream, the resolution, the orientation as the header gives it, and the
// card as XMP. Written front to back through a sink; the caller says which page is the last.
#pragma once

#include "core/Page.h"
#include "core/cals/Xmp.h"

namespace scanleaf::core {

struct TiffPage : PagePicture {
    std::string xmp; // the packet, or empty for none
};

// TIFF's Orientation (1 to 8) for the header's angles; 1 for angles that name no orientation.
int TiffOrientation(int pelPath, int lineProgression);
// The other way: a TIFF Orientation value as the header's angles (1 for a value out of range).
void CalsOrientation(int tiffOrientation, int& pelPath, int& lineProgression);

class TiffWriter {
public:
    explicit TiffWriter(ByteSink sink) : sink_(std::move(sink)) {}
    // A page holding `stream`, a T.6 stream of page.width by page.height pels (0 white). Every
    // directory links to the next; the one of the `last` page ends the file's chain.
    bool AddPage(const TiffPage& page, const std::uint8_t* stream, std::size_t size, bool last);
    std::uint64_t BytesWritten() const { return offset_; }

private:
    bool Put(const std::string& bytes);
    ByteSink sink_;
    std::uint64_t offset_ = 0;
    bool ok_ = true;
};

} // namespace scanleaf::core
