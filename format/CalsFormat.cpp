#include "format/CalsFormat.h"
#include "hostenv/HostNames.h"

#include "format/ExtensionGroups.h"
#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/ComPtr.h"
#include "navigator/CalsFile.h"

#include <string>

namespace scanleaf {

namespace {

const wchar_t kProduct[] = L"KESTRAVO PDM";
const wchar_t kDescription[] = L"File format plugin for CALS files.";
constexpr ULONG kExtensionFlags = 264; // host-defined bits 3 and 8

} // namespace

CCalsFormat::~CCalsFormat() {
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
    return CoCreateFreeThreadedMarshaler(ControllingUnknown(), marshaler_.Put());
}

HRESULT CCalsFormat::GetFormatInfo(BSTR* product, BSTR* description, BSTR* extensions) {
    if (!product || !description || !extensions) return E_POINTER;
    return ComBoundary(
        [&]() -> HRESULT {
            Bstr productText(kProduct);
            Bstr descriptionText(kDescription);
            Bstr extensionList(kCalsExtensionList);
            // All three or none: a null text would pass a failed allocation off as success.
            *product = productText.Detach();
            *description = descriptionText.Detach();
            *extensions = extensionList.Detach();
            return S_OK;
        },
        E_OUTOFMEMORY);
}

HRESULT CCalsFormat::GetExtensionFlags(BSTR, ULONG* flags) {
    if (!flags) return E_POINTER;
    *flags = kExtensionFlags;
    return S_OK;
}

HRESULT CCalsFormat::CreateNavigator(BSTR path, LONG, IVorFileNavigator** navigator) {
    if (!navigator) return E_POINTER;
    *navigator = nullptr;
    ComPtr<IVorFileNavigator> held;
    // Memory running out while the path is copied or the header read ends the open with
    // E_OUTOFMEMORY; the navigator goes with `held`.
    const HRESULT hr = ComBoundary(
        [&]() -> HRESULT {
            ComObject<CCalsFile>* file = nullptr;
            HRESULT created = ComObject<CCalsFile>::Create(&file);
            if (FAILED(created)) return E_OUTOFMEMORY;
            held = ComPtr<IVorFileNavigator>(static_cast<IVorFileNavigator*>(file));
            return file->OpenFile(std::wstring(path ? path : L"")); // a failure releases the navigator
        },
        E_OUTOFMEMORY);
    if (FAILED(hr)) return hr;
    *navigator = held.Detach();
    return S_OK;
}

HRESULT CCalsFormat::CreatePreview(VorWord, VorWord, VorWord, VorWord, IVorFilePreview**) { return E_NOTIMPL; }

HRESULT CCalsFormat::Method5(LONG, void* arg2) { return arg2 ? E_NOTIMPL : E_POINTER; }

HRESULT CCalsFormat::GetExtensionGroups(ULONG* count, ExtensionGroup** groups) {
    if (!count) return E_POINTER;
    *count = 0;
    if (!groups) return E_POINTER;
    *groups = nullptr;
    return MakeExtensionGroups(ExternalComponentPresent(), count, groups, TaskAllocators());
}

} // namespace scanleaf
