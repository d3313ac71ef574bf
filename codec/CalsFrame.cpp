#include "codec/CalsFrame.h"

#include "hostenv/ExclusiveLock.h"

#include <cstring>
#include <new>

namespace scanleaf {

const InterfaceEntry* CCalsFrame::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFrame, IWICBitmapFrameDecode>(IID_IWICBitmapFrameDecode),
        InterfaceEntry::Of<CCalsFrame, IWICBitmapFrameDecode>(IID_IWICBitmapSource),
        InterfaceEntry::End(),
    };
    return map;
}

void CCalsFrame::Init(std::shared_ptr<const std::vector<std::uint8_t>> file, const core::CalsImageInfo& info) {
    file_ = std::move(file);
    info_ = info;
}

HRESULT CCalsFrame::GetSize(UINT* width, UINT* height) {
    if (!width || !height) return E_INVALIDARG;
    *width = info_.width;
    *height = info_.height;
    return S_OK;
}

HRESULT CCalsFrame::GetPixelFormat(WICPixelFormatGUID* format) {
    if (!format) return E_INVALIDARG;
    *format = GUID_WICPixelFormatBlackWhite;
    return S_OK;
}

HRESULT CCalsFrame::GetResolution(double* dpiX, double* dpiY) {
    if (!dpiX || !dpiY) return E_INVALIDARG;
    // No density given: the usual screen's.
    *dpiX = *dpiY = info_.density ? double(info_.density) : 96.0;
    return S_OK;
}

HRESULT CCalsFrame::CopyPalette(IWICPalette* palette) {
    if (!palette) return E_INVALIDARG;
    return palette->InitializePredefined(WICBitmapPaletteTypeFixedBW, FALSE);
}

const std::uint8_t* CCalsFrame::Line(std::uint32_t line) {
    if (!decoder_ || line + kLinesKept < next_) {
        // Not started, or further back than the lines kept: from the first line again.
        decoder_ = std::make_unique<core::Group4Decoder>(file_->data() + core::kHeaderSize,
                                                          file_->size() - core::kHeaderSize, info_.width);
        rowBytes_ = decoder_->RowBytes();
        kept_.assign(rowBytes_ * kLinesKept, 0);
        next_ = 0;
    }
    while (next_ <= line) {
        if (!decoder_->NextRow(&kept_[(next_ % kLinesKept) * rowBytes_])) return nullptr;
        ++next_;
    }
    return &kept_[(line % kLinesKept) * rowBytes_];
}

HRESULT CCalsFrame::CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize, BYTE* buffer) {
    const WICRect whole{0, 0, INT(info_.width), INT(info_.height)};
    const WICRect& r = rect ? *rect : whole;
    if (!buffer) return E_INVALIDARG;
    if (r.X < 0 || r.Y < 0 || r.Width < 0 || r.Height < 0 || UINT(r.X) > info_.width ||
        UINT(r.Width) > info_.width - UINT(r.X) || UINT(r.Y) > info_.height || UINT(r.Height) > info_.height - UINT(r.Y))
        return E_INVALIDARG;
    if (r.Width == 0 || r.Height == 0) return S_OK;
    const UINT lineBytes = (UINT(r.Width) + 7) / 8;
    if (stride < lineBytes) return E_INVALIDARG;
    if (bufferSize / stride < UINT(r.Height) - 1 || bufferSize - stride * (UINT(r.Height) - 1) < lineBytes)
        return WINCODEC_ERR_INSUFFICIENTBUFFER;
    try {
        ExclusiveLock guard(lock_);
        for (INT y = 0; y < r.Height; ++y) {
            const std::uint8_t* row = Line(std::uint32_t(r.Y + y));
            if (!row) return WINCODEC_ERR_BADIMAGE;
            // Byte by byte from the rectangle's first pel on, inverted: WIC's BlackWhite has 1 white.
            BYTE* out = buffer + std::size_t(stride) * UINT(y);
            const unsigned shift = unsigned(r.X) & 7;
            const std::size_t first = std::size_t(r.X) >> 3;
            for (UINT k = 0; k < lineBytes; ++k) {
                const std::size_t b = first + k;
                unsigned pels = unsigned(row[b]) << shift;
                if (shift && b + 1 < rowBytes_) pels |= unsigned(row[b + 1]) >> (8 - shift);
                out[k] = BYTE(~pels);
            }
            if (r.Width % 8) out[lineBytes - 1] &= BYTE(0xFF << (8 - r.Width % 8));
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CCalsFrame::GetMetadataQueryReader(IWICMetadataQueryReader** reader) {
    if (!reader) return E_INVALIDARG;
    *reader = nullptr;
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT CCalsFrame::GetColorContexts(UINT, IWICColorContext**, UINT* actual) {
    if (!actual) return E_INVALIDARG;
    *actual = 0;
    return S_OK;
}

HRESULT CCalsFrame::GetThumbnail(IWICBitmapSource** thumbnail) {
    if (!thumbnail) return E_INVALIDARG;
    *thumbnail = nullptr;
    return WINCODEC_ERR_CODECNOTHUMBNAIL;
}

} // namespace scanleaf
