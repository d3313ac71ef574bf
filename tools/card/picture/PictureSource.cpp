#include "tools/card/picture/PictureSource.h"
#include "core/tiff/TiffReader.h"
#include "hostenv/LongPath.h"

#include <cstring>

namespace card {

using scanleaf::ComPtr;

HRESULT PictureFile::Open(const std::wstring& path) {
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory_.PutVoid());
    if (SUCCEEDED(hr))
        hr = factory_->CreateDecoderFromFilename(scanleaf::FileSystemPath(path).c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                 decoder_.Put());
    UINT frames = 0;
    if (SUCCEEDED(hr)) hr = decoder_->GetFrameCount(&frames);
    frames_ = SUCCEEDED(hr) ? frames : 0;
    return hr;
}

HRESULT PictureFile::OpenBytes(std::string bytes) {
    bytes_ = std::move(bytes);
    if (bytes_.size() > 0xFFFFFFFFu) return E_OUTOFMEMORY;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory_.PutVoid());
    if (SUCCEEDED(hr)) hr = factory_->CreateStream(stream_.Put());
    if (SUCCEEDED(hr))
        hr = stream_->InitializeFromMemory(reinterpret_cast<BYTE*>(bytes_.data()), DWORD(bytes_.size()));
    if (SUCCEEDED(hr)) hr = factory_->CreateDecoderFromStream(stream_.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder_.Put());
    UINT frames = 0;
    if (SUCCEEDED(hr)) hr = decoder_->GetFrameCount(&frames);
    frames_ = SUCCEEDED(hr) ? frames : 0;
    return hr;
}

namespace {

// Lightness of an ARGB palette entry, 0 to 255.
unsigned Lightness(WICColor colour) {
    return scanleaf::core::Lightness((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

bool IsGreyFormat(const WICPixelFormatGUID& f) {
    return f == GUID_WICPixelFormat2bppGray || f == GUID_WICPixelFormat4bppGray || f == GUID_WICPixelFormat8bppGray ||
           f == GUID_WICPixelFormat16bppGray || f == GUID_WICPixelFormat32bppGrayFloat;
}

} // namespace

HRESULT PictureFile::Frame(std::uint32_t index, PictureFrame& frame) {
    if (!decoder_) return E_UNEXPECTED;
    frame = PictureFrame();
    HRESULT hr = decoder_->GetFrame(index, frame.frame_.Put());
    UINT width = 0, height = 0;
    if (SUCCEEDED(hr)) hr = frame.frame_->GetSize(&width, &height);
    double dpiX = 0, dpiY = 0;
    if (SUCCEEDED(hr) && FAILED(frame.frame_->GetResolution(&dpiX, &dpiY))) dpiX = dpiY = 0;
    WICPixelFormatGUID format{};
    if (SUCCEEDED(hr)) hr = frame.frame_->GetPixelFormat(&format);
    if (FAILED(hr)) return hr;
    frame.width_ = width;
    frame.height_ = height;
    frame.dpiX_ = dpiX;
    frame.dpiY_ = dpiY;
    if (format == GUID_WICPixelFormatBlackWhite) {
        frame.kind_ = PelKind::Bilevel;
        frame.path_ = PictureFrame::Path::BlackWhite;
        return S_OK;
    }
    ComPtr<IWICPalette> palette;
    UINT colours = 0;
    if (SUCCEEDED(factory_->CreatePalette(palette.Put())) && format == GUID_WICPixelFormat1bppIndexed &&
        SUCCEEDED(frame.frame_->CopyPalette(palette.Get())) && SUCCEEDED(palette->GetColorCount(&colours)) &&
        colours >= 1 && colours <= 2) {
        WICColor entries[2] = {};
        UINT got = 0;
        // Black and white only: another pair of colours (white and yellow) is a colour picture,
        // which --threshold turns bilevel by lightness, never a guess.
        const auto blackOrWhite = [](WICColor c) { return (c & 0xFFFFFF) == 0 || (c & 0xFFFFFF) == 0xFFFFFF; };
        if (SUCCEEDED(palette->GetColors(2, entries, &got)) && got >= 1 && blackOrWhite(entries[0]) &&
            (got < 2 || blackOrWhite(entries[1]))) {
            const bool dark0 = Lightness(entries[0]) < 128, dark1 = got > 1 ? Lightness(entries[1]) < 128 : dark0;
            frame.kind_ = PelKind::Bilevel;
            frame.path_ = PictureFrame::Path::Indexed;
            frame.indexedSame_ = dark0 == dark1;
            frame.indexedFill_ = dark0 ? 0xFF : 0x00;
            frame.indexedFlip_ = dark0 ? 0xFF : 0x00; // index 0 dark: the bits are white-is-1
            return S_OK;
        }
    }
    // Other palettes by their colours: only black and white is bilevel, only greys is grey.
    frame.kind_ = IsGreyFormat(format) ? PelKind::Grey : PelKind::Colour;
    if (palette && SUCCEEDED(frame.frame_->CopyPalette(palette.Get())) && SUCCEEDED(palette->GetColorCount(&colours)) &&
        colours > 0) {
        std::vector<WICColor> entries(colours);
        UINT got = 0;
        if (SUCCEEDED(palette->GetColors(colours, entries.data(), &got)) && got > 0) {
            bool grey = true, blackWhite = true;
            for (UINT i = 0; i < got; ++i) {
                const unsigned r = (entries[i] >> 16) & 0xFF, g = (entries[i] >> 8) & 0xFF, b = entries[i] & 0xFF;
                grey = grey && r == g && g == b;
                blackWhite = blackWhite && r == g && g == b && (r == 0 || r == 255);
            }
            frame.kind_ = blackWhite ? PelKind::Bilevel : grey ? PelKind::Grey : PelKind::Colour;
        }
    }
    frame.path_ = PictureFrame::Path::Grey;
    // 8-bit grey as it is; anything else as 32-bit colour, which every decoder converts to.
    if (format == GUID_WICPixelFormat8bppGray) return frame.frame_.As(IID_IWICBitmapSource, frame.pels_);
    frame.pelBytes_ = 4;
    ComPtr<IWICFormatConverter> converter;
    hr = factory_->CreateFormatConverter(converter.Put());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.frame_.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom);
    if (SUCCEEDED(hr)) hr = converter.As(IID_IWICBitmapSource, frame.pels_);
    return hr;
}

HRESULT PictureFrame::ReadRows(std::uint32_t y, std::uint32_t count, std::uint8_t* rows, std::size_t stride,
                               int thresholdPercent) {
    if (!frame_ || y > height_ || count > height_ - y) return E_INVALIDARG;
    const WICRect rect{0, INT(y), INT(width_), INT(count)};
    const std::size_t rowBytes = (std::size_t(width_) + 7) / 8;
    if (path_ == Path::BlackWhite || path_ == Path::Indexed) {
        if (path_ == Path::Indexed && indexedSame_) {
            for (std::uint32_t r = 0; r < count; ++r) std::memset(rows + r * stride, indexedFill_, rowBytes);
            return S_OK;
        }
        const HRESULT hr = frame_->CopyPixels(&rect, UINT(stride), UINT(stride * count), rows);
        if (FAILED(hr)) return hr;
        // The component gives 1 for white; an indexed picture as its palette says.
        const std::uint8_t flip = path_ == Path::BlackWhite ? 0xFF : indexedFlip_;
        if (flip)
            for (std::uint32_t r = 0; r < count; ++r)
                for (std::size_t b = 0; b < rowBytes; ++b) rows[r * stride + b] ^= flip;
        return S_OK;
    }
    const std::size_t bandStride = std::size_t(width_) * pelBytes_;
    band_.resize(bandStride * count);
    const HRESULT hr = pels_->CopyPixels(&rect, UINT(bandStride), UINT(band_.size()), band_.data());
    if (FAILED(hr)) return hr;
    // Black below the threshold: lightness * 100 < threshold * 255. A palette of black and white
    // needs none.
    const unsigned limit = unsigned(kind_ == PelKind::Bilevel ? 50 : thresholdPercent) * 255;
    for (std::uint32_t r = 0; r < count; ++r) {
        std::uint8_t* out = rows + r * stride;
        std::memset(out, 0, rowBytes);
        const std::uint8_t* in = band_.data() + r * bandStride;
        for (std::uint32_t x = 0; x < width_; ++x, in += pelBytes_) {
            // BGRA: the same weights as a palette's lightness, on white where it is transparent.
            unsigned light = in[0];
            if (pelBytes_ == 4)
                light = (scanleaf::core::Lightness(in[2], in[1], in[0]) * in[3] + 255u * (255u - in[3])) / 255;
            if (light * 100 < limit) out[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        }
    }
    return S_OK;
}

} // namespace card
