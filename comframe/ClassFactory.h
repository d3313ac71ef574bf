// The class object of one class: IClassFactory over the class's creator.
#pragma once

#include "comframe/Module.h"

namespace scanleaf {

class ClassFactory final : public IClassFactory {
public:
    // Starts with the one reference that the class table keeps; that one does not lock the module.
    explicit ClassFactory(CreatorFn create) noexcept : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;
    std::atomic<LONG> refCount_{1};
    CreatorFn create_;
};

} // namespace scanleaf
