// The format object: what the format is, and the factory of navigators.
#pragma once

#include "host/VorHost.h"
#include "hostenv/ComPtr.h"
#include "comframe/ComObject.h"

namespace scanleaf {

class CCalsFormat : public ComObjectRoot<MultiThreadModel>,
                    public ICalsFormat,
                    public IVorFileFormat,
                    public IVorFileFormat2 {
public:
    CCalsFormat() noexcept = default;
    virtual ~CCalsFormat();

    static const InterfaceEntry* InterfaceMap();
    HRESULT FinalConstruct();

    // IVorFileFormat
    HRESULT STDMETHODCALLTYPE GetFormatInfo(BSTR* product, BSTR* description, BSTR* extensions) override;
    HRESULT STDMETHODCALLTYPE GetExtensionFlags(BSTR extension, ULONG* flags) override;
    HRESULT STDMETHODCALLTYPE CreateNavigator(BSTR path, LONG reserved, IVorFileNavigator** navigator) override;
    HRESULT STDMETHODCALLTYPE CreatePreview(VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4,
                                            IVorFilePreview** preview) override;
    HRESULT STDMETHODCALLTYPE Method5(LONG arg1, void* arg2) override;

    // IVorFileFormat2
    HRESULT STDMETHODCALLTYPE GetExtensionGroups(ULONG* count, ExtensionGroup** groups) override;

private:
    static HRESULT QueryMarshal(void* self, REFIID iid, void** out);

    CRITICAL_SECTION lock_{};
    bool lockReady_ = false;
    ComPtr<IUnknown> marshaler_; // inner IUnknown of the aggregated free-threaded marshaler
};

} // namespace scanleaf
