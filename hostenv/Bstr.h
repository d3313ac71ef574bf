// Owning wrappers for BSTR and VARIANT.
#pragma once

// oleauto.h relies on the base Windows types.
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <utility>

namespace scanleaf {

class Bstr {
public:
    Bstr() noexcept = default;
    // Copies the text; throws std::bad_alloc when the allocation fails.
    explicit Bstr(const wchar_t* text) : b_(text ? Alloc(text, lstrlenW(text)) : nullptr) {}
    explicit Bstr(const std::wstring& text) : b_(Alloc(text.data(), text.size())) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            Reset();
            b_ = std::exchange(other.b_, nullptr);
        }
        return *this;
    }
    ~Bstr() { Reset(); }

    static Bstr Attach(BSTR b) noexcept {
        Bstr r;
        r.b_ = b;
        return r;
    }
    BSTR Detach() noexcept { return std::exchange(b_, nullptr); }
    void Reset() noexcept {
        if (b_) SysFreeString(std::exchange(b_, nullptr));
    }
    BSTR* Put() noexcept {
        Reset();
        return &b_;
    }

    BSTR Get() const noexcept { return b_; }
    // The text, with a null BSTR read as empty.
    const wchar_t* Text() const noexcept { return b_ ? b_ : L""; }
    UINT Length() const noexcept { return SysStringLen(b_); }

private:
    static BSTR Alloc(const wchar_t* text, size_t length) {
        BSTR b = SysAllocStringLen(text, static_cast<UINT>(length));
        if (!b) throw std::bad_alloc();
        return b;
    }
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* operator&() noexcept { return &v_; }
    VARIANT& Get() noexcept { return v_; }
    const VARIANT& Get() const noexcept { return v_; }
    void Clear() noexcept { VariantClear(&v_); }

private:
    VARIANT v_;
};

} // namespace scanleaf
