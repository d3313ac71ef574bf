#include "tools/card/Png.h"

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
        DeleteFileW(impl_->path.c_str());
    }
}

HRESULT PngWriter::Begin(const std::wstring& path, std::uint32_t width, std::uint32_t height, Pixels pixels, double dpi) {
    impl_->path = path;
    impl_->width = width;
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.PutVoid());
    if (SUCCEEDED(hr)) hr = factory->CreateStream(impl_->stream.Put());
    if (SUCCEEDED(hr)) hr = impl_->stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, impl_->encoder.Put());
    if (SUCCEEDED(hr)) hr = impl_->encoder->Initialize(impl_->stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = impl_->encoder->CreateNewFrame(impl_->frame.Put(), nullptr);
    if (SUCCEEDED(hr)) hr = impl_->frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = impl_->frame->SetSize(width, height);
    if (SUCCEEDED(hr) && dpi > 0) hr = impl_->frame->SetResolution(dpi, dpi);
    WICPixelFormatGUID format = pixels == Pixels::Grey8 ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormatBlackWhite;
    if (SUCCEEDED(hr)) hr = impl_->frame->SetPixelFormat(&format);
    // The encoder may offer another format only when it cannot write this one.
    if (SUCCEEDED(hr) && format != (pixels == Pixels::Grey8 ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormatBlackWhite))
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
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
    if (SUCCEEDED(hr)) hr = impl_->stream->Commit(STGC_DEFAULT);
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
