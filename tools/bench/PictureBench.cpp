#include "tools/bench/PictureBench.h"

#include "codec/api/CodecIds.h"
#include "codec/api/SourceTransform.h"
#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "core/view/Thumbnail.h"
#include "hostenv/ComPtr.h"

#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

using scanleaf::ComPtr;

namespace {

double Seconds() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

double PeakMb() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory.PeakWorkingSetSize / 1048576.0;
}

// Scaler: the codec's decoder (from its DLL, unregistered) over a file stream, the factory's scaler.
// Frame: the frame's own decoding alone, every line copied out in bands of 64, no scaler.
// Transform: the frame's own scaling, which Windows' scaler asks for first (Wine's does not).
enum class WicPath { Scaler, Frame, Transform };

HRESULT ThroughWic(IWICImagingFactory* factory, IClassFactory* codec, const std::wstring& file, std::vector<BYTE>& out,
                   WicPath path) {
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapScaler> scaler;
    HRESULT hr = codec->CreateInstance(nullptr, IID_IWICBitmapDecoder, decoder.PutVoid());
    if (SUCCEEDED(hr)) hr = SHCreateStreamOnFileW(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.Put());
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.Put());
    UINT w = 0, h = 0;
    if (SUCCEEDED(hr)) hr = frame->GetSize(&w, &h);
    std::uint32_t tw = 0, th = 0;
    scanleaf::core::Thumbnailer::Fit(w, h, 256, tw, th);
    if (SUCCEEDED(hr)) hr = factory->CreateBitmapScaler(scaler.Put());
    if (SUCCEEDED(hr)) hr = scaler->Initialize(frame.Get(), tw, th, WICBitmapInterpolationModeFant);
    ComPtr<IWICBitmapSource> grey;
    if (SUCCEEDED(hr)) hr = WICConvertBitmapSource(GUID_WICPixelFormat8bppGray, scaler.Get(), grey.Put());
    out.assign(std::size_t(tw) * th, 0);
    if (path == WicPath::Transform) {
        ComPtr<scanleaf::IWICBitmapSourceTransform> transform;
        WICPixelFormatGUID format = GUID_WICPixelFormat8bppGray;
        UINT cw = tw, ch = th;
        if (SUCCEEDED(hr)) hr = frame->QueryInterface(scanleaf::IID_IWICBitmapSourceTransform, transform.PutVoid());
        if (SUCCEEDED(hr)) hr = transform->GetClosestSize(&cw, &ch);
        if (SUCCEEDED(hr)) hr = transform->GetClosestPixelFormat(&format);
        if (SUCCEEDED(hr) && (cw != tw || ch != th)) hr = E_UNEXPECTED;
        for (UINT y = 0; SUCCEEDED(hr) && y < th; y += 8) {
            const WICRect band{0, INT(y), INT(tw), INT(std::min<UINT>(8, th - y))};
            hr = transform->CopyPixels(&band, tw, th, &format, WICBitmapTransformRotate0, tw,
                                       UINT(out.size() - std::size_t(y) * tw), out.data() + std::size_t(y) * tw);
        }
        return hr;
    }
    if (path == WicPath::Frame) {
        const UINT stride = (w + 7) / 8;
        std::vector<BYTE> lines(std::size_t(stride) * 64);
        for (UINT y = 0; SUCCEEDED(hr) && y < h; y += 64) {
            const WICRect band{0, INT(y), INT(w), INT(std::min<UINT>(64, h - y))};
            hr = frame->CopyPixels(&band, stride, UINT(lines.size()), lines.data());
        }
        return hr;
    }
    // A band of lines at a time: a scaler may fetch every source line of the rectangle asked at once.
    for (UINT y = 0; SUCCEEDED(hr) && y < th; y += 8) {
        const WICRect band{0, INT(y), INT(tw), INT(std::min<UINT>(8, th - y))};
        hr = grey->CopyPixels(&band, tw, UINT(out.size() - std::size_t(y) * tw), out.data() + std::size_t(y) * tw);
    }
    return hr;
}

// The core: the decoder's changes straight into the area-averaging thumbnail.
bool ThroughCore(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& out) {
    if (bytes.size() < scanleaf::core::kHeaderSize) return false;
    const scanleaf::core::CalsImageInfo info = scanleaf::core::ReadImageInfo(bytes.data());
    std::uint32_t tw = 0, th = 0;
    scanleaf::core::Thumbnailer::Fit(info.width, info.height, 256, tw, th);
    scanleaf::core::Thumbnailer thumbnail(info.width, info.height, tw, th);
    scanleaf::core::Group4Decoder decoder(bytes.data() + scanleaf::core::kHeaderSize,
                                          bytes.size() - scanleaf::core::kHeaderSize, info.width);
    while (decoder.NextRow(nullptr)) thumbnail.AddLine(decoder.Changes());
    out = thumbnail.Finish();
    return true;
}

} // namespace

int DecodeBench(const std::vector<std::wstring>& files) {
    std::wprintf(L"%-40ls %10ls %10ls %9ls\n", L"file", L"decode ms", L"thumb ms", L"/ decode");
    for (const std::wstring& file : files) {
        std::ifstream in(file.c_str(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        if (bytes.size() < scanleaf::core::kHeaderSize) {
            std::fwprintf(stderr, L"scanleaf-bench: %ls is no CALS file\n", file.c_str());
            return 1;
        }
        const scanleaf::core::CalsImageInfo info = scanleaf::core::ReadImageInfo(bytes.data());
        const std::uint8_t* stream = bytes.data() + scanleaf::core::kHeaderSize;
        const std::size_t size = bytes.size() - scanleaf::core::kHeaderSize;
        std::vector<std::uint8_t> row((std::size_t(info.width) + 7) / 8), pixels;
        double decode = 1e30, thumb = 1e30;
        for (int run = 0; run < 5; ++run) {
            double start = Seconds();
            scanleaf::core::Group4Decoder decoder(stream, size, info.width);
            while (decoder.NextRow(row.data())) {
            }
            decode = std::min(decode, Seconds() - start);
            start = Seconds();
            ThroughCore(bytes, pixels);
            thumb = std::min(thumb, Seconds() - start);
        }
        std::wprintf(L"%-40ls %10.1f %10.1f %9.2f\n", PathFindFileNameW(file.c_str()), decode * 1000, thumb * 1000,
                     thumb / decode);
    }
    return 0;
}

HRESULT CodecClassObject(const std::wstring& codecDll, REFCLSID clsid, IClassFactory** out) {
    *out = nullptr;
    // Loaded for the process's life: what it makes is used up to the end.
    HMODULE codec = LoadLibraryW(codecDll.c_str());
    auto getClassObject = codec ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                                      reinterpret_cast<void*>(GetProcAddress(codec, "DllGetClassObject")))
                                : nullptr;
    return getClassObject ? getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(out)) : HRESULT_FROM_WIN32(GetLastError());
}

int WicThumbnailBench(const std::wstring& codecDll, const std::wstring& file) {
    ComPtr<IClassFactory> classObject;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CodecClassObject(codecDll, scanleaf::CLSID_CalsWicDecoder, classObject.Put())) ||
        FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.PutVoid()))) {
        std::fwprintf(stderr, L"scanleaf-bench: cannot load the codec %ls\n", codecDll.c_str());
        return 1;
    }
    std::vector<BYTE> pixels;
    double best[3] = {1e30, 1e30, 1e30}; // by WicPath
    for (int run = 0; run < 3; ++run) {
        for (WicPath path : {WicPath::Scaler, WicPath::Frame, WicPath::Transform}) {
            const double start = Seconds();
            const HRESULT hr = ThroughWic(factory.Get(), classObject.Get(), file, pixels, path);
            if (FAILED(hr)) {
                std::fwprintf(stderr, L"scanleaf-bench: WIC failed on %ls (0x%08lX)\n", file.c_str(), (unsigned long)hr);
                return 1;
            }
            double& slot = best[int(path)];
            slot = std::min(slot, Seconds() - start);
        }
    }
    const double wicPeak = PeakMb();
    double coreBest = 1e30;
    for (int run = 0; run < 3; ++run) {
        const double start = Seconds();
        // Read as the codec reads its stream: the whole compressed file.
        std::ifstream in(file.c_str(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        if (!ThroughCore(bytes, pixels)) return 1;
        coreBest = std::min(coreBest, Seconds() - start);
    }
    std::wprintf(L"256-pixel thumbnail of %ls: through WIC's scaler %.1f ms (the codec's frame alone, every line copied "
                 L"out: %.1f ms), through the frame's own scaling %.1f ms, the core's own path %.1f ms; ratios %.2f (scaler), "
                 L"%.2f (frame's scaling); peak working set after the WIC runs %.1f MB\n",
                 file.c_str(), best[0] * 1000, best[1] * 1000, best[2] * 1000, coreBest * 1000, best[0] / coreBest,
                 best[2] / coreBest, wicPeak);
    return 0;
}
