// The preview handler and its pane's window with allocations failing: on the host's thread (its
// methods, and the paint, wheel, drag and key messages the window handles) and on the pane's own
// decoding thread. No exception leaves into the host or into the system's window code, and the
// pane always ends saying what it shows.
#include "codec/CalsPreviewHandler.h"
#include "core/cals/CalsImage.h"
#include "core/fax/Group4Encoder.h"
#include "hostenv/ComPtr.h"
#include "tests/module/boundary/FailingAllocations.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstdio>
#include <string>

using namespace scanleaf;

namespace {

std::vector<unsigned char> Drawing(std::uint32_t w, std::uint32_t h) {
    const std::string header = core::NewCalsHeader(w, h, 200, 90, 270);
    std::vector<unsigned char> file(header.begin(), header.end());
    core::Group4Encoder encoder(w);
    std::vector<std::uint8_t> row(encoder.RowBytes());
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x)
            row[x / 8] = std::uint8_t((row[x / 8] & ~(0x80 >> (x % 8))) | ((x * y) % 7 == 0 ? 0x80 >> (x % 8) : 0));
        encoder.AddRow(row.data());
    }
    encoder.Finish();
    file.insert(file.end(), encoder.Bytes().begin(), encoder.Bytes().end());
    return file;
}

class HostWindow {
public:
    HostWindow() : window_(CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr)) {}
    ~HostWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

// The pane's state as its window says it; in a buffer of the caller's, for the test's own code
// allocates nothing while allocations fail.
using State = wchar_t[256];

// Handles the messages waiting until the pane no longer says it is busy, or a time passes.
void Settle(HWND pane, State& state) {
    for (int i = 0; i < 500; ++i) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        GetWindowTextW(pane, state, 256);
        if (wcsncmp(state, L"Loading", 7) != 0 && wcscmp(state, L"Drawing...") != 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// The host's sequence and a user's messages; the pane's state at the end in `state`.
HRESULT Previewed(const std::vector<unsigned char>& file, HWND host, State& state) {
    ComPtr<IPreviewHandler> handler;
    HRESULT hr = Creator<CCalsPreviewHandler>::CreateInstance(nullptr, IID_IPreviewHandler, handler.PutVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IInitializeWithStream> init;
    if (FAILED(hr = handler->QueryInterface(IID_IInitializeWithStream, init.PutVoid()))) return hr;
    ComPtr<IStream> stream = ComPtr<IStream>::Attach(SHCreateMemStream(file.data(), UINT(file.size())));
    if (!stream) return E_OUTOFMEMORY;
    if (FAILED(hr = init->Initialize(stream.Get(), STGM_READ))) return hr;
    const RECT rect{0, 0, 600, 400};
    if (FAILED(hr = handler->SetWindow(host, &rect))) return hr;
    if (FAILED(hr = handler->DoPreview())) return hr;
    const HWND pane = GetWindow(host, GW_CHILD);
    Settle(pane, state);
    POINT middle{200, 200};
    ClientToScreen(pane, &middle);
    SendMessageW(pane, WM_MOUSEWHEEL, MAKEWPARAM(0, 2 * WHEEL_DELTA), MAKELPARAM(middle.x, middle.y));
    SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    SendMessageW(pane, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 170));
    SendMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(150, 170));
    SendMessageW(pane, WM_CHAR, '+', 0);
    SendMessageW(pane, WM_KEYDOWN, VK_RIGHT, 0);
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(pane, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    DeleteDC(dc);
    Settle(pane, state);
    if (FAILED(hr = handler->SetRect(&rect))) return hr;
    return handler->Unload();
}

TEST(PaneBoundary, AllocationsFailingOnTheHostsThread) {
    const std::vector<unsigned char> file = Drawing(300, 200);
    HostWindow host;
    for (faults::Thrown thrown : {faults::Thrown::OutOfMemory, faults::Thrown::Other}) {
        long nth = 1;
        for (; nth < 20000; ++nth) {
            State state = {};
            faults::Arm(nth, thrown);
            HRESULT hr = S_OK;
            bool escaped = false;
            try {
                hr = Previewed(file, host.Get(), state);
            } catch (...) {
                escaped = true;
            }
            const bool reached = faults::Disarm();
            ASSERT_FALSE(escaped) << "an exception left at allocation " << nth;
            if (!reached) {
                EXPECT_EQ(S_OK, hr);
                break;
            }
        }
        EXPECT_GT(nth, 10);
        std::printf("the host's thread: %ld allocations failed in turn\n", nth - 1);
    }
}

TEST(PaneBoundary, AllocationsFailingOnThePanesThread) {
    const std::vector<unsigned char> file = Drawing(300, 200);
    HostWindow host;
    long nth = 1;
    for (; nth < 2000; ++nth) {
        State text = {};
        faults::ArmOtherThreads(nth);
        const HRESULT hr = Previewed(file, host.Get(), text);
        const std::wstring state = text;
        const bool reached = faults::DisarmOtherThreads();
        EXPECT_EQ(S_OK, hr) << nth;
        // Whatever failed, the pane ends saying what it shows.
        EXPECT_TRUE(state == L"Shown." || state.rfind(L"Memory ran out: shown down to line ", 0) == 0 ||
                    state.find(L": memory ran out.") != std::wstring::npos)
            << nth << ": " << std::string(state.begin(), state.end());
        if (!reached) {
            EXPECT_EQ(L"Shown.", state);
            break;
        }
    }
    EXPECT_GT(nth, 3);
    std::printf("the pane's thread: %ld allocations failed in turn\n", nth - 1);
}

} // namespace
