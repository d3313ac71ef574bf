#include "format/CalsFormat.h"

namespace scanleaf {

CCalsFormat::~CCalsFormat() {
    if (marshaler_) marshaler_->Release();
    if (lockReady_) DeleteCriticalSection(&lock_);
}

const InterfaceEntry* CCalsFormat::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFormat, ICalsFormat>(IID_ICalsFormat),
        InterfaceEntry::Of<CCalsFormat, IVorFileFormat>(IID_IVorFileFormat),
        InterfaceEntry::Of<CCalsFormat, IVorFileFormat2>(IID_IVorFileFormat2),
        InterfaceEntry::Delegate(IID_IMarshal, &CCalsFormat::QueryMarshal),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsFormat::QueryMarshal(void* self, REFIID iid, void** out) {
    auto* format = static_cast<CCalsFormat*>(self);
    if (!format->marshaler_) return E_NOINTERFACE;
    return format->marshaler_->QueryInterface(iid, out);
}

HRESULT CCalsFormat::FinalConstruct() {
    if (!InitializeCriticalSectionAndSpinCount(&lock_, 0)) return HRESULT_FROM_WIN32(GetLastError());
    lockReady_ = true;
    return CoCreateFreeThreadedMarshaler(ControllingUnknown(), &marshaler_);
}

HRESULT CCalsFormat::GetFormatInfo(BSTR* product, BSTR* description, BSTR* extensions) {
    if (!product || !description || !extensions) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CCalsFormat::GetExtensionFlags(BSTR, ULONG* flags) {
    if (!flags) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CCalsFormat::CreateNavigator(BSTR, LONG, IVorFileNavigator** navigator) {
    if (!navigator) return E_POINTER;
    *navigator = nullptr;
    return E_NOTIMPL;
}

HRESULT CCalsFormat::CreatePreview(VorWord, VorWord, VorWord, VorWord, IVorFilePreview**) { return E_NOTIMPL; }

HRESULT CCalsFormat::Method5(LONG, void* arg2) { return arg2 ? E_NOTIMPL : E_POINTER; }

HRESULT CCalsFormat::GetExtensionGroups(ULONG* count, ExtensionGroup** groups) {
    if (!count) return E_POINTER;
    *count = 0;
    if (!groups) return E_POINTER;
    *groups = nullptr;
    return E_NOTIMPL;
}

} // namespace scanleaf
