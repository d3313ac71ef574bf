#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/ComPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

#include <wincodec.h>

using namespace scanleaf;

namespace {

// An error object that counts its references.
class CountedErrorInfo : public IErrorInfo {
public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IErrorInfo) {
            *out = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* g) override { *g = GUID_NULL; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* b) override { *b = SysAllocString(L"component"); return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* b) override { *b = SysAllocString(L"it broke"); return S_OK; }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* b) override { *b = nullptr; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* c) override { *c = 0; return S_OK; }
};

// A component that may offer ISupportErrorInfo, answering `answer` for every interface.
class Component : public ISupportErrorInfo {
public:
    Component(bool offers, HRESULT answer) : offers_(offers), answer_(answer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || (offers_ && iid == IID_ISupportErrorInfo)) {
            *out = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return answer_; }
    ULONG refs = 1;

private:
    bool offers_;
    HRESULT answer_;
};

template <class F>
ComError Caught(F f) {
    try {
        f();
    } catch (const ComError& e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return ComError(S_OK);
}

struct AnsiDeleter {
    void operator()(char* p) const { delete[] p; }
};
using Ansi = std::unique_ptr<char[], AnsiDeleter>;

} // namespace

TEST(ComError, CopiesShareTheErrorInformation) {
    CountedErrorInfo info;
    {
        ComError error(E_FAIL, &info);
        EXPECT_EQ(2u, info.refs);
        {
            ComError copy(error);
            EXPECT_EQ(3u, info.refs);
            EXPECT_EQ(&info, copy.ErrorInfo());
            EXPECT_EQ(E_FAIL, copy.Error());
            ComError other(E_POINTER);
            other = copy;
            EXPECT_EQ(4u, info.refs);
            EXPECT_EQ(E_FAIL, other.Error());
            other = other;
            EXPECT_EQ(4u, info.refs);
            other = ComError(E_ABORT);
            EXPECT_EQ(3u, info.refs);
            EXPECT_EQ(nullptr, other.ErrorInfo());
        }
        EXPECT_EQ(2u, info.refs);
    }
    EXPECT_EQ(1u, info.refs);
    // Adopting a reference adds none.
    info.AddRef();
    { ComError adopted(E_FAIL, &info, false); }
    EXPECT_EQ(1u, info.refs);
}

TEST(ComError, MessageIsMadeOnceAndTrimmed) {
    ComError error(E_OUTOFMEMORY);
    const wchar_t* text = error.ErrorMessage();
    ASSERT_NE(nullptr, text);
    size_t length = wcslen(text);
    ASSERT_GT(length, 0u);
    EXPECT_NE(L'\n', text[length - 1]);
    EXPECT_EQ(text, error.ErrorMessage());
    ComError copy(error);
    EXPECT_STREQ(text, copy.ErrorMessage());

    ComError unknown(static_cast<HRESULT>(0x8004BEEF));
    ASSERT_NE(nullptr, unknown.ErrorMessage());
    EXPECT_GT(wcslen(unknown.ErrorMessage()), 0u);
}

TEST(ComError, RaiseCarriesTheCodeOnly) {
    ComError e = Caught([] { RaiseComError(E_POINTER); });
    EXPECT_EQ(E_POINTER, e.Error());
    EXPECT_EQ(nullptr, e.ErrorInfo());
}

TEST(ComError, RaiseAfterCallTakesErrorInformationOnlyWhenOffered) {
    struct Case {
        const char* label;
        bool offers;
        HRESULT answer;
        bool carries;
    };
    const Case cases[] = {
        {"no ISupportErrorInfo", false, S_OK, false},
        {"not for this interface", true, S_FALSE, false},
        {"supported", true, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CountedErrorInfo info;
        ASSERT_EQ(S_OK, SetErrorInfo(0, &info));
        Component component(c.offers, c.answer);
        {
            ComError e = Caught([&] { RaiseComErrorAfterCall(DISP_E_EXCEPTION, &component, IID_IDispatch); });
            EXPECT_EQ(DISP_E_EXCEPTION, e.Error());
            EXPECT_EQ(c.carries ? &info : nullptr, e.ErrorInfo());
        }
        EXPECT_EQ(1u, component.refs);
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(1u, info.refs);
    }
    ComError e = Caught([] { RaiseComErrorAfterCall(E_FAIL, nullptr, IID_IUnknown); });
    EXPECT_EQ(E_FAIL, e.Error());
    EXPECT_EQ(nullptr, e.ErrorInfo());
}

TEST(ComError, LastErrorAsHresult) {
    const struct {
        DWORD lastError;
        HRESULT expected;
    } cases[] = {
        {ERROR_ACCESS_DENIED, static_cast<HRESULT>(0x80070005)},
        {ERROR_INSUFFICIENT_BUFFER, static_cast<HRESULT>(0x8007007A)},
        {0x12345, static_cast<HRESULT>(0x80072345)},
        {static_cast<DWORD>(E_OUTOFMEMORY), E_OUTOFMEMORY},
        // A failure that left no code must not read as success.
        {0, E_FAIL},
    };
    for (const auto& c : cases) {
        SetLastError(c.lastError);
        EXPECT_EQ(c.expected, LastErrorAsHresult()) << c.lastError;
    }
}

TEST(Conversions, AnsiToBstr) {
    EXPECT_EQ(nullptr, AnsiToBstr(nullptr));
    const struct {
        const char* ansi;
        const wchar_t* wide;
    } cases[] = {
        {"", L""},
        {"CALS header", L"CALS header"},
        {"caf\xE9 \x80", L"caf\u00E9 \u20AC"},
    };
    for (const auto& c : cases) {
        Bstr b = Bstr::Attach(AnsiToBstr(c.ansi));
        ASSERT_NE(nullptr, b.Get()) << c.ansi;
        EXPECT_EQ(wcslen(c.wide), b.Length());
        EXPECT_STREQ(c.wide, b.Get());
    }
}

TEST(Conversions, WideToAnsi) {
    EXPECT_EQ(nullptr, WideToAnsi(nullptr));
    const struct {
        const wchar_t* wide;
        const char* ansi;
    } cases[] = {
        {L"", ""},
        {L"rpelcnt: 001728,002200", "rpelcnt: 001728,002200"},
        {L"caf\u00E9 \u20AC", "caf\xE9 \x80"},
        // No equivalent in the code page: the default character, no failure.
        {L"a\u4E00b", "a?b"},
    };
    for (const auto& c : cases) {
        Ansi text(WideToAnsi(c.wide));
        ASSERT_NE(nullptr, text.get());
        EXPECT_STREQ(c.ansi, text.get());
    }
}

TEST(Conversions, CopyBstrIsByteExact) {
    EXPECT_EQ(nullptr, CopyBstr(nullptr));
    Bstr odd = Bstr::Attach(SysAllocStringByteLen("abc", 3));
    Bstr oddCopy = Bstr::Attach(CopyBstr(odd.Get()));
    ASSERT_NE(nullptr, oddCopy.Get());
    EXPECT_NE(odd.Get(), oddCopy.Get());
    EXPECT_EQ(3u, SysStringByteLen(oddCopy.Get()));
    EXPECT_EQ(0, memcmp(odd.Get(), oddCopy.Get(), 3));

    Bstr embedded(std::wstring(L"a\0b", 3));
    Bstr embeddedCopy = Bstr::Attach(CopyBstr(embedded.Get()));
    EXPECT_EQ(3u, embeddedCopy.Length());
    EXPECT_EQ(L'b', embeddedCopy.Get()[2]);

    Bstr empty(L"");
    Bstr emptyCopy = Bstr::Attach(CopyBstr(empty.Get()));
    EXPECT_NE(nullptr, emptyCopy.Get());
    EXPECT_EQ(0u, emptyCopy.Length());
}

TEST(Conversions, ChangeVariantType) {
    Variant v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = 1728;
    ChangeVariantType(&v, VT_BSTR);
    ASSERT_EQ(VT_BSTR, V_VT(&v));
    EXPECT_STREQ(L"1728", V_BSTR(&v));

    // Already of the type: untouched, the same BSTR.
    BSTR before = V_BSTR(&v);
    ChangeVariantType(&v, VT_BSTR);
    EXPECT_EQ(before, V_BSTR(&v));

    Variant target;
    ChangeVariantType(&target, VT_I4, &v);
    EXPECT_EQ(VT_I4, V_VT(&target));
    EXPECT_EQ(1728, V_I4(&target));
    EXPECT_EQ(VT_BSTR, V_VT(&v));

    Variant text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"not a number");
    ComError e = Caught([&] { ChangeVariantType(&text, VT_I4); });
    EXPECT_EQ(DISP_E_TYPEMISMATCH, e.Error());
    EXPECT_EQ(VT_BSTR, V_VT(&text));

    EXPECT_EQ(E_POINTER, Caught([] { ChangeVariantType(nullptr, VT_I4); }).Error());
}

// The guard of the methods that run in Explorer's and the indexer's processes: whatever is thrown
// below a method, an HRESULT comes out.
TEST(ComBoundary, EveryExceptionBecomesAnHresult) {
    const struct {
        const char* what;
        std::function<HRESULT()> body;
        HRESULT expected;
    } cases[] = {
        {"no exception: the method's own result", [] { return WINCODEC_ERR_BADHEADER; }, WINCODEC_ERR_BADHEADER},
        {"memory exhausted", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"a COM error carries its code", []() -> HRESULT { RaiseComError(STG_E_ACCESSDENIED); }, STG_E_ACCESSDENIED},
        {"a COM error with a success code", []() -> HRESULT { throw ComError(S_FALSE); }, E_UNEXPECTED},
        {"a library's exception", []() -> HRESULT { throw std::length_error("vector"); }, E_UNEXPECTED},
        {"anything else", []() -> HRESULT { throw 42; }, E_UNEXPECTED},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ComBoundary(c.body)) << c.what;
}
