#include "codec/CalsPropertyStore.h"

#include "codec/CalsDecoder.h"
#include "codec/PropertyKeys.h"
#include "hostenv/ComError.h"
#include "hostenv/ExclusiveLock.h"
#include "hostenv/SystemText.h"

#include <cstring>
#include <new>
#include <wincodec.h>

namespace scanleaf {

namespace {

bool Seek(IStream* stream, std::uint64_t to) {
    LARGE_INTEGER at{};
    at.QuadPart = LONGLONG(to);
    return SUCCEEDED(stream->Seek(at, STREAM_SEEK_SET, nullptr));
}

HRESULT WriteAll(IStream* stream, const std::string& bytes) {
    if (!Seek(stream, 0)) return STG_E_SEEKERROR;
    ULONG written = 0;
    const HRESULT hr = stream->Write(bytes.data(), ULONG(bytes.size()), &written);
    if (FAILED(hr)) return hr;
    return written == bytes.size() ? S_OK : STG_E_WRITEFAULT;
}

} // namespace

const InterfaceEntry* CCalsPropertyStore::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsPropertyStore, IPropertyStore>(IID_IPropertyStore),
        InterfaceEntry::Of<CCalsPropertyStore, IInitializeWithStream>(IID_IInitializeWithStream),
        InterfaceEntry::Of<CCalsPropertyStore, IPropertyStoreCapabilities>(IID_IPropertyStoreCapabilities),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsPropertyStore::Initialize(IStream* stream, DWORD mode) {
    if (!stream) return E_INVALIDARG;
    ExclusiveLock hold(lock_);
    if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    return ComBoundary([&]() -> HRESULT {
        if (!Seek(stream, 0)) return STG_E_SEEKERROR;
        std::vector<std::uint8_t> header;
        if (!ReadStream(stream, core::kHeaderSize, header)) return WINCODEC_ERR_STREAMREAD;
        std::string problem;
        if (header.size() < core::kHeaderSize || !properties_.Read(header.data(), AnsiCodePage(), problem))
            return WINCODEC_ERR_BADHEADER;
        committed_.assign(header.begin(), header.end());
        writable_ = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
        stream_ = ComPtr<IStream>(stream);
        return S_OK;
    });
}

HRESULT CCalsPropertyStore::GetCount(DWORD* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock hold(lock_);
        *count = stream_ ? DWORD(DrawingPropertyKeys().size()) : 0;
        return S_OK;
    });
}

HRESULT CCalsPropertyStore::GetAt(DWORD index, PROPERTYKEY* key) {
    if (!key) return E_POINTER;
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock hold(lock_);
        if (!stream_ || index >= DrawingPropertyKeys().size()) return E_INVALIDARG;
        *key = DrawingPropertyKeys()[index].key;
        return S_OK;
    });
}

HRESULT CCalsPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    if (!value) return E_POINTER;
    PropVariantInit(value);
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock hold(lock_);
        const DrawingPropertyKey* known = FindDrawingPropertyKey(key);
        if (!known || !stream_) return S_OK; // VT_EMPTY: nothing known of it
        return Fill(*known, value);
    });
}

HRESULT CCalsPropertyStore::Fill(const DrawingPropertyKey& key, PROPVARIANT* value) const {
    const DrawingPropertyKey* known = &key;
    const core::DrawingValue v = properties_.Get(known->drawing);
    switch (v.kind) {
    case core::DrawingValue::Kind::Empty: return S_OK;
    case core::DrawingValue::Kind::Text: {
        const std::size_t bytes = (v.text.size() + 1) * sizeof(wchar_t);
        auto* text = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
        if (!text) return E_OUTOFMEMORY;
        std::memcpy(text, v.text.c_str(), bytes);
        value->vt = VT_LPWSTR;
        value->pwszVal = text;
        return S_OK;
    }
    case core::DrawingValue::Kind::Real:
        value->vt = VT_R8;
        value->dblVal = v.real;
        return S_OK;
    case core::DrawingValue::Kind::Number:
        value->vt = known->type;
        if (known->type == VT_I2) value->iVal = SHORT(v.number);
        else if (known->type == VT_UI2) value->uiVal = USHORT(v.number);
        else value->ulVal = v.number;
        return S_OK;
    }
    return S_OK;
}

HRESULT CCalsPropertyStore::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
    return ComBoundary([&]() -> HRESULT {
        ExclusiveLock hold(lock_);
        if (!stream_) return E_UNEXPECTED;
        const DrawingPropertyKey* known = FindDrawingPropertyKey(key);
        if (!known || !properties_.Writable(known->drawing) || !writable_) return STG_E_ACCESSDENIED;
        if (value.vt != VT_LPWSTR && value.vt != VT_BSTR && value.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        std::wstring text;
        if (value.vt == VT_LPWSTR)
            text = value.pwszVal ? value.pwszVal : L"";
        else if (value.vt == VT_BSTR)
            text = value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : std::wstring();
        std::string problem;
        return properties_.Set(known->drawing, text, AnsiCodePage(), problem) ? S_OK : E_INVALIDARG;
    });
}

HRESULT CCalsPropertyStore::Commit() {
    ExclusiveLock hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    if (!properties_.Changed()) return S_OK;
    if (!writable_) return STG_E_ACCESSDENIED;
    return ComBoundary([&]() -> HRESULT {
        const std::string header = properties_.Header();
        HRESULT hr = WriteAll(stream_.Get(), header);
        if (FAILED(hr)) {
            WriteAll(stream_.Get(), committed_); // what was there, as far as the stream lets
            return hr;
        }
        hr = stream_->Commit(STGC_DEFAULT);
        if (FAILED(hr) && hr != E_NOTIMPL) return hr;
        committed_ = header;
        std::string problem;
        properties_.Read(reinterpret_cast<const unsigned char*>(header.data()), AnsiCodePage(), problem);
        return S_OK;
    });
}

HRESULT CCalsPropertyStore::IsPropertyWritable(REFPROPERTYKEY key) {
    return ComBoundary([&]() -> HRESULT {
        const DrawingPropertyKey* known = FindDrawingPropertyKey(key);
        return known && properties_.Writable(known->drawing) ? S_OK : S_FALSE;
    });
}

} // namespace scanleaf
