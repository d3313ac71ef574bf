// Explorer's preview handler for CALS drawings: given the file as a stream, it reads it whole and
// lets it go at once, so the file can be renamed, moved or deleted while it is previewed; it shows
// the drawing upright with its card in a window of the preview host's, in Explorer's colours and
// font. Unload frees everything.
#pragma once

#include "codec/PreviewPane.h"
#include "comframe/ComObject.h"
#include "hostenv/ComPtr.h"

#include <ocidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <memory>

namespace scanleaf {

class CCalsPreviewHandler : public ComObjectRoot<SingleThreadModel>,
                            public IPreviewHandler,
                            public IPreviewHandlerVisuals,
                            public IInitializeWithStream,
                            public IObjectWithSite,
                            public IOleWindow {
public:
    CCalsPreviewHandler() = default;
    ~CCalsPreviewHandler();
    static const InterfaceEntry* InterfaceMap();

    // The largest file read: a drawing is a few megabytes; this leaves room for any real one.
    static constexpr std::uint64_t kLargestFile = 512ull << 20;

    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;

    HRESULT STDMETHODCALLTYPE SetWindow(HWND parent, const RECT* rect) override;
    HRESULT STDMETHODCALLTYPE SetRect(const RECT* rect) override;
    HRESULT STDMETHODCALLTYPE DoPreview() override;
    HRESULT STDMETHODCALLTYPE Unload() override;
    HRESULT STDMETHODCALLTYPE SetFocus() override;
    HRESULT STDMETHODCALLTYPE QueryFocus(HWND* focus) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

    HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF colour) override;
    HRESULT STDMETHODCALLTYPE SetFont(const LOGFONTW* font) override;
    HRESULT STDMETHODCALLTYPE SetTextColor(COLORREF colour) override;

    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    bool initialized_ = false;
    PaneContent content_;               // until DoPreview hands it to the pane
    std::unique_ptr<PreviewPane> pane_;
    HWND parent_ = nullptr;
    RECT rect_{};
    COLORREF background_ = GetSysColor(COLOR_WINDOW), text_ = GetSysColor(COLOR_WINDOWTEXT);
    bool haveFont_ = false;
    LOGFONTW font_{};
    ComPtr<IUnknown> site_;
};

// The module's instance, for the pane's window class (set by the DLL's entry point).
void SetPreviewInstance(HINSTANCE instance);

} // namespace scanleaf
