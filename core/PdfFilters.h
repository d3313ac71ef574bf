// PDF's general stream filters undone: FlateDecode (zlib) and LZWDecode with their predictors,
// ASCIIHexDecode, ASCII85Decode and RunLengthDecode. The image filters (CCITTFaxDecode,
// DCTDecode, JPXDecode, JBIG2Decode) are left to the caller, which is told which one stopped the
// chain. Output is bounded: a stream that grows past the limit is refused, not followed.
#pragma once

#include "core/PdfSyntax.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scanleaf::core {

struct PdfFilter {
    std::string name;   // as written; "AHx" and the other short names too
    PdfObject parms;    // its DecodeParms dictionary (Null when none)
};

// Whether a filter codes pictures (the caller decodes those, or keeps them).
bool IsPdfImageFilter(const std::string& name);

struct PdfDecoded {
    std::string bytes;
    std::size_t undone = 0; // the filters applied; the rest (an image filter first) is the caller's
    std::string problem;    // why the chain could not be undone; empty when it could
};

// The filters from the first up to the first image filter (or all) applied to `data`; at most
// `limit` bytes come out of any one of them.
PdfDecoded PdfDecode(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, std::size_t limit);

} // namespace scanleaf::core
