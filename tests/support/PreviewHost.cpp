#include "tests/support/PreviewHost.h"

#include "codec/api/CodecIds.h"
#include "codec/CodecRegistration.h"
#include "core/cals/CalsImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>

using namespace scanleaf;

namespace previewhost {

double Now() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double Pump() {
    double longest = 0;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        const double start = Now();
        DispatchMessageW(&message);
        longest = std::max(longest, Now() - start);
    }
    return longest;
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

HostWindow::HostWindow(int w, int h, DWORD style)
    : window_(CreateWindowExW(0, L"STATIC", L"preview host", style, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr)) {}

HostWindow::~HostWindow() {
    if (window_) DestroyWindow(window_);
}

core::ViewRect Picture::Drawing() const {
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Grey(At(x, y))) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    return x1 < 0 ? core::ViewRect() : core::ViewRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// The pane's state, as its window's text says it.
std::wstring StateOf(HWND pane) {
    wchar_t text[256] = {};
    GetWindowTextW(pane, text, 256);
    return text;
}

// Messages handled until the pane has shown its view as far as it will (its picture comes from a
// thread of its own): false when it never settles.
bool Settle(HWND pane, DWORD timeoutMs, double* longest) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const double took = Pump();
        if (longest) *longest = std::max(*longest, took);
        const std::wstring state = StateOf(pane);
        if (state.rfind(L"Loading", 0) != 0 && state != L"Drawing...") return true;
        if (GetTickCount64() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
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


Previewed Preview(const std::wstring& path, HWND parent, const RECT& rect, bool colours) {
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

} // namespace previewhost
