// The codec as programs meet it: registered with regsvr32's entry point, chosen by WIC's factory
// from its pattern alone, its frame's size, resolution, format and pixels against the core's
// decoding and ImageMagick's, WIC's scaler and converter over it, every argument and malformed
// stream answered with a WIC error, eight threads at once; and unregistration removing exactly
// what registration wrote.
#include "codec/api/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "codec/api/SourceTransform.h"
#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "core/view/Thumbnail.h"
#include "hostenv/ComPtr.h"
#include "tests/support/CodecDll.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace scanleaf;
using testsupport::CodecDll;
using testsupport::ProgramFolder;

namespace {

// Set by the package test: the codec is the one an installed package registered; the case that
// checks it registers nothing itself.
bool Installed() {
    const char* installed = std::getenv("SCANLEAF_CODEC_INSTALLED");
    return installed && *installed;
}

class WicDecoder : public testing::Test {
protected:
    void SetUp() override {
        if (!Installed()) {
            ASSERT_HRESULT_SUCCEEDED(dll.Call("DllRegisterServer"));
        }
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IWICImagingFactory, factory.PutVoid()));
        sample = ProgramFolder() + L"\\samples\\imagemagick-64x48.cal";
    }
    void TearDown() override {
        if (!Installed()) dll.Call("DllUnregisterServer");
    }
    // ImageMagick's decoding of the sample (raw PBM: 1 black), in WIC's sense.
    static std::vector<BYTE> ImageMagickPixels(UINT stride) {
        std::ifstream pbm(testsupport::Narrow(ProgramFolder() + L"\\samples\\imagemagick-64x48.pbm"), std::ios::binary);
        std::string magic;
        unsigned pw = 0, ph = 0;
        pbm >> magic >> pw >> ph;
        pbm.get();
        std::vector<BYTE> theirs(std::size_t(stride) * ph);
        pbm.read(reinterpret_cast<char*>(theirs.data()), std::streamsize(theirs.size()));
        for (BYTE& b : theirs) b = BYTE(~b);
        return theirs;
    }

    HRESULT Open(const std::wstring& path, ComPtr<IWICBitmapFrameDecode>& frame) {
        ComPtr<IWICBitmapDecoder> decoder;
        HRESULT hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnDemand, decoder.Put());
        if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.Put());
        return hr;
    }
    // The whole picture as WIC's BlackWhite lines (1 white).
    static HRESULT Pixels(IWICBitmapSource* source, std::vector<BYTE>& pixels, UINT& stride) {
        UINT w = 0, h = 0;
        HRESULT hr = source->GetSize(&w, &h);
        stride = (w + 7) / 8;
        pixels.assign(std::size_t(stride) * h, 0);
        return SUCCEEDED(hr) ? source->CopyPixels(nullptr, stride, UINT(pixels.size()), pixels.data()) : hr;
    }
    // The core's decoding of the same file, inverted to WIC's sense.
    static std::vector<BYTE> CorePixels(const std::wstring& path) {
        const std::vector<unsigned char> file = testsupport::ReadBytes(path);
        const core::CalsImageInfo info = core::ReadImageInfo(file.data());
        core::Group4Decoder decoder(file.data() + core::kHeaderSize, file.size() - core::kHeaderSize, info.width);
        std::vector<BYTE> pixels, row(decoder.RowBytes());
        while (decoder.NextRow(row.data()))
            for (BYTE b : row) pixels.push_back(BYTE(~b));
        if (info.width % 8)
            for (std::size_t i = decoder.RowBytes() - 1; i < pixels.size(); i += decoder.RowBytes())
                pixels[i] &= BYTE(0xFF << (8 - info.width % 8));
        return pixels;
    }

    CodecDll dll;
    ComPtr<IWICImagingFactory> factory;
    std::wstring sample;
};

TEST_F(WicDecoder, TheFactoryChoosesItByItsPatternAndItsPixelsAreTheWritersOwn) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(sample.c_str(), nullptr, GENERIC_READ,
                                                                WICDecodeMetadataCacheOnDemand, decoder.Put()));
    GUID container{};
    ASSERT_HRESULT_SUCCEEDED(decoder->GetContainerFormat(&container));
    EXPECT_TRUE(IsEqualGUID(GUID_ContainerFormatCals, container));
    UINT frames = 0;
    EXPECT_HRESULT_SUCCEEDED(decoder->GetFrameCount(&frames));
    EXPECT_EQ(1u, frames);
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.Put()));
    UINT w = 0, h = 0;
    double dpiX = 0, dpiY = 0;
    WICPixelFormatGUID format{};
    EXPECT_HRESULT_SUCCEEDED(frame->GetSize(&w, &h));
    EXPECT_HRESULT_SUCCEEDED(frame->GetResolution(&dpiX, &dpiY));
    EXPECT_HRESULT_SUCCEEDED(frame->GetPixelFormat(&format));
    EXPECT_EQ(64u, w);
    EXPECT_EQ(48u, h);
    EXPECT_EQ(200.0, dpiX);
    EXPECT_TRUE(IsEqualGUID(GUID_WICPixelFormatBlackWhite, format));
    std::vector<BYTE> pixels;
    UINT stride = 0;
    ASSERT_HRESULT_SUCCEEDED(Pixels(frame.Get(), pixels, stride));
    EXPECT_EQ(CorePixels(sample), pixels);
    EXPECT_EQ(ImageMagickPixels(stride), pixels);

    // The same through a stream that WIC is handed, and through its scaler and converter.
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(SHCreateStreamOnFileW(sample.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.Put()));
    ComPtr<IWICBitmapDecoder> fromStream;
    ASSERT_HRESULT_SUCCEEDED(
        factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, fromStream.Put()));
    ComPtr<IWICBitmapFrameDecode> streamFrame;
    ASSERT_HRESULT_SUCCEEDED(fromStream->GetFrame(0, streamFrame.Put()));
    std::vector<BYTE> again;
    ASSERT_HRESULT_SUCCEEDED(Pixels(streamFrame.Get(), again, stride));
    EXPECT_EQ(pixels, again);
    ComPtr<IWICBitmapScaler> scaler;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateBitmapScaler(scaler.Put()));
    ASSERT_HRESULT_SUCCEEDED(scaler->Initialize(streamFrame.Get(), 16, 12, WICBitmapInterpolationModeFant));
    ComPtr<IWICBitmapSource> bgra;
    ASSERT_HRESULT_SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, scaler.Get(), bgra.Put()));
    std::vector<BYTE> thumbnail(16 * 12 * 4);
    EXPECT_HRESULT_SUCCEEDED(bgra->CopyPixels(nullptr, 16 * 4, UINT(thumbnail.size()), thumbnail.data()));
}

// In a fresh prefix where the x64 package installed the codec (run by the package test).
TEST_F(WicDecoder, InstalledByThePackageItOpensDrawingsByTheirPattern) {
    if (!Installed()) GTEST_SKIP() << "run by the package test after installing";
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(sample.c_str(), nullptr, GENERIC_READ,
                                                                WICDecodeMetadataCacheOnDemand, decoder.Put()));
    GUID container{};
    ASSERT_HRESULT_SUCCEEDED(decoder->GetContainerFormat(&container));
    EXPECT_TRUE(IsEqualGUID(GUID_ContainerFormatCals, container));
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.Put()));
    std::vector<BYTE> pixels;
    UINT stride = 0;
    ASSERT_HRESULT_SUCCEEDED(Pixels(frame.Get(), pixels, stride));
    EXPECT_EQ(ImageMagickPixels(stride), pixels);
}

// The frame's own scaling, which Windows' scaler asks for first: the core's area-averaging
// thumbnail, in bands as in one piece, black and white where a grey is below the middle.
TEST_F(WicDecoder, TheFrameScalesItselfAsTheCoresThumbnail) {
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(Open(sample, frame));
    ComPtr<IWICBitmapSourceTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(frame->QueryInterface(IID_IWICBitmapSourceTransform, transform.PutVoid()));
    BOOL supported = FALSE;
    EXPECT_HRESULT_SUCCEEDED(transform->DoesSupportTransform(WICBitmapTransformRotate0, &supported));
    EXPECT_TRUE(supported);
    EXPECT_HRESULT_SUCCEEDED(transform->DoesSupportTransform(WICBitmapTransformFlipVertical, &supported));
    EXPECT_FALSE(supported);
    // Sizes asked -> sizes given: any size down from 64x48; anything else, the picture's own.
    const UINT sizes[][4] = {{16, 12, 16, 12}, {64, 1, 64, 1}, {0, 5, 64, 48}, {65, 5, 64, 48}, {64, 48, 64, 48}};
    for (const auto& s : sizes) {
        UINT w = s[0], h = s[1];
        EXPECT_HRESULT_SUCCEEDED(transform->GetClosestSize(&w, &h));
        EXPECT_EQ(s[2], w) << s[0] << "x" << s[1];
        EXPECT_EQ(s[3], h) << s[0] << "x" << s[1];
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    EXPECT_HRESULT_SUCCEEDED(transform->GetClosestPixelFormat(&format));
    EXPECT_TRUE(IsEqualGUID(GUID_WICPixelFormat8bppGray, format));

    const std::vector<unsigned char> file = testsupport::ReadBytes(sample);
    core::Thumbnailer thumbnail(64, 48, 16, 12);
    core::Group4Decoder decoder(file.data() + core::kHeaderSize, file.size() - core::kHeaderSize, 64);
    while (decoder.NextRow(nullptr)) thumbnail.AddLine(decoder.Changes());
    const std::vector<std::uint8_t> expected = thumbnail.Finish();
    std::vector<BYTE> grey(16 * 12, 7), bands(16 * 12, 9), bw(2 * 12, 0);
    ASSERT_HRESULT_SUCCEEDED(transform->CopyPixels(nullptr, 16, 12, &format, WICBitmapTransformRotate0, 16, 192, grey.data()));
    EXPECT_EQ(expected, grey);
    for (INT y = 0; y < 12; y += 5) {
        const WICRect band{0, y, 16, std::min(5, 12 - y)};
        ASSERT_HRESULT_SUCCEEDED(transform->CopyPixels(&band, 16, 12, &format, WICBitmapTransformRotate0, 16,
                                                       UINT(192 - 16 * y), bands.data() + 16 * y));
    }
    EXPECT_EQ(expected, bands);
    WICPixelFormatGUID blackWhite = GUID_WICPixelFormatBlackWhite;
    ASSERT_HRESULT_SUCCEEDED(transform->CopyPixels(nullptr, 16, 12, &blackWhite, WICBitmapTransformRotate0, 2, 24, bw.data()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i] >= 128, (bw[(i / 16) * 2 + (i % 16) / 8] >> (7 - i % 8)) & 1) << i;
    // At full size in grey: the frame's pels, 0 or 255.
    std::vector<BYTE> full(64 * 48), pixels;
    UINT stride = 0;
    ASSERT_HRESULT_SUCCEEDED(Pixels(frame.Get(), pixels, stride));
    ASSERT_HRESULT_SUCCEEDED(transform->CopyPixels(nullptr, 64, 48, &format, WICBitmapTransformRotate0, 64, 64 * 48, full.data()));
    for (std::size_t i = 0; i < full.size(); ++i)
        EXPECT_EQ((pixels[(i / 64) * 8 + (i % 64) / 8] >> (7 - i % 8)) & 1 ? 255 : 0, full[i]) << i;

    // What it refuses.
    WICPixelFormatGUID bgra = GUID_WICPixelFormat32bppBGRA;
    const WICRect outside{10, 0, 7, 1};
    struct Refused {
        const WICRect* rect;
        UINT w, h;
        WICPixelFormatGUID* format;
        WICBitmapTransformOptions transform;
        UINT stride, size;
        HRESULT hr;
    } const refused[] = {
        {nullptr, 16, 12, &format, WICBitmapTransformFlipVertical, 16, 192, WINCODEC_ERR_UNSUPPORTEDOPERATION},
        {nullptr, 16, 12, &bgra, WICBitmapTransformRotate0, 64, 768, WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT},
        {nullptr, 16, 12, nullptr, WICBitmapTransformRotate0, 16, 192, E_INVALIDARG},
        {nullptr, 65, 12, &format, WICBitmapTransformRotate0, 65, 780, E_INVALIDARG}, // not a size it gives
        {&outside, 16, 12, &format, WICBitmapTransformRotate0, 16, 192, E_INVALIDARG},
        {nullptr, 16, 12, &format, WICBitmapTransformRotate0, 15, 192, E_INVALIDARG},
        {nullptr, 16, 12, &format, WICBitmapTransformRotate0, 16, 191, WINCODEC_ERR_INSUFFICIENTBUFFER},
    };
    for (const Refused& r : refused)
        EXPECT_EQ(r.hr, transform->CopyPixels(r.rect, r.w, r.h, r.format, r.transform, r.stride, r.size, grey.data()))
            << &r - refused;
}

TEST_F(WicDecoder, BadArgumentsAndMalformedStreamsGetWicErrors) {
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(Open(sample, frame));
    std::vector<BYTE> buffer(64 * 48);
    const WICRect outside{60, 0, 8, 1}, negative{-1, 0, 4, 1}, part{3, 5, 20, 4};
    EXPECT_EQ(E_INVALIDARG, frame->CopyPixels(nullptr, 8, UINT(buffer.size()), nullptr));
    EXPECT_EQ(E_INVALIDARG, frame->CopyPixels(&outside, 8, UINT(buffer.size()), buffer.data()));
    EXPECT_EQ(E_INVALIDARG, frame->CopyPixels(&negative, 8, UINT(buffer.size()), buffer.data()));
    EXPECT_EQ(E_INVALIDARG, frame->CopyPixels(nullptr, 7, UINT(buffer.size()), buffer.data()));
    EXPECT_EQ(WINCODEC_ERR_INSUFFICIENTBUFFER, frame->CopyPixels(nullptr, 8, 8 * 47, buffer.data()));
    EXPECT_EQ(E_INVALIDARG, frame->GetSize(nullptr, nullptr));
    ComPtr<IWICBitmapSource> none;
    EXPECT_EQ(WINCODEC_ERR_CODECNOTHUMBNAIL, frame->GetThumbnail(none.Put()));
    // A rectangle inside, at an odd place: the same pels as the whole picture's.
    std::vector<BYTE> whole;
    UINT stride = 0;
    ASSERT_HRESULT_SUCCEEDED(Pixels(frame.Get(), whole, stride));
    ASSERT_HRESULT_SUCCEEDED(frame->CopyPixels(&part, 3, UINT(buffer.size()), buffer.data()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ((whole[std::size_t(5 + y) * stride + (3 + x) / 8] >> (7 - (3 + x) % 8)) & 1,
                      (buffer[std::size_t(y) * 3 + x / 8] >> (7 - x % 8)) & 1)
                << x << "," << y;

    testsupport::TempFolder temp;
    const std::vector<unsigned char> good = testsupport::ReadBytes(sample);
    const struct {
        const wchar_t* name;
        std::size_t keep;  // bytes kept
        std::size_t flip;  // a byte inverted (0: none)
    } cases[] = {{L"cut.cal", 2048 + 40, 0}, {L"header-only.cal", 2048, 0}, {L"flipped.cal", good.size(), 2048 + 30}};
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes(good.begin(), good.begin() + std::ptrdiff_t(c.keep));
        if (c.flip) bytes[c.flip] = static_cast<unsigned char>(~bytes[c.flip]);
        testsupport::WriteBytes(temp.File(c.name), bytes);
        ComPtr<IWICBitmapFrameDecode> broken;
        std::vector<BYTE> pixels;
        HRESULT hr = Open(temp.File(c.name), broken);
        if (SUCCEEDED(hr)) hr = Pixels(broken.Get(), pixels, stride);
        EXPECT_EQ(WINCODEC_ERR_BADIMAGE, hr) << testsupport::Narrow(c.name);
        // Scaled by the frame itself, twice: no picture kept from the first try.
        ComPtr<IWICBitmapSourceTransform> transform;
        WICPixelFormatGUID grey = GUID_WICPixelFormat8bppGray;
        BYTE small[48];
        if (broken) {
            ASSERT_HRESULT_SUCCEEDED(broken->QueryInterface(IID_IWICBitmapSourceTransform, transform.PutVoid()));
        }
        for (int attempt = 0; broken && attempt < 2; ++attempt)
            EXPECT_EQ(WINCODEC_ERR_BADIMAGE,
                      transform->CopyPixels(nullptr, 8, 6, &grey, WICBitmapTransformRotate0, 8, sizeof small, small))
                << testsupport::Narrow(c.name);
    }
    std::vector<unsigned char> notType1 = good;
    notType1[768 + 7] = '2'; // "rtype: 2": not this decoder's
    testsupport::WriteBytes(temp.File(L"type2.cal"), notType1);
    ComPtr<IWICBitmapFrameDecode> other;
    EXPECT_TRUE(FAILED(Open(temp.File(L"type2.cal"), other)));
}

TEST_F(WicDecoder, EightThreadsDecodeAtOnce) {
    const std::vector<BYTE> expected = CorePixels(sample);
    std::vector<int> same(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            {
                ComPtr<IWICBitmapFrameDecode> frame;
                std::vector<BYTE> pixels;
                UINT stride = 0;
                for (int round = 0; round < 10; ++round)
                    same[t] += SUCCEEDED(Open(sample, frame)) && SUCCEEDED(Pixels(frame.Get(), pixels, stride)) &&
                               pixels == expected;
            }
            CoUninitialize();
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(std::vector<int>(8, 10), same);
}

TEST(WicRegistration, UnregisteringRemovesExactlyWhatRegistrationWrote) {
    // A value of another program's on an extension's key stays, and so does the key.
    HKEY cal = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L".ct4", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &cal, nullptr));
    RegSetValueExW(cal, L"OtherProgram", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(cal);
    CodecDll dll;
    ASSERT_HRESULT_SUCCEEDED(dll.Call("DllRegisterServer"));
    for (const CodecRow& row : CodecRows(L"")) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(row.root, row.key.c_str(), 0, KEY_READ, &key)) << testsupport::Narrow(row.key);
        if (key) RegCloseKey(key);
    }
    ASSERT_HRESULT_SUCCEEDED(dll.Call("DllUnregisterServer"));
    for (const CodecKey& owned : CodecOwnedKeys()) {
        HKEY key = nullptr;
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(owned.root, owned.key.c_str(), 0, KEY_READ, &key)) << testsupport::Narrow(owned.key);
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
    for (const wchar_t* made : {L".cg4", L"SystemFileAssociations\\.cg4"}) {
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, made, 0, KEY_READ, &key)) << "made by registration";
        if (key) RegCloseKey(key);
        key = nullptr;
    }
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L".ct4", 0, KEY_READ, &key));
    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"OtherProgram", nullptr, &type, nullptr, nullptr));
    EXPECT_NE(ERROR_SUCCESS, RegQueryValueExW(key, L"PerceivedType", nullptr, &type, nullptr, nullptr));
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".ct4");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L".ct4");
}

} // namespace
