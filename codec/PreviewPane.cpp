#include "codec/PreviewPane.h"

#include "core/DrawingProperties.h"
#include "hostenv/SystemText.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace scanleaf {

namespace {

const wchar_t kClassName[] = L"ScanleafCalsPreviewPane";
constexpr int kPadding = 8;

std::wstring Value(const core::DrawingValue& v) {
    switch (v.kind) {
    case core::DrawingValue::Kind::Text: return v.text;
    case core::DrawingValue::Kind::Number: return std::to_wstring(v.number);
    case core::DrawingValue::Kind::Real: {
        wchar_t text[32];
        std::swprintf(text, 32, L"%g", v.real);
        return text;
    }
    case core::DrawingValue::Kind::Empty: break;
    }
    return std::wstring();
}

} // namespace

PaneContent ReadPaneContent(std::vector<std::uint8_t> bytes) {
    PaneContent content;
    content.bytes = std::move(bytes);
    const std::vector<std::uint8_t>& b = content.bytes;
    if (b.empty()) return content.problem = L"An empty file: no drawing to show.", content;
    if (b.size() < core::kHeaderSize) return content.problem = L"Shorter than a CALS header: no drawing to show.", content;
    if (core::ClassifyHeader(b.data()) != core::HeaderKind::Cals)
        return content.problem = L"Not a CALS drawing: its first 2048 bytes are no CALS header.", content;
    content.info = core::ReadImageInfo(b.data());
    if (!content.info.type1) return content.problem = L"Not a CALS type 1 drawing (rtype is not 1).", content;
    if (!content.info.sizeKnown) return content.problem = L"No usable rpelcnt: the drawing's size is unknown.", content;
    const std::string header = core::DrawingHeaderProblem(content.info);
    if (!header.empty()) return content.problem = L"Cannot be drawn: " + std::wstring(header.begin(), header.end()) + L".", content;
    core::DrawingProperties properties;
    std::string problem;
    if (properties.Read(b.data(), AnsiCodePage(), problem)) {
        static const std::pair<core::DrawingKey, const wchar_t*> kShown[] = {
            {core::DrawingKey::DocumentId, L"Document ID"},   {core::DrawingKey::Title, L"Title"},
            {core::DrawingKey::DestinationId, L"Destination ID"}, {core::DrawingKey::TextFileId, L"Text file ID"},
            {core::DrawingKey::SourceGraphics, L"Source graphics"}, {core::DrawingKey::DocumentClass, L"Document class"},
            {core::DrawingKey::Comment, L"Notes"},            {core::DrawingKey::Dimensions, L"Size (pels)"},
            {core::DrawingKey::HorizontalResolution, L"Resolution (dpi)"}, {core::DrawingKey::Orientation, L"Orientation"},
        };
        for (const auto& [key, label] : kShown) {
            const std::wstring value = Value(properties.Get(key));
            if (!value.empty()) content.card.push_back({label, value});
        }
    }
    return content;
}

PreviewPane::PreviewPane(HINSTANCE instance, PaneContent content) : instance_(instance), content_(std::move(content)) {
    if (content_.problem.empty()) {
        const core::Orientation upright = core::ShownAs(content_.info, content_.info.width, content_.info.height);
        view_.SetDrawing(upright.ShownWidth(), upright.ShownHeight());
    }
}

PreviewPane::~PreviewPane() {
    // No message reaches this object once it is going.
    if (window_) SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    window_.Reset();
}

void UnregisterPaneClass(HINSTANCE instance) { UnregisterClassW(kClassName, instance); }

bool PreviewPane::Create(HWND parent, const RECT& rect) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = &PreviewPane::Procedure;
    type.hInstance = instance_;
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = kClassName;
    // Registered once for the module's life (panes on several threads share it); the module
    // removes it as it unloads, when no pane is left.
    if (!RegisterClassExW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    width_ = std::max(0L, rect.right - rect.left);
    height_ = std::max(0L, rect.bottom - rect.top);
    window_.Reset(CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect.left, rect.top, width_,
                                  height_, parent, nullptr, instance_, this));
    if (!window_) return false;
    Layout();
    return true;
}

void PreviewPane::SetParent(HWND parent, const RECT& rect) {
    if (!window_) return;
    ::SetParent(window_.Get(), parent);
    SetRect(rect);
}

void PreviewPane::SetRect(const RECT& rect) {
    width_ = std::max(0L, rect.right - rect.left);
    height_ = std::max(0L, rect.bottom - rect.top);
    if (window_) MoveWindow(window_.Get(), rect.left, rect.top, width_, height_, TRUE);
    Layout();
}

void PreviewPane::SetColours(COLORREF background, COLORREF text) {
    background_ = background;
    text_ = text;
    if (window_) InvalidateRect(window_.Get(), nullptr, FALSE);
}

void PreviewPane::SetFont(const LOGFONTW& font) {
    font_.Reset(CreateFontIndirectW(&font));
    Layout();
}

void PreviewPane::Layout() {
    int cardWidth = 0, cardHeight = 0;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc) {
        const HGDIOBJ old = font_ ? SelectObject(dc, font_.Get()) : nullptr;
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        for (const auto& [label, value] : content_.card) {
            const std::wstring line = label + L": " + value;
            SIZE size{};
            GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
            cardWidth = std::max(cardWidth, int(size.cx));
        }
        cardHeight = int(content_.card.size() + 1) * int(metrics.tmHeight);
        if (old) SelectObject(dc, old);
        DeleteDC(dc);
    }
    view_.Layout(width_, height_, cardWidth + 2 * kPadding, cardHeight + 2 * kPadding);
    haveRendering_ = false;
    if (window_) InvalidateRect(window_.Get(), nullptr, FALSE);
}

void PreviewPane::Paint(HDC dc) {
    const RECT all{0, 0, width_, height_};
    GdiHandle brush(CreateSolidBrush(background_));
    FillRect(dc, &all, static_cast<HBRUSH>(brush.Get()));
    const HGDIOBJ old = font_ ? SelectObject(dc, font_.Get()) : nullptr;
    SetTextColor(dc, text_);
    SetBkMode(dc, TRANSPARENT);
    if (!content_.problem.empty()) {
        RECT line = all;
        InflateRect(&line, -kPadding, -kPadding);
        DrawTextW(dc, content_.problem.c_str(), -1, &line, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    } else {
        PaintDrawing(dc);
        PaintCard(dc);
    }
    if (old) SelectObject(dc, old);
}

void PreviewPane::PaintDrawing(HDC dc) {
    const core::DrawingView::Visible visible = view_.InView();
    if (visible.target.width <= 0 || visible.target.height <= 0) return;
    const bool same = haveRendering_ && visible.x0 == rendered_.x0 && visible.y0 == rendered_.y0 && visible.x1 == rendered_.x1 &&
                      visible.y1 == rendered_.y1 && visible.target == rendered_.target;
    if (!same) {
        const std::uint8_t* stream = content_.bytes.data() + core::kHeaderSize;
        pixels_ = core::RenderView(content_.info, stream, content_.bytes.size() - core::kHeaderSize, visible.x0, visible.y0,
                                   visible.x1, visible.y1, std::uint32_t(visible.target.width), std::uint32_t(visible.target.height));
        rendered_ = visible;
        haveRendering_ = true;
    }
    const int w = rendered_.target.width, h = rendered_.target.height;
    if (pixels_.grey.size() != std::size_t(w) * std::size_t(h)) return;
    // An 8-bit grey picture, top row first, rows of whole 32-bit words.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } picture{};
    picture.header.biSize = sizeof picture.header;
    picture.header.biWidth = w;
    picture.header.biHeight = -h;
    picture.header.biPlanes = 1;
    picture.header.biBitCount = 8;
    picture.header.biCompression = BI_RGB;
    picture.header.biClrUsed = 256;
    for (int i = 0; i < 256; ++i) picture.colours[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    const std::size_t stride = (std::size_t(w) + 3) & ~std::size_t(3);
    std::vector<std::uint8_t> rows(stride * std::size_t(h));
    for (int y = 0; y < h; ++y) std::copy_n(pixels_.grey.data() + std::size_t(y) * w, w, rows.data() + std::size_t(y) * stride);
    // Whole pels reach past the area by part of a pel at its edges: the card's side stays clear.
    const int saved = SaveDC(dc);
    const core::ViewRect& clip = view_.PictureArea();
    IntersectClipRect(dc, clip.x, clip.y, clip.x + clip.width, clip.y + clip.height);
    SetDIBitsToDevice(dc, rendered_.target.x, rendered_.target.y, DWORD(w), DWORD(h), 0, 0, 0, UINT(h), rows.data(),
                      reinterpret_cast<const BITMAPINFO*>(&picture), DIB_RGB_COLORS);
    // Where a damaged stream stops: a red line across the drawing at its first lost line.
    if (pixels_.damagedLine < content_.info.height) {
        const core::CalsImageInfo& info = content_.info;
        const core::Orientation upright = core::ShownAs(info, info.width, info.height);
        std::uint32_t sx = 0, sy = 0, ex = 0, ey = 0;
        upright.Place(0, pixels_.damagedLine, sx, sy);
        upright.Place(info.width - 1, pixels_.damagedLine, ex, ey);
        const core::ViewRect& area = view_.PictureArea();
        auto paneX = [&](double pel) { return area.x + int(std::lround((pel - view_.Left()) * view_.Scale())); };
        auto paneY = [&](double pel) { return area.y + int(std::lround((pel - view_.Top()) * view_.Scale())); };
        GdiHandle pen(CreatePen(PS_SOLID, 2, RGB(220, 0, 0)));
        const HGDIOBJ oldPen = SelectObject(dc, pen.Get());
        MoveToEx(dc, paneX(std::min(sx, ex)), paneY(std::min(sy, ey)), nullptr);
        LineTo(dc, paneX(std::max(sx, ex) + (sx == ex ? 0 : 1)), paneY(std::max(sy, ey) + (sy == ey ? 0 : 1)));
        SelectObject(dc, oldPen);
    }
    RestoreDC(dc, saved);
}

std::wstring PreviewPane::DamageText() const {
    if (!haveRendering_ || pixels_.damagedLine >= content_.info.height) return std::wstring();
    return L"Damaged: " + std::wstring(pixels_.damage.begin(), pixels_.damage.end()) + L" in line " +
           std::to_wstring(pixels_.damagedLine + 1) + L"; shown as far as it decodes.";
}

void PreviewPane::PaintCard(HDC dc) {
    const core::ViewRect& area = view_.CardArea();
    if (area.width <= 2 * kPadding || area.height <= 2 * kPadding) return;
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT line{area.x + kPadding, area.y + kPadding, area.x + area.width - kPadding, area.y + kPadding + int(metrics.tmHeight)};
    auto draw = [&](const std::wstring& text) {
        DrawTextW(dc, text.c_str(), int(text.size()), &line, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        OffsetRect(&line, 0, int(metrics.tmHeight));
    };
    for (const auto& [label, value] : content_.card) draw(label + L": " + value);
    if (const std::wstring damage = DamageText(); !damage.empty()) draw(damage);
}

LRESULT CALLBACK PreviewPane::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* pane = reinterpret_cast<PreviewPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // A message that reaches no pane (after it went, or before it was set) gets the default.
    if (!pane || !pane->window_) return DefWindowProcW(window, message, wparam, lparam);
    return pane->Handle(message, wparam, lparam);
}

LRESULT PreviewPane::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = window_.Get();
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        // Painted off screen first, so nothing flickers while the drawing is rendered.
        HDC memory = CreateCompatibleDC(dc);
        GdiHandle bitmap(CreateCompatibleBitmap(dc, std::max(width_, 1), std::max(height_, 1)));
        if (memory && bitmap) {
            const HGDIOBJ old = SelectObject(memory, bitmap.Get());
            Paint(memory);
            BitBlt(dc, 0, 0, width_, height_, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
        } else {
            Paint(dc);
        }
        if (memory) DeleteDC(memory);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wparam)); return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        ScreenToClient(window, &at);
        view_.ZoomAbout(at.x, at.y, std::pow(1.25, GET_WHEEL_DELTA_WPARAM(wparam) / double(WHEEL_DELTA)));
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetCapture(window);
        dragging_ = true;
        dragFrom_ = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_) {
            const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            view_.Pan(at.x - dragFrom_.x, at.y - dragFrom_.y);
            dragFrom_ = at;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (dragging_) ReleaseCapture();
        dragging_ = false;
        return 0;
    case WM_CAPTURECHANGED: dragging_ = false; return 0;
    case WM_LBUTTONDBLCLK:
        view_.Fit();
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace scanleaf
