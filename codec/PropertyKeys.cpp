#include "codec/PropertyKeys.h"

namespace scanleaf {

const std::vector<DrawingPropertyKey>& DrawingPropertyKeys() {
    using core::DrawingKey;
    static const std::vector<DrawingPropertyKey> keys = {
        {{kFmtDocumentId, 100}, DrawingKey::DocumentId, VT_LPWSTR, L"System.Document.DocumentID"},
        {{kFmtSummaryInformation, 2}, DrawingKey::Title, VT_LPWSTR, L"System.Title"},
        {{kFmtSummaryInformation, 6}, DrawingKey::Comment, VT_LPWSTR, L"System.Comment"},
        {{kFmtScanleafCals, 2}, DrawingKey::DestinationId, VT_LPWSTR, L"Scanleaf.Cals.DestinationDocumentId"},
        {{kFmtScanleafCals, 3}, DrawingKey::TextFileId, VT_LPWSTR, L"Scanleaf.Cals.TextFileId"},
        {{kFmtScanleafCals, 4}, DrawingKey::SourceGraphics, VT_LPWSTR, L"Scanleaf.Cals.SourceGraphics"},
        {{kFmtScanleafCals, 5}, DrawingKey::DocumentClass, VT_LPWSTR, L"Scanleaf.Cals.DocumentClass"},
        {{kFmtScanleafCals, 6}, DrawingKey::Orientation, VT_LPWSTR, L"Scanleaf.Cals.Orientation"},
        {{kFmtImageSummary, 3}, DrawingKey::Width, VT_UI4, L"System.Image.HorizontalSize"},
        {{kFmtImageSummary, 4}, DrawingKey::Height, VT_UI4, L"System.Image.VerticalSize"},
        {{kFmtImageSummary, 13}, DrawingKey::Dimensions, VT_LPWSTR, L"System.Image.Dimensions"},
        {{kFmtImageSummary, 5}, DrawingKey::HorizontalResolution, VT_R8, L"System.Image.HorizontalResolution"},
        {{kFmtImageSummary, 6}, DrawingKey::VerticalResolution, VT_R8, L"System.Image.VerticalResolution"},
        {{kFmtResolutionUnit, 100}, DrawingKey::ResolutionUnit, VT_I2, L"System.Image.ResolutionUnit"},
        {{kFmtImageSummary, 7}, DrawingKey::BitDepth, VT_UI4, L"System.Image.BitDepth"},
        {{kFmtImageTags, 259}, DrawingKey::Compression, VT_UI2, L"System.Image.Compression"},
    };
    return keys;
}

const DrawingPropertyKey* FindDrawingPropertyKey(const PROPERTYKEY& key) {
    for (const DrawingPropertyKey& k : DrawingPropertyKeys())
        if (IsEqualGUID(k.key.fmtid, key.fmtid) && k.key.pid == key.pid) return &k;
    return nullptr;
}

} // namespace scanleaf
