// The window of the preview handler: the drawing upright in its part of the pane, the card as text
// beside or below it, Explorer's colours and font. The wheel zooms about the pointer, + and -
// about the middle; dragging and the arrow keys pan; a double click and 0 fit again; a click
// takes the focus. The drawing is decoded once on a thread of its own (PaneDecoding), which holds
// its bytes (never its file); every message here only copies what that thread rendered, the last
// picture moved and scaled to the view at once while the exact one is rendered.
#pragma once

#include "core/cals/CalsImage.h"
#include "codec/PaneDecoding.h"
#include "core/view/DrawingView.h"
#include "hostenv/Unique.h"

#include <windows.h>

#include <cstdint>
#include <memory>
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

    // The pane's state as its window's text (what a screen reader names it): "Loading... N%"
    // while decoding, "Drawing..." while the view's picture is on its way, then "Shown." or why
    // the drawing shows only in part.
    std::wstring State() const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Layout();
    // The view changed: its picture is asked for, and the last one shown moved and scaled meanwhile.
    void ViewChanged();
    void TakePicture();
    void ShowState();
    // After a message that failed (memory ran out): one more look at the state, so the pane never
    // stays "Loading..." for a picture it lost; a few times in a row at most.
    void Failed() noexcept;
    enum class KeyStep { Left, Right, Up, Down, In, Out, Fit };
    void Step(KeyStep step);
    void PaintDrawing(HDC dc);
    void PaintCard(HDC dc);
    std::wstring StatusText() const;

    HINSTANCE instance_;
    PaneContent content_;
    WindowHandle window_;
    GdiHandle font_;
    COLORREF background_ = GetSysColor(COLOR_WINDOW), text_ = GetSysColor(COLOR_WINDOWTEXT);
    int width_ = 0, height_ = 0;
    core::DrawingView view_;
    std::unique_ptr<PaneDecoding> decoding_;            // ends before the window does
    std::shared_ptr<const PaneDecoding::Picture> shown_;    // the newest picture with pixels
    std::shared_ptr<const PaneDecoding::Picture> progress_; // the newest picture: how far decoding went
    int failures_ = 0; // messages failed in a row, each followed by one more look at the state
    bool dragging_ = false;
    POINT dragFrom_{};
};

} // namespace scanleaf
