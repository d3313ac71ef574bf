// The one frame of a CALS type 1 file: the picture as WIC's BlackWhite pixels (1 white, 0 black),
// decoded from the kept compressed stream as far as each CopyPixels needs, with no more than the
// decoder's two lines and one line of pels held (a rectangle above the last one read starts the
// decoding again).
#pragma once

#include "core/CalsImage.h"
#include "core/Group4.h"
#include "module/ComObject.h"

#include <wincodec.h>

#include <memory>
#include <vector>

namespace scanleaf {

class CCalsFrame : public ComObjectRoot<MultiThreadModel>, public IWICBitmapFrameDecode {
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

private:
    // Decodes up to line `line` (into row_); false when the stream ends or breaks before it.
    bool Reach(std::uint32_t line);

    std::shared_ptr<const std::vector<std::uint8_t>> file_;
    core::CalsImageInfo info_;
    SRWLOCK lock_ = SRWLOCK_INIT; // one CopyPixels at a time: they share the decoder
    std::unique_ptr<core::Group4Decoder> decoder_;
    std::vector<std::uint8_t> row_; // the last line decoded: CALS pels, 1 black
    std::uint32_t next_ = 0;        // the line the decoder gives next
};

} // namespace scanleaf
