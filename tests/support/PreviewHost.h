// Explorer's preview host as the preview handler's tests play it: the handler created by the class
// registered for .cal, given a stream of the file, a window and a rectangle, then DoPreview; the
// pane's state and pixels read back as the host would see them.
#pragma once

#include "core/view/DrawingView.h"
#include "hostenv/ComPtr.h"

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace previewhost {

constexpr COLORREF kBackground = RGB(20, 200, 40), kText = RGB(200, 0, 200);

// The class Explorer would create for .cal.
CLSID RegisteredClass();

// A top-level window for the handler, as the preview host's.
class HostWindow {
public:
    HostWindow(int w, int h, DWORD style = WS_POPUP);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
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
    scanleaf::core::ViewRect Drawing() const;
};

// The pane's state, as its window's text says it.
std::wstring StateOf(HWND pane);
// Milliseconds of the performance counter.
double Now();
// Every message waiting handled; the longest of them, in milliseconds.
double Pump();
// Messages handled until the pane has shown its view as far as it will (its picture comes from a
// thread of its own): false when it has not within the time. The longest message in `longest`.
bool Settle(HWND pane, DWORD timeoutMs = 30000, double* longest = nullptr);
// The pane as painted now, whatever it has still to show.
Picture CaptureNow(HWND pane);
// The pane once it has settled.
Picture Capture(HWND pane);

// The handler through the preview host's sequence, up to DoPreview.
struct Previewed {
    scanleaf::ComPtr<IPreviewHandler> handler;
    HRESULT hr = E_FAIL;
};
Previewed Preview(const std::wstring& path, HWND parent, const RECT& rect, bool colours = true);

// The core's rendering of the whole drawing at the size it shows.
std::vector<std::uint8_t> CoreView(const std::vector<unsigned char>& file, const scanleaf::core::ViewRect& at);
// The grey of the picture's pixels in `at`.
std::vector<std::uint8_t> GreyOf(const Picture& picture, const scanleaf::core::ViewRect& at);

} // namespace previewhost
