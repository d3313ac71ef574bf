// The WIC decoder of CALS type 1 files: the header decides, the stream it is given is read to
// its end (never a file path, never a seek back), and one frame serves the picture.
#pragma once

#include "core/cals/CalsImage.h"
#include "comframe/ComObject.h"

#include <wincodec.h>

#include <memory>
#include <optional>
#include <vector>

namespace scanleaf {

class CCalsDecoder : public ComObjectRoot<MultiThreadModel>, public IWICBitmapDecoder {
public:
    CCalsDecoder() = default;
    static const InterfaceEntry* InterfaceMap();

    HRESULT STDMETHODCALLTYPE QueryCapability(IStream* stream, DWORD* capability) override;
    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, WICDecodeOptions options) override;
    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo** info) override;
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override;
    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override;
    HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource** preview) override;
    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT count, IWICColorContext** contexts, UINT* actual) override;
    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override;
    HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override;

    // The most a stream may hold: far beyond any scan's compressed picture.
    static constexpr std::uint64_t kMaxBytes = 512ull << 20;

private:
    std::shared_ptr<const std::vector<std::uint8_t>> file_;
    core::CalsImageInfo info_;
};

// Reads up to `max` bytes from the stream's position on; false when a read fails.
bool ReadStream(IStream* stream, std::uint64_t max, std::vector<std::uint8_t>& bytes);
// The bytes from the stream's position to its end, as the stream tells them; none when it cannot.
std::optional<std::uint64_t> StreamLeft(IStream* stream);

} // namespace scanleaf
