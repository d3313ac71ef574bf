// The preview object: passes the host's preview calls on to an inner preview.
#pragma once

#include "host/VorHost.h"
#include "module/ComObject.h"

namespace scanleaf {

class CCalsPreview : public ComObjectRoot<SingleThreadModel>, public ICalsPreview, public IVorFilePreview {
public:
    CCalsPreview() = default;
    virtual ~CCalsPreview();

    static const InterfaceEntry* InterfaceMap();

    // IVorFilePreview
    HRESULT STDMETHODCALLTYPE Method1(VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method2(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method3() override;
    HRESULT STDMETHODCALLTYPE Method4(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method5(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method6(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method7(VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method8(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method9(VorWord) override;

private:
    IVorFilePreview* inner_ = nullptr;
};

} // namespace scanleaf
