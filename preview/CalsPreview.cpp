#include "preview/CalsPreview.h"

namespace scanleaf {

CCalsPreview::~CCalsPreview() {
    if (inner_) inner_->Release();
}

const InterfaceEntry* CCalsPreview::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsPreview, ICalsPreview>(IID_ICalsPreview),
        InterfaceEntry::Of<CCalsPreview, IVorFilePreview>(IID_IVorFilePreview),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsPreview::Method1(VorWord, VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method2(VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method3() { return E_NOTIMPL; }
HRESULT CCalsPreview::Method4(VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method5(VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method6(VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method7(VorWord, VorWord, VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method8(VorWord) { return E_NOTIMPL; }
HRESULT CCalsPreview::Method9(VorWord) { return E_NOTIMPL; }

} // namespace scanleaf
