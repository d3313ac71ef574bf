// The property keys that the drawing property handler answers, in one place: Windows' own (whose
// format identifiers and ids Microsoft publishes; Debian's mingw headers lack most of them) and
// the Scanleaf.Cals.* keys of the product's own schema.
#pragma once

#include "core/cals/DrawingProperties.h"

#include <propsys.h>

#include <vector>

namespace scanleaf {

// {6444048F-4C8B-11D1-8B70-080036B11A03}: System.Image's size, resolution and bit depth.
inline constexpr GUID kFmtImageSummary = {0x6444048f, 0x4c8b, 0x11d1, {0x8b, 0x70, 0x08, 0x00, 0x36, 0xb1, 0x1a, 0x03}};
// {F29F85E0-4FF9-1068-AB91-08002B27B3D9}: the summary information (title, comment).
inline constexpr GUID kFmtSummaryInformation = {0xf29f85e0, 0x4ff9, 0x1068, {0xab, 0x91, 0x08, 0x00, 0x2b, 0x27, 0xb3, 0xd9}};
// {19B51FA6-1F92-4A5C-AB48-7DF0ABD67444}: System.Image.ResolutionUnit.
inline constexpr GUID kFmtResolutionUnit = {0x19b51fa6, 0x1f92, 0x4a5c, {0xab, 0x48, 0x7d, 0xf0, 0xab, 0xd6, 0x74, 0x44}};
// {14B81DA1-0135-4D31-96D9-6CBFC9671A99}: the image file's tags (System.Image.Compression).
inline constexpr GUID kFmtImageTags = {0x14b81da1, 0x0135, 0x4d31, {0x96, 0xd9, 0x6c, 0xbf, 0xc9, 0x67, 0x1a, 0x99}};
// {E08805C8-E395-40DF-80D2-54F0D6C43154}: System.Document.DocumentID.
inline constexpr GUID kFmtDocumentId = {0xe08805c8, 0xe395, 0x40df, {0x80, 0xd2, 0x54, 0xf0, 0xd6, 0xc4, 0x31, 0x54}};
// {D2AB5535-978E-4FF3-B056-180E1B85328C}: Scanleaf.Cals.*, the header's other records.
inline constexpr GUID kFmtScanleafCals = {0xd2ab5535, 0x978e, 0x4ff3, {0xb0, 0x56, 0x18, 0x0e, 0x1b, 0x85, 0x32, 0x8c}};

// A key, the header's property it stands for, and the PROPVARIANT type it is given as.
struct DrawingPropertyKey {
    PROPERTYKEY key;
    core::DrawingKey drawing;
    VARTYPE type;
    const wchar_t* canonicalName;
};

const std::vector<DrawingPropertyKey>& DrawingPropertyKeys();
// Null for a key the handler does not answer.
const DrawingPropertyKey* FindDrawingPropertyKey(const PROPERTYKEY& key);

} // namespace scanleaf
