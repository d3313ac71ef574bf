// The preview object: passes the host's preview calls on to an inner preview.
#pragma once

#include "host/VorHost.h"
#include "hostenv/ComPtr.h"
#include "comframe/ComObject.h"

namespace scanleaf {

class CCalsPreview : public ComObjectRoot<SingleThreadModel>, public ICalsPreview, public IVorFilePreview {
public:
    CCalsPreview() = default;
    virtual ~CCalsPreview();

    static const InterfaceEntry* InterfaceMap();

    // The object's own set-up (not reachable through COM): keeps owner and suppressNotice and
    // asks format for the inner preview. Returns CreatePreview's result; E_POINTER for a null
    // format. A preview held from an earlier call is released first.
    HRESULT Initialize(IVorFileFormat* format, VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4,
                       bool suppressNotice);

    // Answer of every preview method while no inner preview is held.
    static constexpr HRESULT kNoInnerPreview = E_FAIL;

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
    ComPtr<IVorFilePreview> inner_; // one counted reference, released at destruction
    VorWord owner_ = 0;
    // Nothing asks for the notice until Initialize does.
    bool noticeSuppressed_ = true;
};

} // namespace scanleaf
