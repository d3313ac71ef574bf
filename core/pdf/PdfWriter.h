// A PDF of drawings whose Group 4 streams go in unchanged: one page per drawing at its true size,
// shown upright by an image matrix, with a bookmark per page, a title, each drawing's card in its
// image's XMP and, for PDF/A, what PDF/A-1b or -2b asks besides. Written front to back through a
// sink, one page at a time: memory stays that of one stream.
#pragma once

#include "core/Page.h"
#include "core/Text.h"
#include "core/cals/Xmp.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace scanleaf::core {


struct PdfPage : PagePicture {
    Text bookmark;   // empty: no outline entry
    Text title;      // the drawing's, and
    CardValues card; // its card: the image's XMP (none when all three are empty)
    CarriedHeader header; // its CALS header as it travels
};

// Why a page cannot go into a document of this kind, in words; empty when it can.
std::string PdfPageProblem(const PagePicture& page, Pdfa pdfa);

class PdfWriter {
public:
    explicit PdfWriter(ByteSink sink, Pdfa pdfa = Pdfa::None);
    // Once, first.
    bool Begin();
    // A page holding `stream`, a T.6 stream of page.width by page.height pels (0 white); false,
    // with nothing written, for a page that PdfPageProblem names.
    bool AddPage(const PdfPage& page, const std::uint8_t* stream, std::size_t size);
    // Once, last: the information dictionary's title, and the card in XMP (empty: none).
    bool Finish(const Text& title, const CardValues& card);
    std::uint64_t BytesWritten() const { return offset_; }

private:
    bool Put(const std::string& text);
    bool PutBytes(const char* bytes, std::size_t size, bool sampled = false);
    void Hash(const char* bytes, std::size_t size);
    bool BeginObject(std::uint32_t number);
    std::uint32_t NextObject() const;
    // A stream object of its own: the dictionary's other entries, then exactly `data`.
    bool PutStream(std::uint32_t number, const std::string& entries, const char* data, std::size_t size,
                   bool picture = false);
    void Describe(const CardValues& card);
    std::string FileId() const;

    ByteSink sink_;
    Pdfa pdfa_;
    std::uint64_t offset_ = 0;
    std::uint64_t hash_[2];              // of what was written: the file's identifier
    bool ok_ = true;
    std::vector<std::uint64_t> offsets_; // by object number; 0 unused
    std::vector<std::uint32_t> pages_;   // page object numbers
    std::vector<Text> bookmarks_;        // per page
    bool userUnits_ = false;             // a page needed them: the document is PDF 1.6
    std::vector<std::string> described_; // every card property in the document, for PDF/A's schema
    bool headers_ = false;               // a page carries its header: its schema too
    std::map<std::string, std::uint32_t> contents_; // each content stream once: pages of a size share it
};

// PDF 1.4 readers draw no page side above 14400 units (200 inches); a larger page gets a user
// unit of this many points (PDF 1.6), so that it still comes out at its true size. 1 for others.
std::uint32_t PdfUserUnit(const PagePicture& page);

// Text as a PDF text string: a literal string of printable ASCII with "(", ")" and "\" escaped,
// or UTF-16BE with its byte-order mark as a hexadecimal string.
std::string PdfTextString(const Text& text);


// The image matrix that shows a picture of width by height pels upright in a page of the shown
// size, in points at the given dpi: "a b c d e f" for the cm operator.
// The image's matrix on the page, in units of `unit` points.
std::string PdfImageMatrix(const PagePicture& page, std::uint32_t unit = 1);

} // namespace scanleaf::core
