// The PDF reader on any bytes: a document opens or is refused with a reason, never both; its
// pages are read or the tree's fault is named; each page's picture is one drawing or a named
// reason, and its rows decode within the picture's size; a carried header in the image's XMP is
// read or refused. The decoders' memory stays bounded by the limits given.
#include "core/pdf/PdfPictures.h"
#include "core/cals/Xmp.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace scanleaf::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The product's own limits: the document's budget, streams, pages.
    PdfDocument document;
    const bool opened = document.Open(data, size);
    FUZZ_CHECK(opened == document.Problem().empty());
    if (!opened) return 0;
    std::vector<PdfPageInfo> pages;
    std::string problem;
    if (!document.Pages(pages, problem)) {
        FUZZ_CHECK(!problem.empty());
        return 0;
    }
    for (std::size_t p = 0; p < pages.size() && p < 4; ++p) {
        const PdfPagePicture picture = ReadPdfPagePicture(document, pages[p], p % 2 ? 50 : -1);
        if (!picture.problem.empty()) continue;
        FUZZ_CHECK(picture.width > 0 && picture.height > 0 && picture.dpiX > 0 && picture.dpiY > 0);
        std::string why;
        XmpHeader(picture.xmp, why);
        std::string kept, note;
        why.clear();
        if (PdfKeptGroup4(document, picture, kept, note, why)) FUZZ_CHECK(picture.MayKeep() && why.empty());
        PdfPictureRows rows(document, picture);
        std::vector<std::uint8_t> row(rows.RowBytes());
        std::uint32_t count = 0;
        while (count < 4096 && rows.NextRow(row.data())) ++count;
        FUZZ_CHECK(count <= picture.height);
        FUZZ_CHECK(!rows.LeftOut() || !rows.Problem().empty());
    }
    FUZZ_CHECK(document.Budget().Spent() <= document.Budget().Limit());
    return 0;
}
