#include "preview/CalsPreview.h"

#include "hostenv/ComError.h"
#include "preview/TipOfTheDay.h"

namespace scanleaf {

CCalsPreview::~CCalsPreview() = default;

const InterfaceEntry* CCalsPreview::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsPreview, ICalsPreview>(IID_ICalsPreview),
        InterfaceEntry::Of<CCalsPreview, IVorFilePreview>(IID_IVorFilePreview),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsPreview::Initialize(IVorFileFormat* format, VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4,
                                 bool suppressNotice) {
    if (!format) return E_POINTER;
    noticeSuppressed_ = suppressNotice;
    owner_ = owner;
    // A second set-up replaces the inner preview; the old reference must not leak.
    inner_.Reset();
    IVorFilePreview* created = nullptr;
    HRESULT hr = format->CreatePreview(owner, arg2, arg3, arg4, &created);
    // Only a successful call hands out a reference; anything else in the slot is not ours.
    if (SUCCEEDED(hr)) inner_ = ComPtr<IVorFilePreview>::Attach(created);
    return hr;
}

HRESULT CCalsPreview::Method1(VorWord a1, VorWord a2, VorWord a3, VorWord a4) {
    if (a4 == 1) return VOR_E_PREVIEW_UNSUPPORTED;
    // Without an inner preview there is nothing to preview, so no tip is spent on it.
    if (!inner_) return kNoInnerPreview;
    // The notice is a courtesy: whatever it hits, the preview call goes on.
    if (!noticeSuppressed_) ComBoundary([this]() -> HRESULT {
        ShowTipOfTheDay(owner_, 1);
        return S_OK;
    });
    return inner_->Method1(a1, a2, a3, a4);
}

HRESULT CCalsPreview::Method2(VorWord a1, VorWord a2, VorWord a3) {
    return inner_ ? inner_->Method2(a1, a2, a3) : kNoInnerPreview;
}

HRESULT CCalsPreview::Method3() { return inner_ ? inner_->Method3() : kNoInnerPreview; }

HRESULT CCalsPreview::Method4(VorWord a1) { return inner_ ? inner_->Method4(a1) : kNoInnerPreview; }

HRESULT CCalsPreview::Method5(VorWord a1) { return inner_ ? inner_->Method5(a1) : kNoInnerPreview; }

HRESULT CCalsPreview::Method6(VorWord a1, VorWord a2, VorWord a3) {
    return inner_ ? inner_->Method6(a1, a2, a3) : kNoInnerPreview;
}

HRESULT CCalsPreview::Method7(VorWord a1, VorWord a2, VorWord a3, VorWord a4, VorWord a5) {
    return inner_ ? inner_->Method7(a1, a2, a3, a4, a5) : kNoInnerPreview;
}

HRESULT CCalsPreview::Method8(VorWord a1) { return inner_ ? inner_->Method8(a1) : kNoInnerPreview; }

HRESULT CCalsPreview::Method9(VorWord a1) { return inner_ ? inner_->Method9(a1) : kNoInnerPreview; }

} // namespace scanleaf
