// No exception leaves a COM method of either DLL: each family of methods (the format, the
// navigator, the decoder, its frame, the property store) is run with every allocation below it
// failing in turn, as exhausted memory and as another exception, and answers an HRESULT each
// time. The classes run in this program, whose every allocation can be made to fail.
#include "codec/CalsDecoder.h"
#include "codec/CalsPropertyStore.h"
#include "codec/PropertyKeys.h"
#include "codec/api/SourceTransform.h"
#include "format/CalsFormat.h"
#include "hostenv/ComPtr.h"
#include "tests/module/boundary/FailingAllocations.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <functional>
#include <string>

using namespace scanleaf;
using testsupport::MakeCalsImage;
using testsupport::ReadBytes;

namespace {

// The calls, allocation after allocation failing, until they run through without reaching the
// armed one; none may throw.
void EveryAllocationFails(const char* family, const std::function<HRESULT()>& calls) {
    for (faults::Thrown thrown : {faults::Thrown::OutOfMemory, faults::Thrown::Other}) {
        long nth = 1;
        for (; nth < 20000; ++nth) {
            faults::Arm(nth, thrown);
            HRESULT hr = S_OK;
            bool escaped = false;
            try {
                hr = calls();
            } catch (...) {
                escaped = true;
            }
            const bool reached = faults::Disarm();
            EXPECT_FALSE(escaped) << family << ": an exception left a method at allocation " << nth;
            if (escaped) return;
            if (!reached) {
                EXPECT_EQ(S_OK, hr) << family << ": the calls fail with no fault";
                break;
            }
        }
        EXPECT_GT(nth, 1) << family << ": no allocation below the calls";
    }
}

IStream* StreamOf(const std::vector<unsigned char>& bytes) {
    return SHCreateMemStream(bytes.data(), UINT(bytes.size()));
}

std::vector<unsigned char> Drawing() {
    return ReadBytes(testsupport::ProgramFolder() + L"\\samples\\imagemagick-64x48.cal");
}

class ComBoundary : public testing::Test {
protected:
    testsupport::HostSettings host;
    testsupport::TempFolder temp;
};

TEST_F(ComBoundary, TheFormatAndTheNavigator) {
    host.WriteSettings("[srcdocid]\nTagnames=doc;sheet\nTagpositions=1-4;6-8\n[rtype]\nReadonly=1\n");
    const std::wstring path = temp.File(L"d.cal");
    testsupport::WriteBytes(path, Drawing());
    BSTR bpath = SysAllocString(path.c_str());
    EveryAllocationFails("the format", [&]() -> HRESULT {
        ComPtr<IVorFileFormat> format;
        HRESULT hr = Creator<CCalsFormat>::CreateInstance(nullptr, IID_IVorFileFormat, format.PutVoid());
        if (FAILED(hr)) return hr;
        BSTR product = nullptr, description = nullptr, extensions = nullptr;
        hr = format->GetFormatInfo(&product, &description, &extensions);
        SysFreeString(product);
        SysFreeString(description);
        SysFreeString(extensions);
        if (FAILED(hr)) return hr;
        ComPtr<IVorFileFormat2> format2;
        hr = format->QueryInterface(IID_IVorFileFormat2, format2.PutVoid());
        if (FAILED(hr)) return hr;
        ULONG count = 0;
        ExtensionGroup* groups = nullptr;
        hr = format2->GetExtensionGroups(&count, &groups);
        if (FAILED(hr)) return hr;
        for (ULONG i = 0; i < count; ++i) SysFreeString(groups[i].extensions);
        CoTaskMemFree(groups);
        ComPtr<IVorFileNavigator> navigator;
        return format->CreateNavigator(bpath, 0, navigator.Put());
    });

    ComPtr<IVorFileFormat> format;
    ASSERT_EQ(S_OK, Creator<CCalsFormat>::CreateInstance(nullptr, IID_IVorFileFormat, format.PutVoid()));
    ComPtr<IVorFileNavigator> navigator;
    ASSERT_EQ(S_OK, format->CreateNavigator(bpath, 0, navigator.Put()));
    VorVariable records[3] = {};
    const wchar_t* names[] = {L"doc", L"notes", L"rpelcnt"};
    for (int i = 0; i < 3; ++i) {
        records[i].name = SysAllocString(names[i]);
        records[i].block = SysAllocString(L"CALS");
    }
    EveryAllocationFails("the navigator", [&]() -> HRESULT {
        for (VorVariable& r : records) VariantClear(&r.value);
        HRESULT hr = navigator->ReadVariable(0, 0, 0, 3, records);
        if (FAILED(hr)) return hr;
        for (VorVariable& r : records) {
            VariantClear(&r.value);
            r.value.vt = VT_BSTR;
            r.value.bstrVal = SysAllocString(L"A3-1");
        }
        hr = navigator->WriteVariable(0, 0, 0, 2, records, 0);
        if (FAILED(hr)) return hr;
        ComPtr<ICalsVariableList> list;
        hr = navigator->QueryInterface(IID_ICalsVariableList, list.PutVoid());
        if (FAILED(hr)) return hr;
        ULONG count = 0;
        CalsVariableInfo* variables = nullptr;
        hr = list->GetVariables(&count, &variables);
        if (FAILED(hr)) return hr;
        for (ULONG i = 0; i < count; ++i) SysFreeString(variables[i].name);
        CoTaskMemFree(variables);
        return navigator->SaveFile();
    });
    for (VorVariable& r : records) {
        SysFreeString(r.name);
        SysFreeString(r.block);
        VariantClear(&r.value);
    }
    SysFreeString(bpath);
}

TEST_F(ComBoundary, TheDecoderItsFrameAndThePropertyStore) {
    const std::vector<unsigned char> drawing = Drawing();
    const std::vector<DrawingPropertyKey>& keys = DrawingPropertyKeys(); // made before any fault
    EveryAllocationFails("the decoder and its frame", [&]() -> HRESULT {
        ComPtr<IStream> stream = ComPtr<IStream>::Attach(StreamOf(drawing));
        if (!stream) return E_OUTOFMEMORY;
        ComPtr<IWICBitmapDecoder> decoder;
        HRESULT hr = Creator<CCalsDecoder>::CreateInstance(nullptr, IID_IWICBitmapDecoder, decoder.PutVoid());
        if (FAILED(hr)) return hr;
        DWORD capability = 0;
        hr = decoder->QueryCapability(stream.Get(), &capability);
        if (FAILED(hr)) return hr;
        hr = decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand);
        if (FAILED(hr)) return hr;
        ComPtr<IWICBitmapFrameDecode> frame;
        hr = decoder->GetFrame(0, frame.Put());
        if (FAILED(hr)) return hr;
        BYTE pels[8 * 48];
        hr = frame->CopyPixels(nullptr, 8, sizeof pels, pels);
        if (FAILED(hr)) return hr;
        ComPtr<IWICBitmapSourceTransform> transform;
        hr = frame->QueryInterface(IID_IWICBitmapSourceTransform, transform.PutVoid());
        if (FAILED(hr)) return hr;
        WICPixelFormatGUID grey = GUID_WICPixelFormat8bppGray;
        BYTE small[16 * 12];
        return transform->CopyPixels(nullptr, 16, 12, &grey, WICBitmapTransformRotate0, 16, sizeof small, small);
    });
    EveryAllocationFails("the property store", [&]() -> HRESULT {
        ComPtr<IStream> stream = ComPtr<IStream>::Attach(StreamOf(drawing));
        if (!stream) return E_OUTOFMEMORY;
        ComPtr<IInitializeWithStream> init;
        HRESULT hr = Creator<CCalsPropertyStore>::CreateInstance(nullptr, IID_IInitializeWithStream, init.PutVoid());
        if (FAILED(hr)) return hr;
        hr = init->Initialize(stream.Get(), STGM_READWRITE);
        if (FAILED(hr)) return hr;
        ComPtr<IPropertyStore> store;
        hr = init->QueryInterface(IID_IPropertyStore, store.PutVoid());
        if (FAILED(hr)) return hr;
        DWORD count = 0;
        hr = store->GetCount(&count);
        if (FAILED(hr)) return hr;
        for (const DrawingPropertyKey& k : keys) {
            PROPVARIANT value;
            hr = store->GetValue(k.key, &value);
            PropVariantClear(&value);
            if (FAILED(hr)) return hr;
        }
        PROPVARIANT title;
        PropVariantInit(&title);
        title.vt = VT_LPWSTR;
        title.pwszVal = const_cast<wchar_t*>(L"A3-000471");
        for (const DrawingPropertyKey& k : keys)
            if (k.type == VT_LPWSTR && store->SetValue(k.key, title) == S_OK) break;
        return store->Commit();
    });
}

} // namespace
