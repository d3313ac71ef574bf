// The window of the preview handler: the drawing upright in its part of the pane, rendered by the
// core at the view's scale, the card as text beside or below it, Explorer's colours and font; the
// mouse wheel zooms about the pointer, dragging pans, a double click fits again. It holds the
// drawing's bytes (never its file).
#pragma once

#include "core/CalsImage.h"
#include "core/DrawingView.h"
#include "hostenv/Unique.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace scanleaf {

// What the pane shows: a drawing, or one line saying why there is none.
struct PaneContent {
    std::vector<std::uint8_t> bytes; // the whole file
    core::CalsImageInfo info;
    std::wstring problem;            // not a drawing: why
    std::vector<std::pair<std::wstring, std::wstring>> card; // label and value
};

// The panes' window class goes with the module: called as it unloads.
void UnregisterPaneClass(HINSTANCE instance);

// Reads a file's bytes into what the pane shows.
PaneContent ReadPaneContent(std::vector<std::uint8_t> bytes);

class PreviewPane {
public:
    PreviewPane(HINSTANCE instance, PaneContent content);
    ~PreviewPane();
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    // The window, a child of `parent` over `rect`; false with the system's error.
    bool Create(HWND parent, const RECT& rect);
    HWND Window() const { return window_.Get(); }
    void SetParent(HWND parent, const RECT& rect);
    void SetRect(const RECT& rect);
    void SetColours(COLORREF background, COLORREF text);
    void SetFont(const LOGFONTW& font);

    // What the pane paints into `dc` (a window's, or a memory bitmap's for a picture of it).
    void Paint(HDC dc);
    const core::DrawingView& View() const { return view_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Layout();
    void PaintDrawing(HDC dc);
    void PaintCard(HDC dc);
    std::wstring DamageText() const;

    HINSTANCE instance_;
    PaneContent content_;
    WindowHandle window_;
    GdiHandle font_;
    COLORREF background_ = GetSysColor(COLOR_WINDOW), text_ = GetSysColor(COLOR_WINDOWTEXT);
    int width_ = 0, height_ = 0;
    core::DrawingView view_;
    // The last rendering, kept while the view stays.
    core::DrawingView::Visible rendered_;
    core::RenderedView pixels_;
    bool haveRendering_ = false;
    bool dragging_ = false;
    POINT dragFrom_{};
};

} // namespace scanleaf
