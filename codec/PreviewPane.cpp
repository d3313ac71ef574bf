#include "codec/PreviewPane.h"

#include "core/cals/DrawingProperties.h"
#include "hostenv/ComError.h"
#include "hostenv/SystemText.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace scanleaf {

namespace {

const wchar_t kClassName[] = L"ScanleafCalsPreviewPane";
constexpr int kPadding = 8;
// Posted by the decoding thread: a picture is ready to take.
constexpr UINT kPictureReady = WM_APP + 1;
// A key's zoom step, and an arrow key's pan as a share of the picture area.
constexpr double kKeyZoom = 1.25;
constexpr int kArrowShare = 8;


// A painting's device context, ended on every way out.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

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
    // The thread first (it posts to the window), then no message reaches this object.
    decoding_.reset();
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
    if (content_.problem.empty())
        decoding_ = std::make_unique<PaneDecoding>(std::move(content_.bytes), content_.info, window_.Get(), kPictureReady);
    content_.bytes = std::vector<std::uint8_t>();
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
    const MemoryDcHandle measure(CreateCompatibleDC(nullptr));
    if (const HDC dc = measure.Get()) {
        const HGDIOBJ old = font_ ? SelectObject(dc, font_.Get()) : nullptr;
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        for (const auto& [label, value] : content_.card) {
            const std::wstring line = label + L": " + value;
            SIZE size{};
            GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
            cardWidth = std::max(cardWidth, int(size.cx));
        }
        // A line more for the state (loading, or why the drawing shows only in part).
        cardHeight = int(content_.card.size() + 1) * int(metrics.tmHeight);
        if (old) SelectObject(dc, old);
    }
    view_.Layout(width_, height_, cardWidth + 2 * kPadding, cardHeight + 2 * kPadding);
    ViewChanged();
}

void PreviewPane::ViewChanged() {
    if (decoding_) decoding_->Want(view_.InView());
    ShowState();
    if (window_) InvalidateRect(window_.Get(), nullptr, FALSE);
}

void PreviewPane::TakePicture() {
    if (!decoding_) return;
    if (std::shared_ptr<const PaneDecoding::Picture> picture = decoding_->Take()) {
        if (!picture->rows.empty()) shown_ = picture;
        progress_ = std::move(picture);
    }
    ShowState();
    failures_ = 0;
    if (window_) InvalidateRect(window_.Get(), nullptr, FALSE);
}

std::wstring PreviewPane::State() const {
    if (!content_.problem.empty()) return content_.problem;
    const std::wstring status = StatusText();
    if (!status.empty()) return status;
    if (!progress_ || !(progress_->visible == view_.InView())) return L"Drawing...";
    return L"Shown.";
}

void PreviewPane::ShowState() {
    if (!window_) return;
    const std::wstring state = State();
    wchar_t now[256] = {};
    GetWindowTextW(window_.Get(), now, 256);
    if (state != now) SetWindowTextW(window_.Get(), state.c_str());
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
    if (!shown_) return;
    const PaneDecoding::Picture& picture = *shown_;
    const int w = picture.visible.target.width, h = picture.visible.target.height;
    if (w <= 0 || h <= 0 || picture.rows.size() != picture.Stride() * std::size_t(h)) return;
    // An 8-bit grey picture, top row first.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } bitmap{};
    bitmap.header.biSize = sizeof bitmap.header;
    bitmap.header.biWidth = w;
    bitmap.header.biHeight = -h;
    bitmap.header.biPlanes = 1;
    bitmap.header.biBitCount = 8;
    bitmap.header.biCompression = BI_RGB;
    bitmap.header.biClrUsed = 256;
    for (int i = 0; i < 256; ++i) bitmap.colours[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    const auto* info = reinterpret_cast<const BITMAPINFO*>(&bitmap);
    // Whole pels reach past the area by part of a pel at its edges: the card's side stays clear.
    const int saved = SaveDC(dc);
    const core::ViewRect& clip = view_.PictureArea();
    IntersectClipRect(dc, clip.x, clip.y, clip.x + clip.width, clip.y + clip.height);
    const core::ViewRect& area = view_.PictureArea();
    auto paneX = [&](double pel) { return area.x + int(std::lround((pel - view_.Left()) * view_.Scale())); };
    auto paneY = [&](double pel) { return area.y + int(std::lround((pel - view_.Top()) * view_.Scale())); };
    if (picture.visible == view_.InView()) {
        SetDIBitsToDevice(dc, picture.visible.target.x, picture.visible.target.y, DWORD(w), DWORD(h), 0, 0, 0, UINT(h),
                          picture.rows.data(), info, DIB_RGB_COLORS);
    } else {
        // Another view's picture, moved and scaled to where its pels are now, until this view's comes.
        const int x0 = paneX(picture.visible.x0), y0 = paneY(picture.visible.y0);
        const int x1 = paneX(picture.visible.x1), y1 = paneY(picture.visible.y1);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0), 0, 0, w, h, picture.rows.data(), info, DIB_RGB_COLORS,
                      SRCCOPY);
    }
    // Where decoding stopped short: a red line across the drawing at its first line not shown.
    const core::CalsImageInfo& image = content_.info;
    if (progress_ && progress_->Short() && progress_->lines < image.height) {
        const core::Orientation upright = core::ShownAs(image, image.width, image.height);
        std::uint32_t sx = 0, sy = 0, ex = 0, ey = 0;
        upright.Place(0, progress_->lines, sx, sy);
        upright.Place(image.width - 1, progress_->lines, ex, ey);
        GdiHandle pen(CreatePen(PS_SOLID, 2, RGB(220, 0, 0)));
        const HGDIOBJ oldPen = SelectObject(dc, pen.Get());
        MoveToEx(dc, paneX(std::min(sx, ex)), paneY(std::min(sy, ey)), nullptr);
        LineTo(dc, paneX(std::max(sx, ex) + (sx == ex ? 0 : 1)), paneY(std::max(sy, ey) + (sy == ey ? 0 : 1)));
        SelectObject(dc, oldPen);
    }
    RestoreDC(dc, saved);
}

std::wstring PreviewPane::StatusText() const {
    if (!decoding_) return std::wstring();
    const std::uint32_t height = std::max<std::uint32_t>(content_.info.height, 1);
    if (decoding_->Failed())
        return L"Memory ran out: shown down to line " + std::to_wstring(decoding_->Lines()) + L".";
    using Stop = core::DecodedDrawing::Stop;
    if (!progress_ || progress_->stop == Stop::None)
        return L"Loading... " + std::to_wstring(std::uint64_t(decoding_->Lines()) * 100 / height) + L"%";
    const std::wstring reason(progress_->reason.begin(), progress_->reason.end());
    switch (progress_->stop) {
    case Stop::Damaged:
        return L"Damaged: " + reason + L" in line " + std::to_wstring(progress_->lines + 1) + L"; shown as far as it decodes.";
    case Stop::Memory:
    case Stop::Time:
    case Stop::OutOfMemory: return L"Shown down to line " + std::to_wstring(progress_->lines) + L": " + reason + L".";
    case Stop::None:
    case Stop::Whole: break;
    }
    return std::wstring();
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
    if (const std::wstring status = StatusText(); !status.empty()) draw(status);
}

LRESULT CALLBACK PreviewPane::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* pane = reinterpret_cast<PreviewPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // A message that reaches no pane (after it went, or before it was set) gets the default.
    if (!pane || !pane->window_) return DefWindowProcW(window, message, wparam, lparam);
    // Nothing thrown goes back into the system's code: a message that failed is over (a paint
    // that failed is not asked for again and again).
    LRESULT result = 0;
    if (FAILED(ComBoundary([&]() -> HRESULT {
            result = pane->Handle(message, wparam, lparam);
            return S_OK;
        }))) {
        if (message == WM_PAINT) ValidateRect(window, nullptr);
        pane->Failed();
        return 0;
    }
    return result;
}

void PreviewPane::Failed() noexcept {
    constexpr int kLooksAfterFailures = 3;
    if (window_ && ++failures_ <= kLooksAfterFailures) PostMessageW(window_.Get(), kPictureReady, 0, 0);
}

void PreviewPane::Step(KeyStep step) {
    const core::ViewRect& area = view_.PictureArea();
    const int stepX = std::max(1, area.width / kArrowShare), stepY = std::max(1, area.height / kArrowShare);
    const int midX = area.x + area.width / 2, midY = area.y + area.height / 2;
    switch (step) {
    case KeyStep::Left: view_.Pan(stepX, 0); break;
    case KeyStep::Right: view_.Pan(-stepX, 0); break;
    case KeyStep::Up: view_.Pan(0, stepY); break;
    case KeyStep::Down: view_.Pan(0, -stepY); break;
    case KeyStep::In: view_.ZoomAbout(midX, midY, kKeyZoom); break;
    case KeyStep::Out: view_.ZoomAbout(midX, midY, 1 / kKeyZoom); break;
    case KeyStep::Fit: view_.Fit(); break;
    }
    ViewChanged();
}

LRESULT PreviewPane::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = window_.Get();
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PaintScope paint(window);
        // Painted off screen first, so nothing flickers.
        const MemoryDcHandle memory(CreateCompatibleDC(paint.Dc()));
        GdiHandle bitmap(CreateCompatibleBitmap(paint.Dc(), std::max(width_, 1), std::max(height_, 1)));
        if (memory && bitmap) {
            const HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
            Paint(memory.Get());
            BitBlt(paint.Dc(), 0, 0, width_, height_, memory.Get(), 0, 0, SRCCOPY);
            SelectObject(memory.Get(), old);
        } else {
            Paint(paint.Dc());
        }
        return 0;
    }
    case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wparam)); return 0;
    case kPictureReady: TakePicture(); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: {
        static const std::pair<WPARAM, KeyStep> kKeys[] = {
            {VK_LEFT, KeyStep::Left}, {VK_RIGHT, KeyStep::Right}, {VK_UP, KeyStep::Up}, {VK_DOWN, KeyStep::Down}};
        for (const auto& [key, step] : kKeys)
            if (wparam == key) return Step(step), 0;
        break;
    }
    case WM_CHAR: {
        static const std::pair<WPARAM, KeyStep> kChars[] = {{'+', KeyStep::In}, {'-', KeyStep::Out}, {'0', KeyStep::Fit}};
        for (const auto& [character, step] : kChars)
            if (wparam == character) return Step(step), 0;
        break;
    }
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        ScreenToClient(window, &at);
        view_.ZoomAbout(at.x, at.y, std::pow(1.25, GET_WHEEL_DELTA_WPARAM(wparam) / double(WHEEL_DELTA)));
        ViewChanged();
        return 0;
    }
    case WM_LBUTTONDOWN:
        // As Explorer's other panes: a click takes the keys.
        ::SetFocus(window);
        SetCapture(window);
        dragging_ = true;
        dragFrom_ = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_) {
            const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            view_.Pan(at.x - dragFrom_.x, at.y - dragFrom_.y);
            dragFrom_ = at;
            ViewChanged();
        }
        return 0;
    case WM_LBUTTONUP:
        if (dragging_) ReleaseCapture();
        dragging_ = false;
        return 0;
    case WM_CAPTURECHANGED: dragging_ = false; return 0;
    case WM_LBUTTONDBLCLK:
        view_.Fit();
        ViewChanged();
        return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace scanleaf
