// A navigator made by the DLL's format object on a CALS file, and the host's variable records.
#pragma once

#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vartest {

// An array of the host's records; owns the BSTRs and VARIANTs in it.
class Records {
public:
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        for (VorVariable& r : items) {
            SysFreeString(r.name);
            SysFreeString(r.block);
            VariantClear(&r.value);
        }
    }
    // A record with an empty value and found set to the host's marker 7.
    VorVariable& Add(const wchar_t* name, const wchar_t* block = L"CALS") {
        VorVariable r{};
        r.name = name ? SysAllocString(name) : nullptr;
        r.block = block ? SysAllocString(block) : nullptr;
        VariantInit(&r.value);
        r.found = 7;
        r.reserved = 0x5A5A;
        items.push_back(r);
        return items.back();
    }
    VorVariable& AddText(const wchar_t* name, const wchar_t* text, const wchar_t* block = L"CALS") {
        VorVariable& r = Add(name, block);
        r.value.vt = VT_BSTR;
        r.value.bstrVal = SysAllocString(text);
        return r;
    }
    VorVariable& operator[](size_t i) { return items[i]; }
    VorVariable* Data() { return items.data(); }
    LONG Count() const { return static_cast<LONG>(items.size()); }

    std::vector<VorVariable> items;
};

inline std::wstring TextOf(const VARIANT& v) {
    return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<not text>";
}

// Settings in the host's shared folder, a temporary folder for files, the DLL's format object.
class NavigatorTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid()));
    }

    std::wstring WriteFile(const std::vector<unsigned char>& bytes, const std::wstring& name = L"file.cal") {
        std::wstring path = temp.File(name);
        testsupport::WriteBytes(path, bytes);
        return path;
    }

    HRESULT Open(const std::wstring& path, scanleaf::ComPtr<IVorFileNavigator>& navigator) {
        BSTR b = SysAllocString(path.c_str());
        HRESULT hr = format->CreateNavigator(b, 0, navigator.Put());
        SysFreeString(b);
        return hr;
    }

    scanleaf::ComPtr<IVorFileNavigator> OpenOrFail(const std::wstring& path) {
        scanleaf::ComPtr<IVorFileNavigator> navigator;
        HRESULT hr = Open(path, navigator);
        EXPECT_EQ(hr, S_OK);
        return navigator;
    }

    // The value of one variable of block CALS, or "<missing>".
    std::wstring Read(IVorFileNavigator* navigator, const wchar_t* name) {
        Records r;
        r.Add(name);
        EXPECT_EQ(navigator->ReadVariable(0, 0, 0, r.Count(), r.Data()), S_OK);
        return r[0].found == 1 ? TextOf(r[0].value) : L"<missing>";
    }

    HRESULT Write(IVorFileNavigator* navigator, const wchar_t* name, const wchar_t* text, LONG* found = nullptr) {
        Records r;
        r.AddText(name, text);
        HRESULT hr = navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0);
        if (found) *found = r[0].found;
        return hr;
    }

    testsupport::HostSettings host;
    testsupport::TempFolder temp;
    testsupport::ScanleafDll dll;
    scanleaf::ComPtr<IVorFileFormat> format;
};

} // namespace vartest
