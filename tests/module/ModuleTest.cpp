// The module frame as the host meets it: through the DLL's exports.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::ScanleafDll;

namespace {

// A minimal outer object for aggregation: counts its own references.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    LONG refs = 1;
    IUnknown* inner = nullptr;
};

struct ClassCase {
    const CLSID* clsid;
    const IID* ownInterface;
    const IID* hostInterface;
};

const ClassCase kClasses[] = {
    {&CLSID_CalsFormat, &IID_ICalsFormat, &IID_IVorFileFormat},
    {&CLSID_CalsFile, &IID_ICalsFile, &IID_IVorFileNavigator},
    {&CLSID_CalsPreview, &IID_ICalsPreview, &IID_IVorFilePreview},
};

// Unmarshals a format object on a thread of the multi-threaded apartment.
struct CrossApartmentCall {
    IStream* stream;
    IVorFileFormat* seen;
    HRESULT hr;

    static DWORD WINAPI Run(void* p) {
        auto* call = static_cast<CrossApartmentCall*>(p);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        call->hr = CoGetInterfaceAndReleaseStream(call->stream, IID_IVorFileFormat, reinterpret_cast<void**>(&call->seen));
        if (call->seen) call->seen->Release();
        CoUninitialize();
        return 0;
    }
};

class ModuleTest : public testing::Test {
protected:
    ScanleafDll dll;
};

TEST_F(ModuleTest, OneClassObjectPerClass) {
    for (const ClassCase& c : kClasses) {
        IClassFactory* first = nullptr;
        IClassFactory* second = nullptr;
        ASSERT_EQ(S_OK, dll.GetClassObject(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)));
        ASSERT_EQ(S_OK, dll.GetClassObject(*c.clsid, IID_IUnknown, reinterpret_cast<void**>(&second)));
        EXPECT_EQ(static_cast<IUnknown*>(first), static_cast<IUnknown*>(second));
        first->Release();
        second->Release();
    }
}

TEST_F(ModuleTest, UnknownClassAndNullOutPointer) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll.GetClassObject(IID_IVorFileFormat, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, dll.GetClassObject(CLSID_CalsFile, IID_IClassFactory, nullptr));
}

TEST_F(ModuleTest, ClassObjectAnswersOnlyClassFactory) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, dll.GetClassObject(CLSID_CalsFile, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IVorFileNavigator, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    factory->Release();
}

TEST_F(ModuleTest, InterfaceMapsOfPlainInstances) {
    for (const ClassCase& c : kClasses) {
        IUnknown* unknown = nullptr;
        ASSERT_EQ(S_OK, dll.Create(*c.clsid, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
        IUnknown* own = nullptr;
        IUnknown* host = nullptr;
        ASSERT_EQ(S_OK, unknown->QueryInterface(*c.ownInterface, reinterpret_cast<void**>(&own)));
        ASSERT_EQ(S_OK, unknown->QueryInterface(*c.hostInterface, reinterpret_cast<void**>(&host)));
        EXPECT_EQ(unknown, own) << "the first entry is the identity";
        void* out = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IDispatch, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IUnknown, nullptr));
        // Every interface leads back to the same identity.
        IUnknown* back = nullptr;
        ASSERT_EQ(S_OK, host->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)));
        EXPECT_EQ(unknown, back);
        back->Release();
        own->Release();
        host->Release();
        EXPECT_EQ(0u, unknown->Release());
    }
}

TEST_F(ModuleTest, AggregationNeedsIUnknown) {
    for (const ClassCase& c : kClasses) {
        Outer outer;
        void* out = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, dll.Create(*c.clsid, *c.hostInterface, &out, &outer));
        EXPECT_EQ(nullptr, out);
    }
}

TEST_F(ModuleTest, AggregatedInstanceHandsOutItsInnerUnknown) {
    for (const ClassCase& c : kClasses) {
        Outer outer;
        IUnknown* inner = nullptr;
        ASSERT_EQ(S_OK, dll.Create(*c.clsid, IID_IUnknown, reinterpret_cast<void**>(&inner), &outer));
        ASSERT_NE(nullptr, inner);
        outer.inner = inner;
        EXPECT_NE(static_cast<IUnknown*>(&outer), inner);

        // The inner unknown answers IUnknown with itself and counts on its own.
        IUnknown* again = nullptr;
        ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
        EXPECT_EQ(inner, again);
        EXPECT_EQ(1u, again->Release());
        EXPECT_EQ(1, outer.refs);

        // Interfaces from the map delegate their IUnknown to the outer object.
        IUnknown* host = nullptr;
        ASSERT_EQ(S_OK, inner->QueryInterface(*c.hostInterface, reinterpret_cast<void**>(&host)));
        EXPECT_EQ(2, outer.refs);
        host->AddRef();
        EXPECT_EQ(3, outer.refs);
        IUnknown* identity = nullptr;
        ASSERT_EQ(S_OK, host->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
        identity->Release();
        host->Release();
        host->Release();
        EXPECT_EQ(1, outer.refs);
        EXPECT_EQ(0u, inner->Release());
    }
}

TEST_F(ModuleTest, UnloadFollowsInstancesClassObjectsAndLocks) {
    EXPECT_EQ(S_OK, dll.CanUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, dll.GetClassObject(CLSID_CalsFile, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "an external class-object reference locks the module";

    IUnknown* instance = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&instance)));
    factory->Release();
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "a live instance locks the module";
    instance->Release();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());

    ASSERT_EQ(S_OK, dll.GetClassObject(CLSID_CalsFormat, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "a server lock outlives the class-object reference";
    ASSERT_EQ(S_OK, dll.GetClassObject(CLSID_CalsFormat, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ModuleTest, MarshalerOnTheFormatObjectOnly) {
    IUnknown* format = nullptr;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IUnknown, reinterpret_cast<void**>(&format)));
    IMarshal* marshal = nullptr;
    ASSERT_EQ(S_OK, format->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)));
    CLSID unmarshaler{};
    EXPECT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IVorFileFormat, format, MSHCTX_INPROC, nullptr,
                                               MSHLFLAGS_NORMAL, &unmarshaler));
    // The marshaler's identity is the format object's.
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, marshal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(format, identity);
    identity->Release();
    marshal->Release();
    format->Release();

    IUnknown* navigator = nullptr;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFile, IID_IUnknown, reinterpret_cast<void**>(&navigator)));
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, navigator->QueryInterface(IID_IMarshal, &out));
    EXPECT_EQ(nullptr, out);
    navigator->Release();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ModuleTest, FormatObjectCrossesApartmentsUnmarshalled) {
    IVorFileFormat* format = nullptr;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, reinterpret_cast<void**>(&format)));
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IVorFileFormat, format, &stream));
    CrossApartmentCall call{stream, nullptr, E_FAIL};
    HANDLE thread = CreateThread(nullptr, 0, &CrossApartmentCall::Run, &call, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(S_OK, call.hr);
    EXPECT_EQ(format, call.seen) << "the free-threaded marshaler hands over the raw pointer";
    format->Release();
}

} // namespace
