#include "codec/CalsDecoder.h"


#include "codec/CalsFrame.h"
#include "codec/api/CodecIds.h"
#include "hostenv/ComError.h"
#include "hostenv/ComPtr.h"

#include <algorithm>
#include <new>
#include <optional>

namespace scanleaf {

namespace {

bool Decodable(const core::CalsImageInfo& info) {
    return info.type1 && info.sizeKnown && info.width <= core::kMaxG4Width;
}

// The file begins at the stream's start: callers may leave the stream elsewhere (a pattern
// match reads from the middle). A stream that cannot seek is read from where it stands.
void ToStart(IStream* stream) {
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
}

} // namespace

std::optional<std::uint64_t> StreamLeft(IStream* stream) {
    STATSTG stat{};
    LARGE_INTEGER none{};
    ULARGE_INTEGER at{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(stream->Seek(none, STREAM_SEEK_CUR, &at))) return std::nullopt;
    return stat.cbSize.QuadPart > at.QuadPart ? stat.cbSize.QuadPart - at.QuadPart : 0;
}

bool ReadStream(IStream* stream, std::uint64_t max, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    // Sized once where the stream tells its size, so no copy is made as the buffer grows; read
    // on past that all the same, for a stream that told less than it holds.
    if (const std::optional<std::uint64_t> left = StreamLeft(stream)) bytes.reserve(std::size_t(std::min(*left + 1, max)));
    constexpr std::size_t kChunk = 65536;
    while (bytes.size() < max) {
        const std::size_t have = bytes.size();
        // Within what was reserved while there is room: the one byte past the told size finds
        // the end without growing the buffer.
        const std::size_t room = bytes.capacity() > have ? bytes.capacity() - have : kChunk;
        const ULONG want = ULONG(std::min<std::uint64_t>(std::min(kChunk, room), max - have));
        bytes.resize(have + want);
        ULONG got = 0;
        const HRESULT hr = stream->Read(bytes.data() + have, want, &got);
        bytes.resize(have + (SUCCEEDED(hr) ? std::min(got, want) : 0));
        if (FAILED(hr)) return false;
        if (got == 0 || hr == S_FALSE) break; // the end, whatever the stream claimed its size to be
    }
    return true;
}

const InterfaceEntry* CCalsDecoder::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsDecoder, IWICBitmapDecoder>(IID_IWICBitmapDecoder),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsDecoder::QueryCapability(IStream* stream, DWORD* capability) {
    if (!stream || !capability) return E_INVALIDARG;
    *capability = 0;
    // The header alone decides; the stream goes back where it was, where it can.
    LARGE_INTEGER none{};
    ULARGE_INTEGER at{};
    const bool seekable = SUCCEEDED(stream->Seek(none, STREAM_SEEK_CUR, &at));
    ToStart(stream);
    return ComBoundary([&]() -> HRESULT {
        std::vector<std::uint8_t> header;
        if (!ReadStream(stream, core::kHeaderSize, header)) return E_FAIL;
        if (seekable) {
            LARGE_INTEGER back{};
            back.QuadPart = LONGLONG(at.QuadPart);
            stream->Seek(back, STREAM_SEEK_SET, nullptr);
        }
        if (header.size() == core::kHeaderSize && Decodable(core::ReadImageInfo(header.data())))
            *capability = WICBitmapDecoderCapabilityCanDecodeAllImages | WICBitmapDecoderCapabilityCanDecodeSomeImages;
        return S_OK;
    });
}

HRESULT CCalsDecoder::Initialize(IStream* stream, WICDecodeOptions) {
    if (!stream) return E_INVALIDARG;
    if (file_) return WINCODEC_ERR_WRONGSTATE;
    return ComBoundary([&]() -> HRESULT {
        auto bytes = std::make_shared<std::vector<std::uint8_t>>();
        ToStart(stream);
        if (!ReadStream(stream, kMaxBytes, *bytes)) return WINCODEC_ERR_STREAMREAD;
        if (bytes->size() < core::kHeaderSize) return WINCODEC_ERR_BADHEADER;
        const core::CalsImageInfo info = core::ReadImageInfo(bytes->data());
        if (!Decodable(info)) return WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
        info_ = info;
        file_ = std::move(bytes);
        return S_OK;
    });
}

HRESULT CCalsDecoder::GetContainerFormat(GUID* format) {
    if (!format) return E_INVALIDARG;
    *format = GUID_ContainerFormatCals;
    return S_OK;
}

HRESULT CCalsDecoder::GetDecoderInfo(IWICBitmapDecoderInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.PutVoid());
    ComPtr<IWICComponentInfo> component;
    if (SUCCEEDED(hr)) hr = factory->CreateComponentInfo(CLSID_CalsWicDecoder, component.Put());
    if (SUCCEEDED(hr)) hr = component->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info));
    return hr;
}

HRESULT CCalsDecoder::CopyPalette(IWICPalette*) { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

HRESULT CCalsDecoder::GetMetadataQueryReader(IWICMetadataQueryReader** reader) {
    if (!reader) return E_INVALIDARG;
    *reader = nullptr;
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT CCalsDecoder::GetPreview(IWICBitmapSource** preview) {
    if (!preview) return E_INVALIDARG;
    *preview = nullptr;
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT CCalsDecoder::GetColorContexts(UINT, IWICColorContext**, UINT* actual) {
    if (!actual) return E_INVALIDARG;
    *actual = 0;
    return S_OK;
}

HRESULT CCalsDecoder::GetThumbnail(IWICBitmapSource** thumbnail) {
    if (!thumbnail) return E_INVALIDARG;
    *thumbnail = nullptr;
    return WINCODEC_ERR_CODECNOTHUMBNAIL;
}

HRESULT CCalsDecoder::GetFrameCount(UINT* count) {
    if (!count) return E_INVALIDARG;
    *count = file_ ? 1 : 0;
    return file_ ? S_OK : WINCODEC_ERR_NOTINITIALIZED;
}

HRESULT CCalsDecoder::GetFrame(UINT index, IWICBitmapFrameDecode** frame) {
    if (!frame) return E_INVALIDARG;
    *frame = nullptr;
    if (!file_) return WINCODEC_ERR_NOTINITIALIZED;
    if (index != 0) return WINCODEC_ERR_FRAMEMISSING;
    return ComBoundary([&]() -> HRESULT {
        ComObject<CCalsFrame>* object = nullptr;
        HRESULT hr = ComObject<CCalsFrame>::Create(&object);
        if (FAILED(hr)) return E_OUTOFMEMORY;
        object->Init(file_, info_);
        hr = object->QueryInterface(IID_IWICBitmapFrameDecode, reinterpret_cast<void**>(frame));
        if (FAILED(hr)) delete object;
        return hr;
    });
}

} // namespace scanleaf
