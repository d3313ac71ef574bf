#include "comframe/Module.h"

#include "comframe/ClassFactory.h"

#include <new>

namespace scanleaf {

Module& TheModule() {
    static Module module;
    return module;
}

Module::Module() { InitializeCriticalSection(&classObjectLock_); }

Module::~Module() { DeleteCriticalSection(&classObjectLock_); }

void Module::Init(ClassEntry* table, size_t count, HINSTANCE instance, const GUID& libid) {
    table_ = table;
    count_ = count;
    instance_ = instance;
    libid_ = libid;
}

void Module::Term() {
    for (size_t i = 0; i < count_; ++i) {
        if (IClassFactory* factory = table_[i].classObject.exchange(nullptr)) factory->Release();
    }
}

HRESULT Module::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < count_; ++i) {
        ClassEntry& entry = table_[i];
        if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
        if (!entry.classObject.load()) {
            EnterCriticalSection(&classObjectLock_);
            if (!entry.classObject.load()) entry.classObject.store(new (std::nothrow) ClassFactory(entry.create));
            LeaveCriticalSection(&classObjectLock_);
        }
        IClassFactory* factory = entry.classObject.load();
        if (!factory) return E_OUTOFMEMORY;
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace scanleaf
