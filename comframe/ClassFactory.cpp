#include "comframe/ClassFactory.h"

namespace scanleaf {

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG ClassFactory::AddRef() {
    LONG n = ++refCount_;
    if (n == 2) TheModule().Lock(); // first reference outside the class table
    return static_cast<ULONG>(n);
}

ULONG ClassFactory::Release() {
    LONG n = --refCount_;
    if (n == 1) TheModule().Unlock();
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return create_(outer, iid, out);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        TheModule().Lock();
    else
        TheModule().Unlock();
    return S_OK;
}

} // namespace scanleaf
