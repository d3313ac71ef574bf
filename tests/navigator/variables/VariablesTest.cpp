// Reading and writing variables through the navigator, and the value conversions.
#include "navigator/CalsFile.h"

#include "hostenv/ComError.h"
#include "tests/navigator/variables/NavigatorFixture.h"

#include <gtest/gtest.h>

using namespace scanleaf;
using testsupport::MakeCalsImage;
using vartest::NavigatorTest;
using vartest::Records;
using vartest::TextOf;

namespace {

VARIANT Date(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DATE;
    v.date = d;
    return v;
}

DATE March5th2024() {
    SYSTEMTIME st{};
    st.wYear = 2024;
    st.wMonth = 3;
    st.wDay = 5;
    DATE d = 0;
    SystemTimeToVariantTime(&st, &d);
    return d;
}

TEST(VariantToText, TextsNumbersAndDates) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 42;
    EXPECT_EQ(CCalsFile::VariantToText(v, 0), L"42");
    EXPECT_EQ(v.vt, VT_I4);

    v.vt = VT_EMPTY;
    EXPECT_EQ(CCalsFile::VariantToText(v, 0), L"");

    const std::wstring longText(1000, L'z');
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(longText.c_str());
    EXPECT_EQ(CCalsFile::VariantToText(v, 0), longText);
    VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(L"ab\0cd", 5); // taken up to the first NUL
    EXPECT_EQ(CCalsFile::VariantToText(v, 0), L"ab");
    EXPECT_EQ(SysStringLen(v.bstrVal), 5u);
    VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    EXPECT_EQ(CCalsFile::VariantToText(v, 0), L"");

    EXPECT_EQ(CCalsFile::VariantToText(Date(March5th2024()), 103), L"05/03/2024");
    EXPECT_EQ(CCalsFile::VariantToText(Date(March5th2024()), 0), L"Mar 05 2024 12:00 AM");
    // A date of exactly 0.0 is written as the platform's own text for it.
    VARIANT zero = Date(0.0), platform;
    VariantInit(&platform);
    ASSERT_EQ(VariantChangeType(&platform, &zero, 0, VT_BSTR), S_OK);
    EXPECT_EQ(CCalsFile::VariantToText(zero, 103), TextOf(platform));
    VariantClear(&platform);
}

TEST(VariantToText, ValuesWithoutTextRaiseTheConversionsError) {
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    HRESULT code = S_OK;
    try {
        CCalsFile::VariantToText(null, 0);
    } catch (const ComError& e) {
        code = e.Error();
    }
    EXPECT_TRUE(FAILED(code));

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_THROW(CCalsFile::VariantToText(array, 0), ComError);
    VariantClear(&array);
}

TEST(TextToVariant, ReplacesTheOldContent) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"old");
    ASSERT_TRUE(CCalsFile::TextToVariant(&v, L"new"));
    EXPECT_EQ(TextOf(v), L"new");
    ASSERT_TRUE(CCalsFile::TextToVariant(&v, L""));
    ASSERT_EQ(v.vt, VT_BSTR);
    ASSERT_NE(v.bstrVal, nullptr); // empty, not null
    EXPECT_EQ(SysStringLen(v.bstrVal), 0u);
    VariantClear(&v);
}

class Variables : public NavigatorTest {
protected:
    void SetUp() override {
        NavigatorTest::SetUp();
        host.WriteSettings("[date]\nTagnames=yy;mm;dd\nTagpositions=3-4;5-6;7-8\n"
                           "[rtype]\nReadonly=1\n");
        path = WriteFile(MakeCalsImage({"srcdocid: DOC-7", "rtype: 1", "rpelcnt: 001728,002200",
                                        "date: 20240305", "notes: free text"}));
        navigator = OpenOrFail(path);
        ASSERT_TRUE(navigator);
    }
    std::wstring path;
    ComPtr<IVorFileNavigator> navigator;
};

TEST_F(Variables, ReadAnswersHeaderRecordsSubFieldsAndDerivedValuesAsText) {
    Records r;
    r.Add(L"RPELCNT");
    r.Add(L"width", L"cals");
    r.Add(L"height");
    r.Add(L"colordepth");
    r.Add(L"mm");
    r.Add(L"date"); // a tag with sub-fields reads whole under its own name
    r.Add(L"nothing");
    r.Add(L"srcdocid", L"Other");
    r.Add(nullptr, nullptr); // null block: not CALS
    ASSERT_EQ(navigator->ReadVariable(0, 0, 0, r.Count(), r.Data()), S_OK);
    const wchar_t* expected[] = {L"001728,002200", L"1728", L"2200", L"1", L"03", L"20240305"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(r[i].found, 1) << i;
        EXPECT_EQ(r[i].value.vt, VT_BSTR) << i;
        EXPECT_EQ(TextOf(r[i].value), expected[i]) << i;
    }
    EXPECT_EQ(r[6].found, 0);
    EXPECT_EQ(r[6].value.vt, VT_EMPTY);
    for (int i = 7; i < 9; ++i) {
        EXPECT_EQ(r[i].found, 7) << i;
        EXPECT_EQ(r[i].value.vt, VT_EMPTY) << i;
    }
    for (auto& item : r.items) EXPECT_EQ(item.reserved, 0x5A5A);
}

TEST_F(Variables, ReadStopsAtTheFirstFoundAndReplacesOldStrings) {
    Records r;
    r.Add(L"nothing");
    r.AddText(L"srcdocid", L"old text");
    r.AddText(L"notes", L"keep");
    ASSERT_EQ(navigator->ReadVariable(0, 1, 0, r.Count(), r.Data()), S_OK);
    EXPECT_EQ(r[0].found, 0);
    EXPECT_EQ(r[1].found, 1);
    EXPECT_EQ(TextOf(r[1].value), L"DOC-7");
    EXPECT_EQ(r[2].found, 7);
    EXPECT_EQ(TextOf(r[2].value), L"keep");

    EXPECT_EQ(navigator->ReadVariable(0, 0, 0, 0, r.Data()), S_OK);
    EXPECT_EQ(navigator->ReadVariable(0, 0, 0, -1, r.Data()), S_OK);
    EXPECT_EQ(navigator->ReadVariable(0, 0, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(navigator->ReadVariable(0, 0, 0, 3, nullptr), E_POINTER);
    EXPECT_EQ(r[2].found, 7);
}

TEST_F(Variables, WriteStoresTextReadBackBeforeAnySave) {
    Records r;
    r.AddText(L"SrcDocId", L"ABC-1");
    r.AddText(L"notes", L"");
    VorVariable& number = r.Add(L"dd");
    number.value.vt = VT_I4;
    number.value.lVal = 9;
    r.AddText(L"srcdocid", L"other block", L"Other");
    ASSERT_EQ(navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0), S_OK);
    EXPECT_EQ(r[0].found, 1);
    EXPECT_EQ(r[1].found, 1);
    EXPECT_EQ(r[2].found, 1);
    EXPECT_EQ(r[3].found, 7);
    EXPECT_EQ(TextOf(r[0].value), L"ABC-1"); // the host's value is never changed
    EXPECT_EQ(Read(navigator.Get(), L"srcdocid"), L"ABC-1");
    EXPECT_EQ(Read(navigator.Get(), L"notes"), L"NONE");
    EXPECT_EQ(Read(navigator.Get(), L"date"), L"2024039"); // "9 " at 7-8, trailing blank trimmed
}

TEST_F(Variables, WriteRefusesReadOnlyAndDerivedNamesWithoutMarkingTheFileChanged) {
    Records r;
    r.AddText(L"width", L"5");
    r.AddText(L"rtype", L"2");
    r.AddText(L"date", L"19991231"); // only its sub-fields are writable
    r.AddText(L"unknown", L"x");
    ASSERT_EQ(navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0), S_OK);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r[i].found, 0) << i;
    EXPECT_EQ(Read(navigator.Get(), L"width"), L"1728");
    EXPECT_EQ(Read(navigator.Get(), L"rtype"), L"1");
    EXPECT_EQ(Read(navigator.Get(), L"date"), L"20240305");
    // Nothing was stored, so there is nothing to save: the file is left alone.
    testsupport::WriteBytes(path, std::vector<unsigned char>(10, 'x'));
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(testsupport::ReadBytes(path), std::vector<unsigned char>(10, 'x'));
}

TEST_F(Variables, WriteOfRpelcntLeavesTheDerivedValues) {
    EXPECT_EQ(Write(navigator.Get(), L"rpelcnt", L"000100,000200"), S_OK);
    EXPECT_EQ(Read(navigator.Get(), L"rpelcnt"), L"000100,000200");
    EXPECT_EQ(Read(navigator.Get(), L"width"), L"1728");
    EXPECT_EQ(Read(navigator.Get(), L"height"), L"2200");
}

TEST_F(Variables, WriteStopsAfterTheFirstStoredValue) {
    Records r;
    r.AddText(L"width", L"5");
    r.AddText(L"srcdocid", L"first");
    r.AddText(L"notes", L"second");
    ASSERT_EQ(navigator->WriteVariable(0, 1, 0, r.Count(), r.Data(), 0), S_OK);
    EXPECT_EQ(r[0].found, 0);
    EXPECT_EQ(r[1].found, 1);
    EXPECT_EQ(r[2].found, 7);
    EXPECT_EQ(Read(navigator.Get(), L"notes"), L"free text");
    EXPECT_EQ(navigator->WriteVariable(0, 0, 0, 0, nullptr, 0), E_POINTER);
    EXPECT_EQ(navigator->WriteVariable(0, 0, 0, -5, r.Data(), 0), S_OK);
}

TEST_F(Variables, WriteOfDatesUsesTheHostsStyle) {
    Records r;
    VorVariable& date = r.Add(L"notes");
    date.value = Date(March5th2024());
    ASSERT_EQ(navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 103), S_OK);
    EXPECT_EQ(Read(navigator.Get(), L"notes"), L"05/03/2024");
    ASSERT_EQ(navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0), S_OK);
    EXPECT_EQ(Read(navigator.Get(), L"notes"), L"Mar 05 2024 12:00 AM");
}

// A value without text ends the call with the conversion's failure: the records before it
// keep their stored values and the change mark, the failing one is marked not stored, the
// ones after it are not looked at.
TEST_F(Variables, WriteOfAValueWithoutTextFailsAfterKeepingEarlierRecords) {
    Records r;
    r.AddText(L"srcdocid", L"stored");
    VorVariable& null = r.Add(L"notes");
    null.value.vt = VT_NULL;
    r.AddText(L"dd", L"31");
    HRESULT hr = navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r[0].found, 1);
    EXPECT_EQ(r[1].found, 0);
    EXPECT_EQ(r[2].found, 7);
    EXPECT_EQ(Read(navigator.Get(), L"srcdocid"), L"stored");
    EXPECT_EQ(Read(navigator.Get(), L"notes"), L"free text");
    EXPECT_EQ(Read(navigator.Get(), L"dd"), L"05");
    // The first record's change is still saved.
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    ComPtr<IVorFileNavigator> again = OpenOrFail(path);
    EXPECT_EQ(Read(again.Get(), L"srcdocid"), L"stored");

    // An array and an object without a value fail the same way, without marking anything.
    ComPtr<IVorFileNavigator> fresh = OpenOrFail(path);
    Records bad;
    VorVariable& array = bad.Add(L"notes");
    array.value.vt = VT_ARRAY | VT_BSTR;
    array.value.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    VorVariable& object = bad.Add(L"notes");
    object.value.vt = VT_UNKNOWN;
    object.value.punkVal = nullptr;
    EXPECT_TRUE(FAILED(fresh->WriteVariable(0, 0, 0, 1, &bad[0], 0)));
    EXPECT_EQ(bad[0].found, 0);
    EXPECT_TRUE(FAILED(fresh->WriteVariable(0, 0, 0, 1, &bad[1], 0)));
    EXPECT_EQ(bad[1].found, 0);
    testsupport::WriteBytes(path, std::vector<unsigned char>(10, 'x'));
    EXPECT_EQ(fresh->SaveFile(), S_OK); // nothing was stored: the file is not touched
    EXPECT_EQ(testsupport::ReadBytes(path), std::vector<unsigned char>(10, 'x'));
}

// The list a batch tool reads instead of guessing names: what ReadVariable answers, each name
// once, and writable exactly where WriteVariable stores.
TEST_F(Variables, TheVariableListIsWhatReadAndWriteAnswer) {
    struct Case {
        std::vector<std::string> records;
        std::vector<std::wstring> names;
    } cases[] = {
        {{"srcdocid: DOC-7", "rtype: 1", "rpelcnt: 001728,002200", "date: 20240305", "notes: free text"},
         {L"srcdocid", L"rtype", L"rpelcnt", L"width", L"height", L"colordepth", L"date", L"yy", L"mm", L"dd",
          L"notes"}},
        // A record named like an earlier sub-field, a second date, a read-only tag's sub-fields.
        {{"mm: 12", "date: 20240305", "Date: 19991231", "rpelcnt: 000010,000020"},
         {L"mm", L"date", L"yy", L"dd", L"rpelcnt", L"width", L"height", L"colordepth"}},
    };
    for (const Case& c : cases) {
        ComPtr<IVorFileNavigator> opened = OpenOrFail(WriteFile(MakeCalsImage(c.records), L"list.cal"));
        ASSERT_TRUE(opened);
        ComPtr<ICalsVariableList> list;
        ASSERT_EQ(opened->QueryInterface(IID_ICalsVariableList, list.PutVoid()), S_OK);
        ULONG count = 7;
        CalsVariableInfo* items = nullptr;
        ASSERT_EQ(list->GetVariables(&count, &items), S_OK);
        std::vector<std::wstring> names;
        for (ULONG i = 0; i < count; ++i) {
            names.emplace_back(items[i].name, SysStringLen(items[i].name));
            LONG stored = -1;
            EXPECT_EQ(Write(opened.Get(), items[i].name, L"1", &stored), S_OK);
            EXPECT_EQ(stored, items[i].writable) << names.back();
            EXPECT_NE(Read(opened.Get(), items[i].name), L"<missing>") << names.back();
            SysFreeString(items[i].name);
        }
        CoTaskMemFree(items);
        EXPECT_EQ(names, c.names);
    }
    ComPtr<ICalsVariableList> list;
    ASSERT_EQ(navigator->QueryInterface(IID_ICalsVariableList, list.PutVoid()), S_OK);
    ULONG count = 7;
    CalsVariableInfo* items = reinterpret_cast<CalsVariableInfo*>(1);
    EXPECT_EQ(list->GetVariables(nullptr, &items), E_POINTER);
    EXPECT_EQ(items, nullptr);
    EXPECT_EQ(list->GetVariables(&count, nullptr), E_POINTER);
    EXPECT_EQ(count, 0u);
}

TEST_F(NavigatorTest, ANavigatorNeverOpenedFindsNothingAndSavesNothing) {
    ComPtr<IVorFileNavigator> navigator;
    ASSERT_EQ(dll.Create(CLSID_CalsFile, IID_IVorFileNavigator, navigator.PutVoid()), S_OK);
    Records r;
    r.AddText(L"srcdocid", L"x");
    EXPECT_EQ(navigator->WriteVariable(0, 0, 0, r.Count(), r.Data(), 0), S_OK);
    EXPECT_EQ(r[0].found, 0);
    EXPECT_EQ(navigator->ReadVariable(0, 0, 0, r.Count(), r.Data()), S_OK);
    EXPECT_EQ(r[0].found, 0);
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    ComPtr<ICalsVariableList> list;
    ASSERT_EQ(navigator->QueryInterface(IID_ICalsVariableList, list.PutVoid()), S_OK);
    ULONG count = 7;
    CalsVariableInfo* items = nullptr;
    EXPECT_EQ(list->GetVariables(&count, &items), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(items, nullptr);
}

} // namespace
