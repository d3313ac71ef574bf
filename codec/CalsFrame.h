// The one frame of a CALS type 1 file: the picture as WIC's BlackWhite pixels (1 white, 0 black),
// decoded from the kept compressed stream as far as each CopyPixels needs. Held besides the
// decoder's two lines: the last kLinesKept lines of pels, so that a caller stepping back a little
// (a scaler's next band) costs nothing; a line further back starts the decoding again.
// Smaller sizes come from the frame itself (IWICBitmapSourceTransform): the core's area-averaging
// thumbnail of the whole picture in one decoding, kept for the bands that follow.
// Decoding is bounded in time: a pass from the first line on that has decoded for kDecodeBudgetMs
// (a hostile stream in Explorer's thumbnail process) fails every CopyPixels that needs more of it
// with HRESULT_FROM_WIN32(ERROR_TIMEOUT).
#pragma once

#include "core/cals/CalsImage.h"
#include "codec/api/SourceTransform.h"
#include "core/fax/Group4.h"
#include "comframe/ComObject.h"

#include <wincodec.h>

#include <memory>
#include <vector>

namespace scanleaf {

class CCalsFrame : public ComObjectRoot<MultiThreadModel>,
                   public IWICBitmapFrameDecode,
                   public IWICBitmapSourceTransform {
public:
    CCalsFrame() = default;
    static const InterfaceEntry* InterfaceMap();

    void Init(std::shared_ptr<const std::vector<std::uint8_t>> file, const core::CalsImageInfo& info);

    // IWICBitmapSource
    HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override;
    HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override;
    HRESULT STDMETHODCALLTYPE GetResolution(double* dpiX, double* dpiY) override;
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override;
    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize, BYTE* buffer) override;
    // IWICBitmapFrameDecode
    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override;
    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT count, IWICColorContext** contexts, UINT* actual) override;
    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override;
    // IWICBitmapSourceTransform: any smaller size, in grey (or black and white, a grey below the
    // middle black); the rectangle is one of the scaled picture. No flips or rotations.
    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height, WICPixelFormatGUID* format,
                                         WICBitmapTransformOptions transform, UINT stride, UINT bufferSize,
                                         BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) override;
    HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) override;
    HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) override;

private:
    static constexpr std::uint32_t kLinesKept = 256;
public:
    static constexpr ULONGLONG kDecodeBudgetMs = 10000;

private:
    // The largest scaled picture kept whole (grey, a byte a pel); larger sizes are the picture's own.
    static constexpr std::uint64_t kMaxScaledPels = 4u << 20;
    void ClosestSize(UINT& width, UINT& height) const;
    // Null when the stream breaks before the last line.
    const std::vector<std::uint8_t>* Scaled(UINT width, UINT height);
    // The pels of line `line`, decoded as far as needed; null when the stream ends or breaks before
    // it, or the pass is out of time (outOfTime_).
    const std::uint8_t* Line(std::uint32_t line);
    static HRESULT Failure(bool outOfTime) { return outOfTime ? HRESULT_FROM_WIN32(ERROR_TIMEOUT) : WINCODEC_ERR_BADIMAGE; }

    std::shared_ptr<const std::vector<std::uint8_t>> file_;
    core::CalsImageInfo info_;
    SRWLOCK lock_ = SRWLOCK_INIT; // one CopyPixels at a time: they share the decoder
    std::unique_ptr<core::Group4Decoder> decoder_;
    std::vector<std::uint8_t> kept_; // the last kLinesKept lines decoded, line n at n % kLinesKept
    std::size_t rowBytes_ = 0;
    std::uint32_t next_ = 0; // the line the decoder gives next
    ULONGLONG spent_ = 0;    // time the pass has decoded for
    bool outOfTime_ = false;       // the pass of Line
    bool scaledOutOfTime_ = false; // the last scaled picture's decoding
    std::vector<std::uint8_t> scaled_; // the last scaled picture, grey
    UINT scaledWidth_ = 0, scaledHeight_ = 0;
};

} // namespace scanleaf
