#include "hostenv/ComError.h"

#include "hostenv/Unique.h"

#include "hostenv/ComPtr.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <utility>

namespace scanleaf {

namespace {

// Longest text the platform's conversions take, terminating zero included.
const size_t kMaxConvertible = 0x7FFFFFFF;

wchar_t* CopyMessage(const wchar_t* text) {
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

} // namespace

ComError::ComError(HRESULT code, IErrorInfo* info, bool addRef) noexcept
    : code_(code), info_(addRef ? ComPtr<IErrorInfo>(info) : ComPtr<IErrorInfo>::Attach(info)) {}

ComError& ComError::operator=(const ComError& other) noexcept {
    code_ = other.code_;
    info_ = other.info_;
    // The message belongs to the old code.
    message_.Reset();
    return *this;
}

const wchar_t* ComError::ErrorMessage() const {
    if (message_) return message_.Get();
    LocalMemory<wchar_t> text;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code_), 0, reinterpret_cast<wchar_t*>(text.Put()), 0, nullptr);
    if (length && text) {
        // The system's texts end with a line break.
        while (length && (text.Get()[length - 1] == L'\n' || text.Get()[length - 1] == L'\r')) text.Get()[--length] = L'\0';
        message_ = std::move(text);
        return message_.Get();
    }
    text.Reset();
    wchar_t fallback[64];
    unsigned long value = static_cast<unsigned long>(code_);
    if (value >= 0x80040200ul && value <= 0x8004FFFFul)
        swprintf(fallback, 64, L"IDispatch error #%lu", value - 0x80040200ul);
    else
        swprintf(fallback, 64, L"Unknown error 0x%08lX", value);
    message_.Reset(CopyMessage(fallback));
    return message_ ? message_.Get() : L"";
}

void RaiseComError(HRESULT code) { throw ComError(code); }

void RaiseComErrorAfterCall(HRESULT code, IUnknown* component, REFIID iid) {
    ComPtr<ISupportErrorInfo> support;
    if (component && SUCCEEDED(component->QueryInterface(IID_ISupportErrorInfo, support.PutVoid())) && support &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) == S_OK && info) throw ComError(code, info, false);
    }
    throw ComError(code);
}

HRESULT LastErrorAsHresult() {
    DWORD error = GetLastError();
    // A failure that left no error code must not turn into success.
    if (error == 0) return E_FAIL;
    if (static_cast<LONG>(error) > 0) return static_cast<HRESULT>(0x80070000ul | (error & 0xFFFFul));
    return static_cast<HRESULT>(error);
}

BSTR AnsiToBstr(const char* text) {
    if (!text) return nullptr;
    size_t length = strlen(text) + 1;
    if (length > kMaxConvertible) RaiseComError(E_INVALIDARG);
    int count = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (count == 0) RaiseComError(LastErrorAsHresult());
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[count]);
    if (!wide) RaiseComError(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.get(), count) == 0)
        RaiseComError(LastErrorAsHresult());
    BSTR result = SysAllocStringLen(wide.get(), static_cast<UINT>(count - 1));
    if (!result) RaiseComError(E_OUTOFMEMORY);
    return result;
}

char* WideToAnsi(const wchar_t* text) {
    if (!text) return nullptr;
    size_t length = wcslen(text) + 1;
    if (length > kMaxConvertible) RaiseComError(E_INVALIDARG);
    int count = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (count == 0) RaiseComError(LastErrorAsHresult());
    std::unique_ptr<char[]> narrow(new (std::nothrow) char[count]);
    if (!narrow) RaiseComError(E_OUTOFMEMORY);
    if (WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.get(), count, nullptr, nullptr) == 0)
        RaiseComError(LastErrorAsHresult());
    return narrow.release();
}

BSTR CopyBstr(BSTR source) {
    if (!source) return nullptr;
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
    if (!copy) RaiseComError(E_OUTOFMEMORY);
    return copy;
}

void ChangeVariantType(VARIANT* target, VARTYPE type, const VARIANT* source) {
    if (!target) RaiseComError(E_POINTER);
    if (!source) source = target;
    if (source == target && V_VT(target) == type) return;
    HRESULT hr = VariantChangeType(target, const_cast<VARIANT*>(source), 0, type);
    if (FAILED(hr)) RaiseComError(hr);
}

HRESULT HresultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const ComError& e) {
        return FAILED(e.Error()) ? e.Error() : E_UNEXPECTED;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace scanleaf
