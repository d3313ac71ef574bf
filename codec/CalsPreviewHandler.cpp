#include "codec/CalsPreviewHandler.h"

#include "codec/CalsDecoder.h"
#include "hostenv/ComError.h"

namespace scanleaf {

namespace {

HINSTANCE g_instance = nullptr;

} // namespace

void SetPreviewInstance(HINSTANCE instance) { g_instance = instance; }

CCalsPreviewHandler::~CCalsPreviewHandler() = default;

const InterfaceEntry* CCalsPreviewHandler::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsPreviewHandler, IPreviewHandler>(IID_IPreviewHandler),
        InterfaceEntry::Of<CCalsPreviewHandler, IPreviewHandlerVisuals>(IID_IPreviewHandlerVisuals),
        InterfaceEntry::Of<CCalsPreviewHandler, IInitializeWithStream>(IID_IInitializeWithStream),
        InterfaceEntry::Of<CCalsPreviewHandler, IObjectWithSite>(IID_IObjectWithSite),
        InterfaceEntry::Of<CCalsPreviewHandler, IOleWindow>(IID_IOleWindow),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsPreviewHandler::Initialize(IStream* stream, DWORD) {
    if (!stream) return E_INVALIDARG;
    if (initialized_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    return ComBoundary([&]() -> HRESULT {
        // Read whole here and never kept: the stream (and so the file) goes back to the host.
        // One that tells a size past the largest is refused before anything is held for it.
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        content_ = PaneContent();
        std::vector<std::uint8_t> bytes;
        const std::optional<std::uint64_t> size = StreamLeft(stream);
        const bool toldTooLarge = size && *size > kLargestFile;
        if (!toldTooLarge && !ReadStream(stream, kLargestFile + 1, bytes)) return STG_E_READFAULT;
        if (toldTooLarge || bytes.size() > kLargestFile)
            content_.problem = L"Larger than a preview reads (512 MB): no drawing to show.";
        else
            content_ = ReadPaneContent(std::move(bytes));
        initialized_ = true;
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::SetWindow(HWND parent, const RECT* rect) {
    if (!parent || !rect) return E_INVALIDARG;
    parent_ = parent;
    rect_ = *rect;
    return ComBoundary([&]() -> HRESULT {
        if (pane_) pane_->SetParent(parent_, rect_);
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::SetRect(const RECT* rect) {
    if (!rect) return E_INVALIDARG;
    rect_ = *rect;
    return ComBoundary([&]() -> HRESULT {
        if (pane_) pane_->SetRect(rect_);
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::DoPreview() {
    if (!initialized_) return E_UNEXPECTED;
    if (!parent_) return E_UNEXPECTED;
    if (pane_) return S_OK; // already shown
    return ComBoundary([&]() -> HRESULT {
        auto pane = std::make_unique<PreviewPane>(g_instance, std::move(content_));
        content_ = PaneContent();
        pane->SetColours(background_, text_);
        if (haveFont_) pane->SetFont(font_);
        if (!pane->Create(parent_, rect_)) return HRESULT_FROM_WIN32(GetLastError());
        pane_ = std::move(pane);
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::Unload() {
    return ComBoundary([&]() -> HRESULT {
        pane_.reset();
        content_ = PaneContent();
        initialized_ = false;
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::SetFocus() {
    if (pane_ && pane_->Window()) ::SetFocus(pane_->Window());
    return S_OK;
}

HRESULT CCalsPreviewHandler::QueryFocus(HWND* focus) {
    if (!focus) return E_INVALIDARG;
    *focus = ::GetFocus();
    return *focus ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT CCalsPreviewHandler::TranslateAccelerator(MSG* message) {
    // The host's keys (Tab out of the pane and the like) are the frame's to handle.
    ComPtr<IPreviewHandlerFrame> frame;
    if (site_ && SUCCEEDED(site_->QueryInterface(IID_IPreviewHandlerFrame, frame.PutVoid())) && frame)
        return frame->TranslateAccelerator(message);
    return S_FALSE;
}

HRESULT CCalsPreviewHandler::SetBackgroundColor(COLORREF colour) {
    background_ = colour;
    if (pane_) pane_->SetColours(background_, text_);
    return S_OK;
}

HRESULT CCalsPreviewHandler::SetTextColor(COLORREF colour) {
    text_ = colour;
    if (pane_) pane_->SetColours(background_, text_);
    return S_OK;
}

HRESULT CCalsPreviewHandler::SetFont(const LOGFONTW* font) {
    if (!font) return E_INVALIDARG;
    font_ = *font;
    haveFont_ = true;
    return ComBoundary([&]() -> HRESULT {
        if (pane_) pane_->SetFont(font_);
        return S_OK;
    });
}

HRESULT CCalsPreviewHandler::SetSite(IUnknown* site) {
    site_ = ComPtr<IUnknown>(site);
    return S_OK;
}

HRESULT CCalsPreviewHandler::GetSite(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return site_ ? site_->QueryInterface(iid, out) : E_FAIL;
}

HRESULT CCalsPreviewHandler::GetWindow(HWND* window) {
    if (!window) return E_INVALIDARG;
    *window = parent_;
    return parent_ ? S_OK : E_FAIL;
}

} // namespace scanleaf
