// COM on the calling thread for as long as the holder lives (a single-threaded apartment), left
// again only when this holder began it.
#pragma once

#include <objbase.h>

namespace scanleaf {

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

} // namespace scanleaf
