// The object template and the class object, on a class of the test's own.
#include "comframe/ClassFactory.h"
#include "comframe/ComObject.h"

#include <gtest/gtest.h>

using namespace scanleaf;

namespace {

struct IProbe : public IUnknown {
    virtual int STDMETHODCALLTYPE Value() = 0;
};
const IID IID_IProbe = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

int g_liveProbes = 0;
HRESULT g_constructResult = S_OK;
LONG g_countDuringConstruct = 0;

class Probe : public ComObjectRoot<SingleThreadModel>, public IProbe, public IPersist {
public:
    Probe() { ++g_liveProbes; }
    virtual ~Probe() { --g_liveProbes; }
    static const InterfaceEntry* InterfaceMap() {
        static const InterfaceEntry map[] = {
            InterfaceEntry::Of<Probe, IProbe>(IID_IProbe),
            InterfaceEntry::Of<Probe, IPersist>(IID_IPersist),
            InterfaceEntry::End(),
        };
        return map;
    }
    HRESULT FinalConstruct() {
        // The count is held at one during initialisation.
        g_countDuringConstruct = ControllingUnknown()->AddRef() - 1;
        ControllingUnknown()->Release();
        return g_constructResult;
    }
    int STDMETHODCALLTYPE Value() override { return 42; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        *clsid = CLSID_NULL;
        return S_OK;
    }
};

class ComObjectTest : public testing::Test {
protected:
    void SetUp() override {
        g_constructResult = S_OK;
        baseLocks = TheModule().LockCount();
    }
    void TearDown() override {
        EXPECT_EQ(0, g_liveProbes);
        EXPECT_EQ(baseLocks, TheModule().LockCount());
    }
    LONG baseLocks = 0;
};

TEST_F(ComObjectTest, PlainInstanceLocksTheModuleWhileAlive) {
    IProbe* probe = nullptr;
    ASSERT_EQ(S_OK, Creator<Probe>::CreateInstance(nullptr, IID_IProbe, reinterpret_cast<void**>(&probe)));
    EXPECT_EQ(1, g_countDuringConstruct);
    EXPECT_EQ(baseLocks + 1, TheModule().LockCount());
    EXPECT_EQ(42, probe->Value());
    EXPECT_EQ(2u, probe->AddRef());
    EXPECT_EQ(1u, probe->Release());
    EXPECT_EQ(0u, probe->Release());
}

TEST_F(ComObjectTest, FailedInitialisationDestroysTheInstance) {
    g_constructResult = E_ACCESSDENIED;
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_ACCESSDENIED, Creator<Probe>::CreateInstance(nullptr, IID_IProbe, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ComObjectTest, FailedQueryInterfaceDestroysTheInstance) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, Creator<Probe>::CreateInstance(nullptr, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ComObjectTest, ClassObjectLocksOnFirstExternalReference) {
    auto* factory = new ClassFactory(&Creator<Probe>::CreateInstance); // the table's reference
    EXPECT_EQ(baseLocks, TheModule().LockCount());
    factory->AddRef();
    EXPECT_EQ(baseLocks + 1, TheModule().LockCount());
    factory->AddRef();
    EXPECT_EQ(baseLocks + 1, TheModule().LockCount());
    factory->Release();
    factory->Release();
    EXPECT_EQ(baseLocks, TheModule().LockCount());
    factory->Release(); // the table lets go: destroyed
}

} // namespace
