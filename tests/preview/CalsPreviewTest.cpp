// The preview object: set-up, the nine calls passed on, the refusal, the notice in front of
// Method1, references and aggregation.
#include "preview/CalsPreview.h"

#include "hostenv/ComPtr.h"
#include "tests/preview/FakeHost.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>

using namespace fakehost;
using scanleaf::CCalsPreview;
using scanleaf::ComPtr;
using Events_ = std::vector<std::string>;

namespace {

using Preview = scanleaf::ComObject<CCalsPreview>;

ComPtr<Preview> NewPreview() {
    Preview* p = nullptr;
    if (FAILED(Preview::Create(&p))) return {};
    return ComPtr<Preview>(p);
}

class CalsPreviewTest : public testing::Test {
protected:
    void SetUp() override {
        format.preview = &inner;
        baseLocks = scanleaf::TheModule().LockCount();
    }
    void TearDown() override {
        EXPECT_EQ(0, LiveComponents());
        EXPECT_EQ(baseLocks, scanleaf::TheModule().LockCount());
    }

    // A preview set up on the fake format, with the notice as asked.
    ComPtr<Preview> Ready(bool suppressNotice, VorWord owner = 0x1234) {
        ComPtr<Preview> p = NewPreview();
        EXPECT_TRUE(p);
        EXPECT_EQ(S_OK, p->Initialize(&format, owner, 11, 12, 13, suppressNotice));
        Events().clear();
        return p;
    }

    TipMarks marks;
    ComponentHost host;
    FakePreview inner;
    FakeFormat format;
    LONG baseLocks = 0;
};

// Each method, called with distinct words, on the preview (as IVorFilePreview).
struct Call {
    int method;
    std::function<HRESULT(IVorFilePreview*)> invoke;
    const char* logged;
};
const Call kCalls[] = {
    {1, [](IVorFilePreview* p) { return p->Method1(101, 102, 103, 104); }, "inner.Method1(101,102,103,104)"},
    {2, [](IVorFilePreview* p) { return p->Method2(201, 202, 203); }, "inner.Method2(201,202,203)"},
    {3, [](IVorFilePreview* p) { return p->Method3(); }, "inner.Method3()"},
    {4, [](IVorFilePreview* p) { return p->Method4(401); }, "inner.Method4(401)"},
    {5, [](IVorFilePreview* p) { return p->Method5(501); }, "inner.Method5(501)"},
    {6, [](IVorFilePreview* p) { return p->Method6(601, 602, 603); }, "inner.Method6(601,602,603)"},
    {7, [](IVorFilePreview* p) { return p->Method7(701, 702, 703, 704, 705); }, "inner.Method7(701,702,703,704,705)"},
    {8, [](IVorFilePreview* p) { return p->Method8(801); }, "inner.Method8(801)"},
    {9, [](IVorFilePreview* p) { return p->Method9(901); }, "inner.Method9(901)"},
};

TEST_F(CalsPreviewTest, EveryMethodGoesOnWithItsWordsInOrderAndReturnsTheInnerResult) {
    for (HRESULT base : {static_cast<HRESULT>(0x00040100), static_cast<HRESULT>(0x80040100)}) {
        FakePreview answering(base);
        format.preview = &answering;
        ComPtr<Preview> p = Ready(true);
        for (const Call& call : kCalls) {
            SCOPED_TRACE(call.method);
            Events().clear();
            EXPECT_EQ(answering.Result(call.method), call.invoke(p.Get()));
            EXPECT_EQ(Events_{call.logged}, Events());
        }
        p.Reset();
        EXPECT_EQ(0, answering.refs);
    }
}

TEST_F(CalsPreviewTest, Method1RefusesFourthWordOneBeforeAnythingElse) {
    ComPtr<Preview> uninitialised = NewPreview();
    ComPtr<Preview> quiet = Ready(true);
    ComPtr<Preview> noticing = Ready(false);
    for (Preview* p : {uninitialised.Get(), quiet.Get(), noticing.Get()}) {
        Events().clear();
        EXPECT_EQ(VOR_E_PREVIEW_UNSUPPORTED, p->Method1(5, 6, 7, 1));
        EXPECT_TRUE(Events().empty());  // no inner call, no component
        EXPECT_FALSE(TipMarks::Read(L"1").has_value());
    }
}

TEST_F(CalsPreviewTest, NoticeRunsBeforeTheInnerMethod1WithTheOwner) {
    for (VorWord fourth : {VorWord{0}, VorWord{2}}) {
        SCOPED_TRACE(fourth);
        TipMarks::Remove(L"1");
        ComPtr<Preview> p = Ready(false, 0x4242);

        EXPECT_EQ(inner.Result(1), p->Method1(5, 6, 7, fourth));

        Events_ expected = {"source.created",
                            "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)",
                            "source.GetTipText(1)",
                            "presenter.created",
                            "presenter.ShowNotice(16962,Drag a sheet onto the card.,6)",
                            "presenter.destroyed",
                            "source.destroyed",
                            "inner.Method1(5,6,7," + std::to_string(fourth) + ")"};
        EXPECT_EQ(expected, Events());

        // The mark now holds the notice back.
        Events().clear();
        EXPECT_EQ(inner.Result(1), p->Method1(5, 6, 7, fourth));
        EXPECT_EQ(Events_{"inner.Method1(5,6,7," + std::to_string(fourth) + ")"}, Events());
    }
}

TEST_F(CalsPreviewTest, SuppressedNoticeGoesStraightOn) {
    ComPtr<Preview> p = Ready(true);
    EXPECT_EQ(inner.Result(1), p->Method1(5, 6, 7, 0));
    EXPECT_EQ(Events_{"inner.Method1(5,6,7,0)"}, Events());
    EXPECT_FALSE(TipMarks::Read(L"1").has_value());
}

TEST_F(CalsPreviewTest, FailingNoticeNeverChangesMethod1) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"presenter fails", [] { Config().showNoticeResult = E_FAIL; }},
        {"text source throws", [] { Config().tipTextThrows = true; }},
        {"no components", [this] {  // last: the registrations don't come back
             host.RevokeSource();
             host.RevokePresenter();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TipMarks::Remove(L"1");
        Config() = ComponentConfig();
        ComPtr<Preview> p = Ready(false);
        c.arrange();
        EXPECT_EQ(inner.Result(1), p->Method1(5, 6, 7, 0));
        ASSERT_FALSE(Events().empty());
        EXPECT_EQ("inner.Method1(5,6,7,0)", Events().back());
        EXPECT_EQ(0, LiveComponents());
    }
}

TEST_F(CalsPreviewTest, WithoutInnerPreviewEveryMethodFailsAndNoTipIsSpent) {
    format.preview = nullptr;
    format.result = E_ACCESSDENIED;
    ComPtr<Preview> failedSetUp = NewPreview();
    EXPECT_EQ(E_ACCESSDENIED, failedSetUp->Initialize(&format, 0x1234, 11, 12, 13, false));
    ComPtr<Preview> uninitialised = NewPreview();
    for (Preview* p : {uninitialised.Get(), failedSetUp.Get()}) {
        Events().clear();
        for (const Call& call : kCalls) {
            SCOPED_TRACE(call.method);
            EXPECT_EQ(CCalsPreview::kNoInnerPreview, call.invoke(p));
        }
        EXPECT_TRUE(Events().empty());
        EXPECT_FALSE(TipMarks::Read(L"1").has_value());
    }
}

TEST_F(CalsPreviewTest, InitializeAsksTheFormatWithItsWordsAndReturnsItsResult) {
    for (HRESULT result : {S_OK, S_FALSE, E_ACCESSDENIED}) {
        SCOPED_TRACE(result);
        format.result = result;
        ComPtr<Preview> p = NewPreview();
        Events().clear();
        EXPECT_EQ(result, p->Initialize(&format, 0x77, 0x88, 0x99, 0xAA, true));
        EXPECT_EQ(Events_{"format.CreatePreview(119,136,153,170)"}, Events());
        EXPECT_EQ(SUCCEEDED(result) ? 1 : 0, inner.refs);
    }
    EXPECT_EQ(0, inner.refs);
    EXPECT_EQ(0, format.refs);  // the format isn't kept
}

TEST_F(CalsPreviewTest, InitializeWithoutFormatFailsAndChangesNothing) {
    ComPtr<Preview> p = Ready(true);
    EXPECT_EQ(E_POINTER, p->Initialize(nullptr, 1, 2, 3, 4, false));
    EXPECT_EQ(1, inner.refs);
    // Still quiet: the notice setting wasn't touched either.
    EXPECT_EQ(inner.Result(1), p->Method1(5, 6, 7, 0));
    EXPECT_EQ(Events_{"inner.Method1(5,6,7,0)"}, Events());
}

TEST_F(CalsPreviewTest, InnerPreviewIsReleasedExactlyOnce) {
    {
        ComPtr<Preview> p = Ready(true);
        EXPECT_EQ(1, inner.refs);
        p->Method3();
        EXPECT_EQ(1, inner.refs);
    }
    EXPECT_EQ(0, inner.refs);
}

TEST_F(CalsPreviewTest, SecondInitializeReleasesTheFirstInnerPreview) {
    FakePreview second(0x00040200);
    ComPtr<Preview> p = Ready(true);
    format.preview = &second;
    EXPECT_EQ(S_OK, p->Initialize(&format, 0x55, 1, 2, 3, true));
    EXPECT_EQ(0, inner.refs);
    EXPECT_EQ(1, second.refs);
    EXPECT_EQ(second.Result(4), p->Method4(9));

    // A failing second set-up leaves no preview behind, and nothing to call.
    format.result = E_FAIL;
    EXPECT_EQ(E_FAIL, p->Initialize(&format, 0x55, 1, 2, 3, true));
    EXPECT_EQ(0, second.refs);
    EXPECT_EQ(CCalsPreview::kNoInnerPreview, p->Method4(9));
}

TEST_F(CalsPreviewTest, EachObjectHoldsOneModuleLock) {
    ComPtr<Preview> a = NewPreview();
    ComPtr<Preview> b = NewPreview();
    EXPECT_EQ(baseLocks + 2, scanleaf::TheModule().LockCount());
    a.Reset();
    EXPECT_EQ(baseLocks + 1, scanleaf::TheModule().LockCount());
}

// An outer object that aggregates a preview and counts its own references.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    LONG refs = 1;
    IUnknown* inner = nullptr;
};

void CheckAggregate(Outer& outer) {
    ComPtr<IVorFilePreview> preview;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IVorFilePreview, preview.PutVoid()));
    EXPECT_EQ(2, outer.refs);  // the reference handed out is the outer object's
    preview->AddRef();
    EXPECT_EQ(3, outer.refs);
    preview->Release();

    // Through the preview's interfaces the identity is the outer object.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, preview->QueryInterface(IID_IUnknown, identity.PutVoid()));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
    identity.Reset();

    // The inner unknown answers IUnknown with itself and the map with the contained object.
    ComPtr<IUnknown> self;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IUnknown, self.PutVoid()));
    EXPECT_EQ(outer.inner, self.Get());
    self.Reset();
    ComPtr<IUnknown> cals;
    EXPECT_EQ(S_OK, outer.inner->QueryInterface(IID_ICalsPreview, cals.PutVoid()));
    cals.Reset();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, outer.inner->QueryInterface(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);

    EXPECT_EQ(CCalsPreview::kNoInnerPreview, preview->Method3());
    preview.Reset();
    EXPECT_EQ(1, outer.refs);
}

TEST_F(CalsPreviewTest, AggregatedPreviewCountsOnTheOuterObject) {
    Outer outer;
    ASSERT_EQ(S_OK, scanleaf::Creator<CCalsPreview>::CreateInstance(&outer, IID_IUnknown,
                                                                    reinterpret_cast<void**>(&outer.inner)));
    EXPECT_EQ(baseLocks + 1, scanleaf::TheModule().LockCount());
    CheckAggregate(outer);
    EXPECT_EQ(0u, outer.inner->Release());
}

// The class as the host sees it: made by the DLL's class object.
class CalsPreviewDllTest : public testing::Test {
protected:
    testsupport::ScanleafDll dll;
};

TEST_F(CalsPreviewDllTest, InterfaceMapAnswersItsTwoInterfacesAndUnknown) {
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsPreview, IID_IUnknown, unknown.PutVoid()));
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
    for (const IID* iid : {&IID_IUnknown, &IID_ICalsPreview, &IID_IVorFilePreview}) {
        ComPtr<IUnknown> itf;
        EXPECT_EQ(S_OK, unknown->QueryInterface(*iid, itf.PutVoid()));
        EXPECT_TRUE(itf);
    }
    for (const IID* iid : {&IID_IDispatch, &IID_IVorFileFormat, &IID_ICalsFile, &IID_IRunnableObject}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IVorFilePreview, nullptr));

    // Nothing in the module sets the object up: it refuses, then fails, without a notice.
    ComPtr<IVorFilePreview> preview;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IVorFilePreview, preview.PutVoid()));
    EXPECT_EQ(VOR_E_PREVIEW_UNSUPPORTED, preview->Method1(0, 0, 0, 1));
    EXPECT_EQ(CCalsPreview::kNoInnerPreview, preview->Method1(0, 0, 0, 0));
    EXPECT_EQ(CCalsPreview::kNoInnerPreview, preview->Method7(1, 2, 3, 4, 5));
    preview.Reset();
    unknown.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(CalsPreviewDllTest, AggregationNeedsUnknownAndCountsOnTheOuterObject) {
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, dll.Create(CLSID_CalsPreview, IID_IVorFilePreview, &out, &outer));
    EXPECT_EQ(nullptr, out);

    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsPreview, IID_IUnknown, reinterpret_cast<void**>(&outer.inner), &outer));
    CheckAggregate(outer);
    EXPECT_EQ(0u, outer.inner->Release());
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

} // namespace
