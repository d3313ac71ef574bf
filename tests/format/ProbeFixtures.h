// A stand-in for the host's external component: a class object that the process registers
// for CLSID_VorExternalComponent, so that the format object's probe finds it in process.
// Header-only: both format test programs use it.
#pragma once

#include "host/VorHost.h"

namespace formattests {

// How many instances the stand-in made.
inline LONG g_externalCreated = 0;

class ExternalInstance final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }

private:
    LONG refs_ = 0;
};

// A static class object: its count never ends it.
class ExternalFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* instance = new ExternalInstance();
        instance->AddRef();
        HRESULT hr = instance->QueryInterface(iid, out);
        instance->Release();
        if (SUCCEEDED(hr)) ++g_externalCreated;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class ExternalComponentRegistration {
public:
    ExternalComponentRegistration() {
        static ExternalFactory factory;
        result_ = CoRegisterClassObject(CLSID_VorExternalComponent, &factory, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~ExternalComponentRegistration() { Revoke(); }
    ExternalComponentRegistration(const ExternalComponentRegistration&) = delete;
    ExternalComponentRegistration& operator=(const ExternalComponentRegistration&) = delete;

    HRESULT Result() const { return result_; }
    void Revoke() {
        if (SUCCEEDED(result_) && cookie_) CoRevokeClassObject(cookie_);
        cookie_ = 0;
    }

private:
    HRESULT result_ = E_FAIL;
    DWORD cookie_ = 0;
};

} // namespace formattests
