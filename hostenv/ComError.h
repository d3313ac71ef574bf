// The COM error and the text and VARIANT conversions that raise it.
#pragma once

#include "hostenv/ComPtr.h"
#include "hostenv/Unique.h"

#include <oaidl.h>
#include <windows.h>

#include <string>

namespace scanleaf {

// A failed HRESULT with the component's optional error information.
class ComError {
public:
    explicit ComError(HRESULT code, IErrorInfo* info = nullptr, bool addRef = true) noexcept;
    // A copy shares the error information; its message is made again on request.
    ComError(const ComError& other) noexcept : code_(other.code_), info_(other.info_) {}
    ComError& operator=(const ComError& other) noexcept;
    virtual ~ComError() = default;

    HRESULT Error() const noexcept { return code_; }
    IErrorInfo* ErrorInfo() const noexcept { return info_.Get(); }
    // The system's text for the code, made on first request.
    const wchar_t* ErrorMessage() const;

private:
    HRESULT code_;
    ComPtr<IErrorInfo> info_;
    mutable LocalMemory<wchar_t> message_;
};

[[noreturn]] void RaiseComError(HRESULT code);
// After a failed call on component through interface iid: carries the component's error
// information when it supports ISupportErrorInfo for iid and GetErrorInfo hands one over.
[[noreturn]] void RaiseComErrorAfterCall(HRESULT code, IUnknown* component, REFIID iid);
// The last Windows error as an HRESULT.
HRESULT LastErrorAsHresult();
// Called inside a catch block at a COM boundary: the failure HRESULT of the exception in flight
// (E_OUTOFMEMORY for exhausted memory, a COM error's own failure code, else E_UNEXPECTED).
HRESULT HresultFromCaughtException() noexcept;

// The guard of a COM method that runs in another vendor's process: `body` returns the method's
// HRESULT, and any exception it throws becomes one as HresultFromCaughtException says, so none
// leaves the method.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return HresultFromCaughtException();
    }
}
// The same where the contract names one code for whatever is thrown (a creation path:
// E_OUTOFMEMORY).
template <class Body>
HRESULT ComBoundary(Body&& body, HRESULT anyException) noexcept {
    try {
        return body();
    } catch (...) {
        return anyException;
    }
}

// 8-bit text (CP_ACP) to a new BSTR; null gives null.
BSTR AnsiToBstr(const char* text);
// Wide text to new 8-bit text (CP_ACP) that the caller frees with delete[]; null gives null.
char* WideToAnsi(const wchar_t* text);
// A byte-exact copy; null gives null.
BSTR CopyBstr(BSTR source);
// VariantChangeType with flags 0; source null means in place.
void ChangeVariantType(VARIANT* target, VARTYPE type, const VARIANT* source = nullptr);

} // namespace scanleaf
