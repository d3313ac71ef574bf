// One owner of a handle of any kind, closed once on every way out: movable, never copied. A kind
// is a small traits type (its handle type, the value that means none, and how it is closed); the
// kinds the project holds are named below. A kind may carry state, as the save's own closer does.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <utility>

namespace scanleaf {

template <class Traits>
class Unique {
public:
    using Type = typename Traits::Type;

    Unique() noexcept : value_(Traits::None()) {}
    explicit Unique(Type value, Traits traits = Traits()) noexcept : traits_(traits), value_(value) {}
    ~Unique() { Reset(); }
    Unique(Unique&& other) noexcept : traits_(other.traits_), value_(other.Release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            Reset();
            traits_ = other.traits_;
            value_ = other.Release();
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Type Get() const noexcept { return value_; }
    bool Valid() const noexcept { return value_ != Traits::None(); }
    explicit operator bool() const noexcept { return Valid(); }
    // For a call that hands out a new handle: the one held is closed first.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }
    // Hands the handle over; nothing is held after.
    Type Release() noexcept { return std::exchange(value_, Traits::None()); }
    void Reset(Type value = Traits::None()) noexcept {
        if (Valid()) traits_.Close(value_);
        value_ = value;
    }
    // Closes now, for a caller that must know whether the close failed (a file's last write).
    bool Close() noexcept { return !Valid() || traits_.Close(Release()); }

private:
    Traits traits_;
    Type value_;
};

namespace handles {

struct File {
    using Type = HANDLE;
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    bool Close(HANDLE h) const noexcept { return CloseHandle(h) != FALSE; }
};
struct Kernel { // events, mappings, processes, threads: null when there is none
    using Type = HANDLE;
    static HANDLE None() noexcept { return nullptr; }
    bool Close(HANDLE h) const noexcept { return CloseHandle(h) != FALSE; }
};
struct Key {
    using Type = HKEY;
    static HKEY None() noexcept { return nullptr; }
    bool Close(HKEY k) const noexcept { return RegCloseKey(k) == ERROR_SUCCESS; }
};
struct Find {
    using Type = HANDLE;
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    bool Close(HANDLE h) const noexcept { return FindClose(h) != FALSE; }
};
struct Module {
    using Type = HMODULE;
    static HMODULE None() noexcept { return nullptr; }
    bool Close(HMODULE m) const noexcept { return FreeLibrary(m) != FALSE; }
};
struct View {
    using Type = const void*;
    static const void* None() noexcept { return nullptr; }
    bool Close(const void* v) const noexcept { return UnmapViewOfFile(v) != FALSE; }
};
struct StdFile {
    using Type = FILE*;
    static FILE* None() noexcept { return nullptr; }
    bool Close(FILE* f) const noexcept { return fclose(f) == 0; }
};
struct Window {
    using Type = HWND;
    static HWND None() noexcept { return nullptr; }
    bool Close(HWND w) const noexcept { return DestroyWindow(w) != FALSE; }
};
struct GdiObject { // fonts, bitmaps, brushes
    using Type = HGDIOBJ;
    static HGDIOBJ None() noexcept { return nullptr; }
    bool Close(HGDIOBJ o) const noexcept { return DeleteObject(o) != FALSE; }
};
struct MemoryDc {
    using Type = HDC;
    static HDC None() noexcept { return nullptr; }
    bool Close(HDC dc) const noexcept { return DeleteDC(dc) != FALSE; }
};
template <class T>
struct Local {
    using Type = T*;
    static T* None() noexcept { return nullptr; }
    bool Close(T* p) const noexcept { return LocalFree(p) == nullptr; }
};
template <class T>
struct TaskMemory {
    using Type = T*;
    static T* None() noexcept { return nullptr; }
    bool Close(T* p) const noexcept {
        CoTaskMemFree(p);
        return true;
    }
};

// An array from COM's task allocator whose records each hold a BSTR at `Field`: every string and
// then the array freed. The count is the kind's state; records not yet filled hold null strings.
template <class T, BSTR T::*Field>
struct TaskStrings {
    using Type = T*;
    ULONG count = 0;
    static T* None() noexcept { return nullptr; }
    bool Close(T* p) const noexcept {
        for (ULONG i = 0; i < count; ++i) SysFreeString(p[i].*Field);
        CoTaskMemFree(p);
        return true;
    }
};

} // namespace handles

using FileHandle = Unique<handles::File>;       // CreateFile; INVALID_HANDLE_VALUE for none
using KernelHandle = Unique<handles::Kernel>;   // CreateEvent, CreateFileMapping, processes; null for none
using KeyHandle = Unique<handles::Key>;         // RegOpenKeyEx, RegCreateKeyEx
using FindHandle = Unique<handles::Find>;       // FindFirstFile
using ModuleHandle = Unique<handles::Module>;   // LoadLibrary
using ViewHandle = Unique<handles::View>;       // MapViewOfFile
using StdFileHandle = Unique<handles::StdFile>; // _wfopen, tmpfile
using WindowHandle = Unique<handles::Window>;   // CreateWindowEx, destroyed on its own thread
using GdiHandle = Unique<handles::GdiObject>;   // CreateFontIndirect and the like
using MemoryDcHandle = Unique<handles::MemoryDc>; // CreateCompatibleDC
template <class T>
using LocalMemory = Unique<handles::Local<T>>; // what FormatMessage and the like allocate
template <class T>
using TaskMemory = Unique<handles::TaskMemory<T>>; // what COM's task allocator hands over
template <class T, BSTR T::*Field>
using TaskStringArray = Unique<handles::TaskStrings<T, Field>>; // GetVariables, GetExtensionGroups

} // namespace scanleaf
