#include "codec/CalsFrame.h"


#include "core/view/Thumbnail.h"
#include "hostenv/ComError.h"
#include "hostenv/ExclusiveLock.h"

#include <cstring>
#include <new>

namespace scanleaf {

namespace {

// The rectangle within width by height, the stride and the buffer large enough at `bits` a pel.
// S_FALSE: an empty rectangle, nothing to copy.
HRESULT CheckCopy(const WICRect& r, UINT width, UINT height, UINT bits, UINT stride, UINT bufferSize, const BYTE* buffer,
                  UINT& lineBytes) {
    if (!buffer) return E_INVALIDARG;
    if (r.X < 0 || r.Y < 0 || r.Width < 0 || r.Height < 0 || UINT(r.X) > width || UINT(r.Width) > width - UINT(r.X) ||
        UINT(r.Y) > height || UINT(r.Height) > height - UINT(r.Y))
        return E_INVALIDARG;
    if (r.Width == 0 || r.Height == 0) return S_FALSE;
    lineBytes = UINT((std::uint64_t(r.Width) * bits + 7) / 8);
    if (stride < lineBytes) return E_INVALIDARG;
    if (bufferSize / stride < UINT(r.Height) - 1 || bufferSize - stride * (UINT(r.Height) - 1) < lineBytes)
        return WINCODEC_ERR_INSUFFICIENTBUFFER;
    return S_OK;
}

// The time a pass has decoded for, added to as a call decodes: only the decoder's own time counts,
// not the caller's between calls. Looked at every 64 lines.
class DecodeClock {
public:
    explicit DecodeClock(ULONGLONG& spent) : spent_(spent), start_(GetTickCount64()), before_(spent) {}
    ~DecodeClock() { spent_ = before_ + (GetTickCount64() - start_); }
    DecodeClock(const DecodeClock&) = delete;
    DecodeClock& operator=(const DecodeClock&) = delete;
    bool Out(std::uint32_t line) const {
        return line % 64 == 63 && before_ + (GetTickCount64() - start_) > CCalsFrame::kDecodeBudgetMs;
    }

private:
    ULONGLONG& spent_;
    ULONGLONG start_, before_;
};

} // namespace

const InterfaceEntry* CCalsFrame::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFrame, IWICBitmapFrameDecode>(IID_IWICBitmapFrameDecode),
        InterfaceEntry::Of<CCalsFrame, IWICBitmapFrameDecode>(IID_IWICBitmapSource),
        InterfaceEntry::Of<CCalsFrame, IWICBitmapSourceTransform>(IID_IWICBitmapSourceTransform),
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
        spent_ = 0;
        outOfTime_ = false;
    }
    if (outOfTime_ && next_ <= line) return nullptr;
    DecodeClock clock(spent_);
    while (next_ <= line) {
        if (!decoder_->NextRow(&kept_[(next_ % kLinesKept) * rowBytes_]) || (outOfTime_ = clock.Out(next_))) return nullptr;
        ++next_;
    }
    return &kept_[(line % kLinesKept) * rowBytes_];
}

HRESULT CCalsFrame::CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize, BYTE* buffer) {
    const WICRect whole{0, 0, INT(info_.width), INT(info_.height)};
    const WICRect& r = rect ? *rect : whole;
    UINT lineBytes = 0;
    const HRESULT check = CheckCopy(r, info_.width, info_.height, 1, stride, bufferSize, buffer, lineBytes);
    if (check != S_OK) return check == S_FALSE ? S_OK : check;
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock guard(lock_);
        for (INT y = 0; y < r.Height; ++y) {
            const std::uint8_t* row = Line(std::uint32_t(r.Y + y));
            if (!row) return Failure(outOfTime_);
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
        return S_OK;
    });
}

void CCalsFrame::ClosestSize(UINT& width, UINT& height) const {
    if (width == 0 || height == 0 || width > info_.width || height > info_.height ||
        std::uint64_t(width) * height > kMaxScaledPels) {
        width = info_.width;
        height = info_.height;
    }
}

const std::vector<std::uint8_t>* CCalsFrame::Scaled(UINT width, UINT height) {
    if (scaled_.empty() || scaledWidth_ != width || scaledHeight_ != height) {
        scaled_.clear();
        core::Thumbnailer thumbnail(info_.width, info_.height, width, height);
        core::Group4Decoder decoder(file_->data() + core::kHeaderSize, file_->size() - core::kHeaderSize, info_.width);
        ULONGLONG spent = 0;
        DecodeClock clock(spent);
        scaledOutOfTime_ = false;
        std::uint32_t lines = 0;
        for (; lines < info_.height && decoder.NextRow(nullptr) && !(scaledOutOfTime_ = clock.Out(lines)); ++lines)
            thumbnail.AddLine(decoder.Changes());
        if (lines < info_.height) return nullptr;
        scaled_ = thumbnail.Finish();
        scaledWidth_ = width;
        scaledHeight_ = height;
    }
    return &scaled_;
}

HRESULT CCalsFrame::CopyPixels(const WICRect* rect, UINT width, UINT height, WICPixelFormatGUID* format,
                               WICBitmapTransformOptions transform, UINT stride, UINT bufferSize, BYTE* buffer) {
    if (!format) return E_INVALIDARG;
    if (transform != WICBitmapTransformRotate0) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    const bool grey = IsEqualGUID(*format, GUID_WICPixelFormat8bppGray) != 0;
    if (!grey && !IsEqualGUID(*format, GUID_WICPixelFormatBlackWhite)) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    UINT closestWidth = width, closestHeight = height;
    ClosestSize(closestWidth, closestHeight);
    if (closestWidth != width || closestHeight != height) return E_INVALIDARG;
    const bool whole = width == info_.width && height == info_.height;
    if (whole && !grey) return CopyPixels(rect, stride, bufferSize, buffer);
    const WICRect all{0, 0, INT(width), INT(height)};
    const WICRect& r = rect ? *rect : all;
    UINT lineBytes = 0;
    const HRESULT check = CheckCopy(r, width, height, grey ? 8 : 1, stride, bufferSize, buffer, lineBytes);
    if (check != S_OK) return check == S_FALSE ? S_OK : check;
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock guard(lock_);
        const std::vector<std::uint8_t>* scaled = whole ? nullptr : Scaled(width, height);
        if (!whole && !scaled) return Failure(scaledOutOfTime_);
        for (INT y = 0; y < r.Height; ++y) {
            const UINT line = UINT(r.Y + y);
            const std::uint8_t* row = whole ? Line(line) : nullptr;
            if (whole && !row) return Failure(outOfTime_);
            BYTE* out = buffer + std::size_t(stride) * UINT(y);
            if (!grey) std::memset(out, 0, lineBytes);
            for (INT x = 0; x < r.Width; ++x) {
                const UINT pel = UINT(r.X + x);
                const BYTE value = whole ? BYTE((row[pel >> 3] >> (7 - (pel & 7))) & 1 ? 0 : 255)
                                         : (*scaled)[std::size_t(line) * width + pel];
                if (grey)
                    out[x] = value;
                else if (value >= 128)
                    out[x >> 3] |= BYTE(0x80 >> (x & 7));
            }
        }
        return S_OK;
    });
}

HRESULT CCalsFrame::GetClosestSize(UINT* width, UINT* height) {
    if (!width || !height) return E_INVALIDARG;
    ClosestSize(*width, *height);
    return S_OK;
}

HRESULT CCalsFrame::GetClosestPixelFormat(WICPixelFormatGUID* format) {
    if (!format) return E_INVALIDARG;
    if (!IsEqualGUID(*format, GUID_WICPixelFormatBlackWhite)) *format = GUID_WICPixelFormat8bppGray;
    return S_OK;
}

HRESULT CCalsFrame::DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) {
    if (!supported) return E_INVALIDARG;
    *supported = transform == WICBitmapTransformRotate0;
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
