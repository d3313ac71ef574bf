// The module object: lock count, class table, instance handle and class objects.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstddef>

namespace scanleaf {

// Creates an instance of one class, plain (outer null) or aggregated.
using CreatorFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

struct ClassEntry {
    const CLSID* clsid;
    UINT registryScript; // resource id of the class's "REGISTRY" script
    CreatorFn create;
    std::atomic<IClassFactory*> classObject{nullptr}; // created on first request
};

class Module {
public:
    Module();
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    void Init(ClassEntry* table, size_t count, HINSTANCE instance, const GUID& libid);
    // Releases every cached class object.
    void Term();

    LONG Lock() noexcept { return ++lockCount_; }
    LONG Unlock() noexcept { return --lockCount_; }
    LONG LockCount() const noexcept { return lockCount_.load(); }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

    HINSTANCE InstanceHandle() const noexcept { return instance_; }
    const GUID& LibId() const noexcept { return libid_; }
    ClassEntry* Classes() const noexcept { return table_; }
    size_t ClassCount() const noexcept { return count_; }

private:
    std::atomic<LONG> lockCount_{0};
    ClassEntry* table_ = nullptr;
    size_t count_ = 0;
    HINSTANCE instance_ = nullptr;
    GUID libid_{};
    CRITICAL_SECTION classObjectLock_;
};

// The one module object of the process (or of the DLL that links it).
Module& TheModule();

// Holds one lock on the module for its lifetime.
class ModuleLock {
public:
    ModuleLock() noexcept { TheModule().Lock(); }
    ~ModuleLock() { TheModule().Unlock(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

} // namespace scanleaf
