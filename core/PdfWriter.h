// A PDF of drawings whose Group 4 streams go in unchanged: one page per drawing at its true size,
// shown upright by an image matrix, with a bookmark per page, a title and the card in XMP.
// Written front to back through a sink, one page at a time: memory stays that of one stream.
#pragma once

#include "core/Text.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace scanleaf::core {

// Takes the file's bytes in order; false stops the writing.
using ByteSink = std::function<bool(const char* bytes, std::size_t size)>;

// A card as name and value pairs, in card order.
using CardValues = std::vector<std::pair<Text, Text>>;

// A drawing's picture as both writers place it on a page.
struct PagePicture {
    std::uint32_t width = 0;  // pels per line
    std::uint32_t height = 0; // lines
    std::uint32_t dpi = 200;  // pels per inch, both ways
    int pelPath = 0;          // the orientation's angles, as CalsImageInfo holds them
    int lineProgression = 270;
};

struct PdfPage : PagePicture {
    Text bookmark; // empty: no outline entry
};

class PdfWriter {
public:
    explicit PdfWriter(ByteSink sink);
    // Once, first.
    bool Begin();
    // A page holding `stream`, a T.6 stream of page.width by page.height pels (0 white).
    bool AddPage(const PdfPage& page, const std::uint8_t* stream, std::size_t size);
    // Once, last: the information dictionary's title, and the card in XMP (empty: none).
    bool Finish(const Text& title, const CardValues& card);
    std::uint64_t BytesWritten() const { return offset_; }

private:
    bool Put(const std::string& text);
    bool PutBytes(const char* bytes, std::size_t size);
    bool BeginObject(std::uint32_t number);

    ByteSink sink_;
    std::uint64_t offset_ = 0;
    bool ok_ = true;
    std::vector<std::uint64_t> offsets_; // by object number; 0 unused
    std::vector<std::uint32_t> pages_;   // page object numbers
    std::vector<Text> bookmarks_;        // per page
    bool userUnits_ = false;             // a page needed them: the document is PDF 1.6
};

// PDF 1.4 readers draw no page side above 14400 units (200 inches); a larger page gets a user
// unit of this many points (PDF 1.6), so that it still comes out at its true size. 1 for others.
std::uint32_t PdfUserUnit(const PagePicture& page);

// Text as a PDF text string: a literal string of printable ASCII with "(", ")" and "\" escaped,
// or UTF-16BE with its byte-order mark as a hexadecimal string.
std::string PdfTextString(const Text& text);

// An XMP packet: dc:title, and each card value as a property of its own in the namespace
// kCardNamespace (names that are no XML names have each other character written as _xHHHH_).
std::string XmpPacket(const Text& title, const CardValues& card);
inline constexpr char kCardNamespace[] = "urn:scanleaf:card:1.0/";

// The text that XmpPacket writes as a property name for a variable name, and back.
std::string XmpPropertyName(const Text& name);

// The image matrix that shows a picture of width by height pels upright in a page of the shown
// size, in points at the given dpi: "a b c d e f" for the cm operator.
// The image's matrix on the page, in units of `unit` points.
std::string PdfImageMatrix(const PagePicture& page, std::uint32_t unit = 1);

} // namespace scanleaf::core
