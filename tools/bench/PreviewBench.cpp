#include "tools/bench/PictureBench.h"

#include "codec/api/CodecIds.h"
#include "core/cals/CalsImage.h"
#include "core/view/DecodedDrawing.h"
#include "core/view/DrawingView.h"
#include "core/fax/Group4.h"
#include "hostenv/ComPtr.h"

#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

using scanleaf::ComPtr;
namespace core = scanleaf::core;

namespace {

double Ms() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

template <class Work>
double Best(int runs, Work&& work) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const double start = Ms();
        work();
        best = std::min(best, Ms() - start);
    }
    return best;
}

std::wstring StateOf(HWND pane) {
    wchar_t text[256] = {};
    GetWindowTextW(pane, text, 256);
    return text;
}

// Messages handled, each timed, until the pane has shown what it will: the longest of them.
double UntilShown(HWND pane) {
    double longest = 0;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            const double start = Ms();
            DispatchMessageW(&message);
            longest = std::max(longest, Ms() - start);
        }
        const std::wstring state = StateOf(pane);
        if (state.rfind(L"Loading", 0) != 0 && state != L"Drawing...") return longest;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

struct PaneFigures {
    double firstPaint = 0, loadingMessage = 0, shown = 0, zoom = 0, pan = 0;
};

// The preview handler from its DLL (unregistered) in a window of 1000 by 700, as the host drives it.
bool DrivePane(const std::wstring& codecDll, const std::wstring& file, PaneFigures& f) {
    ComPtr<IClassFactory> classObject;
    ComPtr<IPreviewHandler> handler;
    ComPtr<IInitializeWithStream> init;
    ComPtr<IStream> stream;
    if (FAILED(CodecClassObject(codecDll, scanleaf::CLSID_CalsPreviewHandler, classObject.Put())) ||
        FAILED(classObject->CreateInstance(nullptr, IID_IPreviewHandler, handler.PutVoid())) ||
        FAILED(handler->QueryInterface(IID_IInitializeWithStream, init.PutVoid())) ||
        FAILED(SHCreateStreamOnFileW(file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, stream.Put())) ||
        FAILED(init->Initialize(stream.Get(), STGM_READ)))
        return false;
    HWND host = CreateWindowExW(0, L"STATIC", L"preview host", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 700, nullptr, nullptr, nullptr, nullptr);
    const RECT rect{0, 0, 1000, 700};
    const double start = Ms();
    bool ok = SUCCEEDED(handler->SetWindow(host, &rect));
    HWND pane = nullptr;
    f.firstPaint = Best(1, [&] {
        ok = ok && SUCCEEDED(handler->DoPreview());
        pane = GetWindow(host, GW_CHILD);
        if (pane) UpdateWindow(pane);
    });
    if (ok && pane) {
        f.loadingMessage = UntilShown(pane);
        f.shown = Ms() - start;
        POINT middle{400, 350};
        ClientToScreen(pane, &middle);
        auto step = [&](UINT message, WPARAM w, LPARAM l) {
            const double t = Best(1, [&] {
                SendMessageW(pane, message, w, l);
                UpdateWindow(pane);
            });
            UntilShown(pane);
            return t;
        };
        for (int i = 0; i < 6; ++i) f.zoom = std::max(f.zoom, step(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(middle.x, middle.y)));
        step(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 350));
        for (int i = 1; i <= 10; ++i) f.pan = std::max(f.pan, step(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(400 - 9 * i, 350 - 6 * i)));
        step(WM_LBUTTONUP, 0, MAKELPARAM(310, 290));
    }
    handler->Unload();
    DestroyWindow(host);
    return ok && pane;
}

} // namespace

int PreviewBench(const std::wstring& codecDll, const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < core::kHeaderSize) {
        std::fwprintf(stderr, L"scanleaf-bench: %ls is no CALS file\n", file.c_str());
        return 1;
    }
    const core::CalsImageInfo info = core::ReadImageInfo(bytes.data());
    const std::uint8_t* stream = bytes.data() + core::kHeaderSize;
    const std::size_t size = bytes.size() - core::kHeaderSize;
    // The pane's view of it in a pane of 1000 by 700 with a card 200 wide: fit, then zoomed.
    const core::Orientation upright = core::ShownAs(info, info.width, info.height);
    core::DrawingView view;
    view.SetDrawing(upright.ShownWidth(), upright.ShownHeight());
    view.Layout(1000, 700, 200, 0);
    const core::DrawingView::Visible fit = view.InView();
    view.ZoomAbout(400, 350, 1.25);
    const core::DrawingView::Visible zoomed = view.InView();
    auto render = [&](const core::DecodedDrawing& drawing, const core::DrawingView::Visible& v) {
        drawing.Render(v.x0, v.y0, v.x1, v.y1, std::uint32_t(v.target.width), std::uint32_t(v.target.height));
    };

    std::vector<std::uint8_t> row((std::size_t(info.width) + 7) / 8);
    const double decode = Best(3, [&] {
        core::Group4Decoder decoder(stream, size, info.width);
        while (decoder.NextRow(row.data())) {
        }
    });
    core::DecodedDrawing drawing(info, stream, size);
    const double once = Best(1, [&] {
        while (drawing.Decode(std::uint64_t(1) << 30)) {
        }
    });
    const double fitFromDecoded = Best(3, [&] { render(drawing, fit); });
    const double zoomFromDecoded = Best(3, [&] { render(drawing, zoomed); });
    const double fitFromStream = Best(1, [&] {
        core::RenderView(info, stream, size, fit.x0, fit.y0, fit.x1, fit.y1, std::uint32_t(fit.target.width),
                         std::uint32_t(fit.target.height));
    });
    std::wprintf(L"%ls: %u x %u pels, %.1f MB stream; decoding it once %.1f ms\n", PathFindFileNameW(file.c_str()), info.width,
                 info.height, size / 1048576.0, decode);
    std::wprintf(L"  %-62ls %10ls %9ls\n", L"", L"ms", L"/ decode");
    auto line = [&](const wchar_t* what, double ms) { std::wprintf(L"  %-62ls %10.1f %9.3f\n", what, ms, ms / decode); };
    line(L"decoded once for the pane (kept, 1 bit a pel)", once);
    line(L"the fitted view rendered from that", fitFromDecoded);
    line(L"a zoom step's view rendered from that", zoomFromDecoded);
    line(L"the fitted view rendered from the stream (each paint before)", fitFromStream);
    PaneFigures f;
    if (!DrivePane(codecDll, file, f)) {
        std::fwprintf(stderr, L"scanleaf-bench: the preview handler in %ls did not show %ls\n", codecDll.c_str(), file.c_str());
        return 1;
    }
    line(L"the pane: UI thread kept by the first paint", f.firstPaint);
    line(L"the pane: by the longest message while loading", f.loadingMessage);
    line(L"the pane: by a zoom step, at most", f.zoom);
    line(L"the pane: by a pan step, at most", f.pan);
    line(L"the pane: until the whole drawing shows", f.shown);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::wprintf(L"  peak memory of the process: %.0f MB\n", memory.PeakPagefileUsage / 1048576.0);
    return 0;
}
