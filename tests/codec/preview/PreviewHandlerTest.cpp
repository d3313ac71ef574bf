// The preview handler as Explorer's preview host meets it: created by the class registered for
// .cal, initialized with a stream of the file, given a window and a rectangle, then DoPreview. The
// pane's pixels (painted into a bitmap) show the drawing area equal to the core's rendering of
// the drawing at that size, upright in all eight orientations; SetRect lays it out again; the
// wheel zooms and a double click fits; the file can be deleted straight after DoPreview; Unload
// and release leave no window; damaged, foreign and empty files; eight handlers on threads.
#include "codec/api/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "core/cals/CalsImage.h"
#include "core/view/DrawingView.h"
#include "core/fax/Group4Encoder.h"
#include "hostenv/ComApartment.h"
#include "hostenv/ComPtr.h"
#include "tests/support/CodecDll.h"
#include "tests/support/PreviewHost.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace scanleaf;
using testsupport::CodecDll;
using testsupport::ProgramFolder;
using namespace previewhost;

namespace {

// A drawing of `w` by `h` pels in an orientation: a block in one corner and a bar along the first line.
std::vector<unsigned char> Drawing(std::uint32_t w, std::uint32_t h, int pelPath, int lineProgression, bool cut = false) {
    std::string header = core::NewCalsHeader(w, h, 200, pelPath, lineProgression);
    header.replace(3 * core::kSlotSize, 16, "figid: PLAN 42  ");
    core::Group4Encoder encoder(w);
    std::vector<std::uint8_t> row(encoder.RowBytes());
    for (std::uint32_t y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (std::uint32_t x = 0; x < w; ++x)
            if ((x < w / 3 && y < h / 4) || y == 0 || (x == w - 1 && y > h / 2) || (x + 2 * y) % 11 == 0)
                row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
        encoder.AddRow(row.data());
    }
    encoder.Finish();
    std::vector<unsigned char> file(header.begin(), header.end());
    file.insert(file.end(), encoder.Bytes().begin(), encoder.Bytes().end());
    if (cut) file.resize(core::kHeaderSize + (file.size() - core::kHeaderSize) / 2);
    return file;
}

// SCANLEAF_PREVIEW_PICTURE=PATH: the picture as a BMP file there (the manual's screenshot).
void Keep(const Picture& picture) {
    const char* path = std::getenv("SCANLEAF_PREVIEW_PICTURE");
    if (!path || !*path || picture.pixels.empty()) return;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = -picture.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + picture.pixels.size() * 4);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(picture.pixels.data()), std::streamsize(picture.pixels.size() * 4));
}

class PreviewHandler : public testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(dll.Call("DllRegisterServer")); }
    void TearDown() override { dll.Call("DllUnregisterServer"); }
    CodecDll dll;
    testsupport::TempFolder folder;
};

TEST_F(PreviewHandler, ShowsEveryOrientationUprightAsTheCoreRendersIt) {
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    for (const auto& o : kOrientations) {
        const std::wstring path = folder.File(L"turned-" + std::to_wstring(o[0]) + L"-" + std::to_wstring(o[1]) + L".cal");
        const std::vector<unsigned char> file = Drawing(600, 400, o[0], o[1]);
        testsupport::WriteBytes(path, file);
        HostWindow host(900, 500);
        ASSERT_TRUE(host.Get());
        const RECT rect{0, 0, 900, 500};
        Previewed p = Preview(path, host.Get(), rect);
        ASSERT_HRESULT_SUCCEEDED(p.hr) << o[0] << "," << o[1];
        ASSERT_TRUE(host.Pane());
        const Picture picture = Capture(host.Pane());
        const core::ViewRect at = picture.Drawing();
        ASSERT_GT(at.width, 100) << o[0] << "," << o[1];
        // Fit whole: its proportions, upright, the core's pixels.
        const bool turned = o[0] == 90 || o[0] == 270;
        EXPECT_NEAR(double(at.width) / at.height, turned ? 400.0 / 600 : 600.0 / 400, 0.02) << o[0] << "," << o[1];
        EXPECT_EQ(CoreView(file, at), GreyOf(picture, at)) << o[0] << "," << o[1];
        // Its card beside it, in the text colour.
        EXPECT_NE(picture.pixels.end(), std::find(picture.pixels.begin(), picture.pixels.end(),
                                                  std::uint32_t(GetRValue(kText)) << 16 | std::uint32_t(GetGValue(kText)) << 8 | GetBValue(kText)));
        // The file is the host's again: it can be deleted while it is previewed.
        EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
        EXPECT_HRESULT_SUCCEEDED(p.handler->Unload());
        EXPECT_FALSE(host.Pane()) << "a window is left after Unload";
    }
}

TEST_F(PreviewHandler, SetRectLaysOutAgainTheWheelZoomsADoubleClickFits) {
    const std::wstring path = folder.File(L"drawing.cal");
    const std::vector<unsigned char> file = Drawing(800, 500, 0, 270);
    testsupport::WriteBytes(path, file);
    HostWindow host(900, 500);
    Previewed p = Preview(path, host.Get(), RECT{0, 0, 900, 500});
    ASSERT_HRESULT_SUCCEEDED(p.hr);
    const core::ViewRect wide = Capture(host.Pane()).Drawing();
    // A tall pane: the card goes below and the drawing is laid out again, narrower.
    ASSERT_HRESULT_SUCCEEDED(p.handler->SetRect(&static_cast<const RECT&>(RECT{0, 0, 400, 700})));
    const Picture tall = Capture(host.Pane());
    EXPECT_EQ(400, tall.width);
    const core::ViewRect narrow = tall.Drawing();
    EXPECT_LE(narrow.width, 400);
    EXPECT_LT(narrow.width, wide.width);
    EXPECT_EQ(CoreView(file, narrow), GreyOf(tall, narrow));
    // The wheel at the pane's middle zooms: the drawing fills its area, and the point under the
    // pointer stays; a double click fits it again.
    POINT middle{200, 150};
    ClientToScreen(host.Pane(), &middle);
    SendMessageW(host.Pane(), WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), MAKELPARAM(middle.x, middle.y));
    const core::ViewRect zoomed = Capture(host.Pane()).Drawing();
    EXPECT_GT(zoomed.width * zoomed.height, narrow.width * narrow.height);
    SendMessageW(host.Pane(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(200, 150));
    EXPECT_EQ(narrow, Capture(host.Pane()).Drawing());
    // Explorer's font: a larger one takes more of the pane for the card, so the drawing is smaller.
    ComPtr<IPreviewHandlerVisuals> visuals;
    ASSERT_HRESULT_SUCCEEDED(p.handler->QueryInterface(IID_IPreviewHandlerVisuals, visuals.PutVoid()));
    ASSERT_HRESULT_SUCCEEDED(p.handler->SetRect(&static_cast<const RECT&>(RECT{0, 0, 900, 500})));
    const core::ViewRect before = Capture(host.Pane()).Drawing();
    LOGFONTW large{};
    large.lfHeight = -28;
    wcscpy(large.lfFaceName, L"Tahoma");
    ASSERT_HRESULT_SUCCEEDED(visuals->SetFont(&large));
    EXPECT_LT(Capture(host.Pane()).Drawing().width, before.width);
    EXPECT_EQ(E_INVALIDARG, visuals->SetFont(nullptr));
    ASSERT_HRESULT_SUCCEEDED(p.handler->SetRect(&static_cast<const RECT&>(RECT{0, 0, 400, 700})));
    // Dragging pans a zoomed drawing.
    SendMessageW(host.Pane(), WM_MOUSEWHEEL, MAKEWPARAM(0, 5 * WHEEL_DELTA), MAKELPARAM(middle.x, middle.y));
    const Picture unpanned = Capture(host.Pane());
    SendMessageW(host.Pane(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
    SendMessageW(host.Pane(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 120));
    SendMessageW(host.Pane(), WM_LBUTTONUP, 0, MAKELPARAM(150, 120));
    EXPECT_NE(unpanned.pixels, Capture(host.Pane()).pixels);
    EXPECT_HRESULT_SUCCEEDED(p.handler->Unload());
}

TEST_F(PreviewHandler, KeysZoomFitAndPanAsImageViewersDoAndAClickTakesThem) {
    const std::wstring path = folder.File(L"drawing.cal");
    testsupport::WriteBytes(path, Drawing(800, 500, 0, 270));
    HostWindow host(900, 500);
    Previewed p = Preview(path, host.Get(), RECT{0, 0, 900, 500});
    ASSERT_HRESULT_SUCCEEDED(p.hr);
    const HWND pane = host.Pane();
    SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(pane, GetFocus());
    EXPECT_EQ(DLGC_WANTARROWS | DLGC_WANTCHARS, SendMessageW(pane, WM_GETDLGCODE, 0, 0) & (DLGC_WANTARROWS | DLGC_WANTCHARS));
    const Picture fitted = Capture(pane);
    auto key = [&](UINT message, WPARAM code) {
        SendMessageW(pane, message, code, 0);
        return Capture(pane);
    };
    // + zooms about the middle, - back out to the fit, 0 fits from anywhere.
    const Picture in = key(WM_CHAR, '+');
    const core::ViewRect at = in.Drawing(), was = fitted.Drawing();
    EXPECT_GT(at.width * at.height, was.width * was.height);
    EXPECT_NEAR(was.x + was.width / 2, at.x + at.width / 2, 2) << "not about the middle";
    EXPECT_EQ(fitted.pixels, key(WM_CHAR, '-').pixels);
    key(WM_CHAR, '+');
    key(WM_CHAR, '+');
    EXPECT_EQ(fitted.pixels, key(WM_CHAR, '0').pixels);
    // Arrows pan a zoomed drawing (with room each way) and back again; a character with an
    // arrow's code does nothing.
    key(WM_CHAR, '+');
    key(WM_CHAR, '+');
    const Picture zoomed = key(WM_CHAR, '+');
    for (const auto& [there, back] : {std::pair<WPARAM, WPARAM>{VK_RIGHT, VK_LEFT}, {VK_DOWN, VK_UP}}) {
        EXPECT_NE(zoomed.pixels, key(WM_KEYDOWN, there).pixels) << there;
        EXPECT_EQ(zoomed.pixels, key(WM_KEYDOWN, back).pixels) << there;
    }
    EXPECT_EQ(zoomed.pixels, key(WM_CHAR, VK_LEFT).pixels);
    EXPECT_HRESULT_SUCCEEDED(p.handler->Unload());
}

// A stream that tells its size (and counts what is read of it).
class SizedStream : public IStream {
public:
    explicit SizedStream(std::uint64_t size) : size_(size) {}
    std::uint64_t read = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream) || IsEqualIID(iid, IID_ISequentialStream) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG want, ULONG* got) override {
        const ULONG n = ULONG(std::min<std::uint64_t>(want, size_ - std::min(size_, at_)));
        std::memset(into, 'x', n);
        at_ += n, read += n;
        if (got) *got = n;
        return n < want ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        at_ = origin == STREAM_SEEK_SET ? std::uint64_t(move.QuadPart) : origin == STREAM_SEEK_CUR ? at_ + move.QuadPart : size_ + move.QuadPart;
        if (now) now->QuadPart = at_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = size_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::uint64_t size_, at_ = 0;
};

TEST_F(PreviewHandler, AStreamPastTheLargestIsRefusedBeforeAByteIsRead) {
    for (const std::uint64_t size : {(512ull << 20) + 1, 3ull << 30}) {
        ComPtr<IPreviewHandler> handler;
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(RegisteredClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, handler.PutVoid()));
        ComPtr<IInitializeWithStream> init;
        ASSERT_HRESULT_SUCCEEDED(handler->QueryInterface(IID_IInitializeWithStream, init.PutVoid()));
        SizedStream stream(size);
        ASSERT_HRESULT_SUCCEEDED(init->Initialize(&stream, STGM_READ));
        EXPECT_EQ(0u, stream.read) << size;
        HostWindow host(600, 300);
        ASSERT_HRESULT_SUCCEEDED(handler->SetWindow(host.Get(), &static_cast<const RECT&>(RECT{0, 0, 600, 300})));
        ASSERT_HRESULT_SUCCEEDED(handler->DoPreview());
        EXPECT_EQ(L"Larger than a preview reads (512 MB): no drawing to show.", StateOf(host.Pane()));
        handler->Unload();
    }
}

TEST_F(PreviewHandler, DamagedForeignAndEmptyFilesSayWhy) {
    const struct {
        const wchar_t* name;
        std::vector<unsigned char> bytes;
        bool drawing; // some of it shows
    } cases[] = {
        {L"damaged.cal", Drawing(300, 200, 0, 270, true), true},
        {L"foreign.cal", std::vector<unsigned char>(4096, 0x89), false},
        {L"empty.cal", {}, false},
        {L"short.cal", std::vector<unsigned char>(100, 'a'), false},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder.File(c.name);
        testsupport::WriteBytes(path, c.bytes);
        HostWindow host(700, 400);
        Previewed p = Preview(path, host.Get(), RECT{0, 0, 700, 400});
        ASSERT_HRESULT_SUCCEEDED(p.hr) << testsupport::Narrow(c.name);
        const Picture picture = Capture(host.Pane());
        // Text in the text colour always; the drawing's grey only where one decodes; the mark of
        // the damage in red.
        bool text = false, red = false;
        for (std::uint32_t px : picture.pixels) {
            text = text || px == (std::uint32_t(GetRValue(kText)) << 16 | std::uint32_t(GetGValue(kText)) << 8 | GetBValue(kText));
            red = red || px == 0xDC0000;
        }
        EXPECT_TRUE(text) << testsupport::Narrow(c.name);
        EXPECT_EQ(c.drawing, picture.Drawing().width > 0) << testsupport::Narrow(c.name);
        EXPECT_EQ(c.drawing, red) << testsupport::Narrow(c.name);
        EXPECT_HRESULT_SUCCEEDED(p.handler->Unload());
    }
}

TEST_F(PreviewHandler, TheSequenceOutOfOrderAndEightAtOnce) {
    const std::wstring path = folder.File(L"drawing.cal");
    testsupport::WriteBytes(path, Drawing(300, 200, 90, 270));
    ComPtr<IPreviewHandler> handler;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(RegisteredClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, handler.PutVoid()));
    EXPECT_EQ(E_UNEXPECTED, handler->DoPreview()); // neither stream nor window
    EXPECT_EQ(E_INVALIDARG, handler->SetRect(nullptr));
    ComPtr<IInitializeWithStream> init;
    ASSERT_HRESULT_SUCCEEDED(handler->QueryInterface(IID_IInitializeWithStream, init.PutVoid()));
    EXPECT_EQ(E_INVALIDARG, init->Initialize(nullptr, STGM_READ));
    ComPtr<IOleWindow> ole;
    ASSERT_HRESULT_SUCCEEDED(handler->QueryInterface(IID_IOleWindow, ole.PutVoid()));
    HWND window = nullptr;
    EXPECT_EQ(E_FAIL, ole->GetWindow(&window));
    // Eight handlers on eight threads, each with its own window.
    std::vector<std::thread> threads;
    std::vector<int> shown(8, 0);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            const ComApartment com;
            HostWindow host(500, 300);
            Previewed p = Preview(path, host.Get(), RECT{0, 0, 500, 300});
            if (SUCCEEDED(p.hr) && Capture(host.Pane()).Drawing().width > 0) shown[std::size_t(t)] = 1;
            if (p.handler) p.handler->Unload();
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(std::vector<int>(8, 1), shown);
}

// SCANLEAF_PREVIEW_DRAWING=FILE and SCANLEAF_PREVIEW_PICTURE=BMP: the pane of that drawing in
// Windows' own colours, for the manual's screenshot; nothing otherwise.
TEST_F(PreviewHandler, PictureForTheManual) {
    const char* drawing = std::getenv("SCANLEAF_PREVIEW_DRAWING");
    if (!drawing || !*drawing) GTEST_SKIP() << "no SCANLEAF_PREVIEW_DRAWING";
    HostWindow host(760, 420);
    Previewed p = Preview(testsupport::Widen(drawing), host.Get(), RECT{0, 0, 760, 420}, false);
    ASSERT_HRESULT_SUCCEEDED(p.hr);
    Keep(Capture(host.Pane()));
    p.handler->Unload();
}

TEST(PreviewRegistration, AsWindowsExpectsAndRemovedExactly) {
    CodecDll dll;
    ASSERT_HRESULT_SUCCEEDED(dll.Call("DllRegisterServer"));
    EXPECT_TRUE(IsEqualCLSID(CLSID_CalsPreviewHandler, RegisteredClass()));
    wchar_t clsid[40] = {}, text[128] = {};
    StringFromGUID2(CLSID_CalsPreviewHandler, clsid, 40);
    DWORD size = sizeof text;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str(), L"AppID", RRF_RT_REG_SZ,
                                          nullptr, text, &size));
    // A 32-bit handler on 64-bit Windows runs in the 32-bit preview host.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(std::wstring(sizeof(void*) == 4 && wow64 ? L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}" : L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}"),
              text);
    size = sizeof text;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kPreviewHandlersKey, clsid, RRF_RT_REG_SZ, nullptr, text, &size));
    ASSERT_HRESULT_SUCCEEDED(dll.Call("DllUnregisterServer"));
    EXPECT_NE(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kPreviewHandlersKey, clsid, RRF_RT_REG_SZ, nullptr, nullptr, nullptr));
    EXPECT_TRUE(IsEqualCLSID(GUID_NULL, RegisteredClass()));
}

} // namespace
