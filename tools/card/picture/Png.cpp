#include "tools/card/picture/Png.h"
#include "hostenv/LongPath.h"

#include "hostenv/ComPtr.h"

#include <wincodec.h>

namespace card {

using scanleaf::ComPtr;

struct PngWriter::Impl {
    std::wstring path;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    std::uint32_t width = 0;
    bool finished = false;
};

PngWriter::PngWriter() : impl_(std::make_unique<Impl>()) {}

PngWriter::~PngWriter() {
    if (impl_->stream.Get() && !impl_->finished) {
        impl_->frame = ComPtr<IWICBitmapFrameEncode>();
        impl_->encoder = ComPtr<IWICBitmapEncoder>();
        impl_->stream = ComPtr<IWICStream>();
        DeleteFileW(scanleaf::FileSystemPath(impl_->path).c_str());
    }
}

namespace {

HRESULT Factory(ComPtr<IWICImagingFactory>& factory) {
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            factory.PutVoid());
}

} // namespace

HRESULT PngWriter::Begin(const std::wstring& path, std::uint32_t width, std::uint32_t height, Pixels pixels, double dpi) {
    impl_->path = path;
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = Factory(factory);
    if (SUCCEEDED(hr)) hr = factory->CreateStream(impl_->stream.Put());
    if (SUCCEEDED(hr)) hr = impl_->stream->InitializeFromFilename(scanleaf::FileSystemPath(path).c_str(), GENERIC_WRITE);
    return SUCCEEDED(hr) ? Begin(impl_->stream.Get(), width, height, pixels, dpi) : hr;
}

HRESULT PngWriter::Begin(IStream* stream, std::uint32_t width, std::uint32_t height, Pixels pixels, double dpi) {
    impl_->width = width;
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = Factory(factory);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, impl_->encoder.Put());
    if (SUCCEEDED(hr)) hr = impl_->encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = impl_->encoder->CreateNewFrame(impl_->frame.Put(), nullptr);
    if (SUCCEEDED(hr)) hr = impl_->frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = impl_->frame->SetSize(width, height);
    if (SUCCEEDED(hr) && dpi > 0) hr = impl_->frame->SetResolution(dpi, dpi);
    const WICPixelFormatGUID wanted = pixels == Pixels::Grey8 ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormatBlackWhite;
    WICPixelFormatGUID format = wanted;
    if (SUCCEEDED(hr)) hr = impl_->frame->SetPixelFormat(&format);
    // The encoder may offer another format only when it cannot write this one.
    if (SUCCEEDED(hr) && format != wanted) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    return hr;
}

HRESULT PngWriter::Write(const std::uint8_t* lines, std::uint32_t count, std::uint32_t stride) {
    if (!impl_->frame.Get()) return E_UNEXPECTED;
    return impl_->frame->WritePixels(count, stride, stride * count, const_cast<BYTE*>(lines));
}

HRESULT PngWriter::Finish() {
    if (!impl_->frame.Get()) return E_UNEXPECTED;
    HRESULT hr = impl_->frame->Commit();
    if (SUCCEEDED(hr)) hr = impl_->encoder->Commit();
    if (SUCCEEDED(hr) && impl_->stream.Get()) hr = impl_->stream->Commit(STGC_DEFAULT);
    impl_->finished = SUCCEEDED(hr);
    return hr;
}

HRESULT WriteGreyPng(const std::wstring& path, std::uint32_t width, std::uint32_t height,
                     const std::vector<std::uint8_t>& grey, double dpi) {
    PngWriter png;
    HRESULT hr = png.Begin(path, width, height, PngWriter::Pixels::Grey8, dpi);
    if (SUCCEEDED(hr)) hr = png.Write(grey.data(), height, width);
    if (SUCCEEDED(hr)) hr = png.Finish();
    return hr;
}

} // namespace card

namespace card {

HRESULT GreyPngBytes(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& grey, double dpi,
                     std::string& bytes) {
    ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    {
        PngWriter png;
        if (SUCCEEDED(hr)) hr = png.Begin(stream.Get(), width, height, PngWriter::Pixels::Grey8, dpi);
        if (SUCCEEDED(hr)) hr = png.Write(grey.data(), height, width);
        if (SUCCEEDED(hr)) hr = png.Finish();
    }
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    const LARGE_INTEGER start{};
    if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    if (SUCCEEDED(hr)) {
        bytes.resize(std::size_t(stat.cbSize.QuadPart));
        hr = stream->Read(bytes.data(), ULONG(bytes.size()), &read);
        bytes.resize(read);
    }
    return hr;
}

} // namespace card
