// A small COM object template: interface maps, plain and aggregated instances,
// plain or atomic reference counts, one module lock per live instance.
//
// A class T derives from ComObjectRoot<ThreadModel> and its interfaces, and declares
//     static const InterfaceEntry* InterfaceMap();
// whose first entry also answers IUnknown. T leaves IUnknown's methods to the wrappers:
// ComObject<T> (plain) and ComAggObject<T> (aggregated, over ComContainedObject<T>).
// Creator<T>::CreateInstance is the class object's creator for T.
#pragma once

#include "comframe/Module.h"
#include "hostenv/ComError.h"

#include <unknwn.h>

#include <cstdint>
#include <new>

namespace scanleaf {

struct InterfaceEntry {
    const IID* iid;            // null ends the map
    std::uintptr_t offset;     // of the interface inside T, when query is null
    // For entries answered by another object (an aggregated inner object): fills out or fails.
    HRESULT (*query)(void* self, REFIID iid, void** out);

    template <class T, class Itf>
    static InterfaceEntry Of(const IID& iid) {
        return InterfaceEntry{&iid, OffsetOf<T, Itf>(), nullptr};
    }
    static constexpr InterfaceEntry Delegate(const IID& iid, HRESULT (*query)(void*, REFIID, void**)) {
        return InterfaceEntry{&iid, 0, query};
    }
    static constexpr InterfaceEntry End() { return InterfaceEntry{nullptr, 0, nullptr}; }

    template <class T, class Itf>
    static std::uintptr_t OffsetOf() {
        // Any non-null address works; the difference is the base's offset.
        T* probe = reinterpret_cast<T*>(static_cast<std::uintptr_t>(0x1000));
        return reinterpret_cast<std::uintptr_t>(static_cast<Itf*>(probe)) - 0x1000;
    }
};

// Walks the map in order; the first entry answers IUnknown.
HRESULT QueryInterfaceFromMap(void* self, const InterfaceEntry* map, REFIID iid, void** out);

struct SingleThreadModel {
    static LONG Increment(LONG& value) noexcept { return ++value; }
    static LONG Decrement(LONG& value) noexcept { return --value; }
};

struct MultiThreadModel {
    static LONG Increment(LONG& value) noexcept { return InterlockedIncrement(&value); }
    static LONG Decrement(LONG& value) noexcept { return InterlockedDecrement(&value); }
};

template <class ThreadModelT>
class ComObjectRoot {
public:
    using ThreadModel = ThreadModelT;

    // Instance initialisation, run with the count held at one; a failure destroys the instance.
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    // The outer object when aggregated, else the object's own identity.
    IUnknown* ControllingUnknown() const noexcept { return controllingUnknown_; }
    void SetControllingUnknown(IUnknown* unknown) noexcept { controllingUnknown_ = unknown; }

    LONG InternalAddRef() noexcept { return ThreadModel::Increment(refCount_); }
    LONG InternalRelease() noexcept { return ThreadModel::Decrement(refCount_); }

protected:
    ComObjectRoot() = default;
    ~ComObjectRoot() = default;
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;

private:
    LONG refCount_ = 0;
    IUnknown* controllingUnknown_ = nullptr;
    ModuleLock moduleLock_;
};

// A plain instance: T with its own reference count.
template <class T>
class ComObject final : public T {
public:
    template <class... Args>
    explicit ComObject(Args&&... args) : T(static_cast<Args&&>(args)...) {
        this->SetControllingUnknown(Identity());
    }
    ~ComObject() { this->FinalRelease(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromMap(static_cast<T*>(this), T::InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(this->InternalAddRef()); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = this->InternalRelease();
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    IUnknown* Identity() noexcept {
        return reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(static_cast<T*>(this)) +
                                           T::InterfaceMap()[0].offset);
    }

    // Creates an initialised instance with a count of 0; the caller's QueryInterface takes the first reference.
    template <class... Args>
    static HRESULT Create(ComObject** out, Args&&... args) {
        *out = nullptr;
        ComObject* object = new (std::nothrow) ComObject(static_cast<Args&&>(args)...);
        if (!object) return E_OUTOFMEMORY;
        object->InternalAddRef();
        HRESULT hr = object->FinalConstruct();
        object->InternalRelease();
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }
};

// T inside an aggregate: every IUnknown call goes to the outer object.
template <class T>
class ComContainedObject final : public T {
public:
    explicit ComContainedObject(IUnknown* outer) { this->SetControllingUnknown(outer); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return this->ControllingUnknown()->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->ControllingUnknown()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ControllingUnknown()->Release(); }
};

// The aggregated instance: its own IUnknown is the non-delegating one that the outer object keeps.
template <class T>
class ComAggObject final : public IUnknown {
public:
    explicit ComAggObject(IUnknown* outer) : contained_(outer) {}
    ~ComAggObject() { contained_.FinalRelease(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return QueryInterfaceFromMap(static_cast<T*>(&contained_), T::InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(T::ThreadModel::Increment(refCount_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = T::ThreadModel::Decrement(refCount_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    static HRESULT Create(IUnknown* outer, ComAggObject** out) {
        *out = nullptr;
        ComAggObject* object = new (std::nothrow) ComAggObject(outer);
        if (!object) return E_OUTOFMEMORY;
        T::ThreadModel::Increment(object->refCount_);
        HRESULT hr = object->contained_.FinalConstruct();
        T::ThreadModel::Decrement(object->refCount_);
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }

private:
    LONG refCount_ = 0;
    ComContainedObject<T> contained_;
};

// The creator that a class object calls: plain without an outer object, aggregated with one.
template <class T>
struct Creator {
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        // Construction that throws (memory exhausted) hands nothing half-made out.
        return ComBoundary(
            [&]() -> HRESULT {
                if (!outer) return CreatePlain(iid, out);
                ComAggObject<T>* object = nullptr;
                HRESULT hr = ComAggObject<T>::Create(outer, &object);
                if (FAILED(hr)) return hr;
                hr = object->QueryInterface(iid, out);
                if (FAILED(hr)) delete object;
                return hr;
            },
            E_OUTOFMEMORY);
    }

    template <class... Args>
    static HRESULT CreatePlain(REFIID iid, void** out, Args&&... args) {
        ComObject<T>* object = nullptr;
        HRESULT hr = ComObject<T>::Create(&object, static_cast<Args&&>(args)...);
        if (FAILED(hr)) return hr;
        hr = object->QueryInterface(iid, out);
        if (FAILED(hr)) delete object;
        return hr;
    }
};

} // namespace scanleaf
