// The preview handler as Explorer's preview host meets it: created by the class registered for
// .cal, initialized with a stream of the file, given a window and a rectangle, then DoPreview. The
// pane's pixels (painted into a bitmap) show the drawing area equal to the core's rendering of
// the drawing at that size, upright in all eight orientations; SetRect lays it out again; the
// wheel zooms and a double click fits; the file can be deleted straight after DoPreview; Unload
// and release leave no window; damaged, foreign and empty files; eight handlers on threads.
#include "codec/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "core/CalsImage.h"
#include "core/DrawingView.h"
#include "core/Group4Encoder.h"
#include "hostenv/ComApartment.h"
#include "hostenv/ComPtr.h"
#include "tests/support/CodecDll.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace scanleaf;
using testsupport::CodecDll;
using testsupport::ProgramFolder;

namespace {

constexpr COLORREF kBackground = RGB(20, 200, 40), kText = RGB(200, 0, 200);

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

// The class Explorer would create for .cal.
CLSID RegisteredClass() {
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    const std::wstring key = std::wstring(L".cal\\ShellEx\\") + kPreviewHandlerShellEx;
    CLSID clsid = GUID_NULL;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS)
        CLSIDFromString(text, &clsid);
    return clsid;
}

// A top-level window for the handler, as the preview host's.
class HostWindow {
public:
    HostWindow(int w, int h)
        : window_(CreateWindowExW(0, L"STATIC", L"preview host", WS_POPUP, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr)) {}
    ~HostWindow() {
        if (window_) DestroyWindow(window_);
    }
    HWND Get() const { return window_; }
    HWND Pane() const { return GetWindow(window_, GW_CHILD); }

private:
    HWND window_;
};

// The pane's pixels as 0x00RRGGBB, painted into a bitmap as the window would paint them.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    static bool Grey(std::uint32_t p) { return (p & 0xFF) == ((p >> 8) & 0xFF) && (p & 0xFF) == ((p >> 16) & 0xFF); }
    // The bounding box of grey pixels: the drawing (background and text are coloured).
    core::ViewRect Drawing() const {
        int x0 = width, y0 = height, x1 = -1, y1 = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (Grey(At(x, y))) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        return x1 < 0 ? core::ViewRect() : core::ViewRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    }
};

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

// The pane's state, as its window's text says it.
std::wstring StateOf(HWND pane) {
    wchar_t text[256] = {};
    GetWindowTextW(pane, text, 256);
    return text;
}

// Messages handled until the pane has shown its view as far as it will (its picture comes from a
// thread of its own): false when it never settles.
bool Settle(HWND pane, DWORD timeoutMs = 30000) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const std::wstring state = StateOf(pane);
        if (state.rfind(L"Loading", 0) != 0 && state != L"Drawing...") return true;
        if (GetTickCount64() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// The pane as painted now, whatever it has still to show.
Picture CaptureNow(HWND pane) {
    Picture picture;
    RECT client{};
    GetClientRect(pane, &client);
    picture.width = client.right, picture.height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        DeleteDC(dc);
        return picture;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(pane, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    picture.pixels.assign(p, p + std::size_t(picture.width) * picture.height);
    for (std::uint32_t& px : picture.pixels) px &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

// The pane once it has settled.
Picture Capture(HWND pane) {
    EXPECT_TRUE(Settle(pane)) << "the pane is still " << testsupport::Narrow(StateOf(pane));
    return CaptureNow(pane);
}

// The handler through the preview host's sequence, up to DoPreview.
struct Previewed {
    ComPtr<IPreviewHandler> handler;
    HRESULT hr = E_FAIL;
};

Previewed Preview(const std::wstring& path, HWND parent, const RECT& rect, bool colours = true) {
    Previewed p;
    p.hr = CoCreateInstance(RegisteredClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, p.handler.PutVoid());
    if (FAILED(p.hr)) return p;
    ComPtr<IInitializeWithStream> init;
    ComPtr<IPreviewHandlerVisuals> visuals;
    if (FAILED(p.hr = p.handler->QueryInterface(IID_IInitializeWithStream, init.PutVoid()))) return p;
    if (FAILED(p.hr = p.handler->QueryInterface(IID_IPreviewHandlerVisuals, visuals.PutVoid()))) return p;
    {
        ComPtr<IStream> stream;
        p.hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr,
                                      stream.Put());
        if (FAILED(p.hr)) return p;
        if (FAILED(p.hr = init->Initialize(stream.Get(), STGM_READ))) return p;
    }
    if (colours) {
        visuals->SetBackgroundColor(kBackground);
        visuals->SetTextColor(kText);
    }
    if (FAILED(p.hr = p.handler->SetWindow(parent, &rect))) return p;
    p.hr = p.handler->DoPreview();
    return p;
}

// The core's rendering of the whole drawing at the size it shows.
std::vector<std::uint8_t> CoreView(const std::vector<unsigned char>& file, const core::ViewRect& at) {
    const core::CalsImageInfo info = core::ReadImageInfo(file.data());
    const core::Orientation upright(info.pelPath, info.lineProgression, info.width, info.height);
    return core::RenderView(info, file.data() + core::kHeaderSize, file.size() - core::kHeaderSize, 0, 0, upright.ShownWidth(),
                            upright.ShownHeight(), std::uint32_t(at.width), std::uint32_t(at.height))
        .grey;
}

std::vector<std::uint8_t> GreyOf(const Picture& picture, const core::ViewRect& at) {
    std::vector<std::uint8_t> grey;
    for (int y = at.y; y < at.y + at.height; ++y)
        for (int x = at.x; x < at.x + at.width; ++x) grey.push_back(std::uint8_t(picture.At(x, y) & 0xFF));
    return grey;
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
