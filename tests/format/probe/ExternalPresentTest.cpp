// The external component present: "cal" is a group of its own. A program of its own, since
// the probe is answered once per process.
#include "hostenv/ComPtr.h"
#include "tests/format/ProbeFixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace scanleaf;

TEST(ExternalComponentPresent, CalIsASecondGroupForTheLifeOfTheProcess) {
    formattests::ExternalComponentRegistration external;
    ASSERT_EQ(S_OK, external.Result());
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileFormat2> format;
    ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat2, format.PutVoid()));

    ULONG count = 99;
    ExtensionGroup* groups = nullptr;
    ASSERT_EQ(S_OK, format->GetExtensionGroups(&count, &groups));
    ASSERT_EQ(2u, count);
    ASSERT_NE(nullptr, groups);
    EXPECT_STREQ(L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst", groups[0].extensions);
    EXPECT_EQ(4u, groups[0].kind);
    EXPECT_TRUE(IsEqualGUID(GUID_VorGroupCals, groups[0].identifier));
    EXPECT_STREQ(L"cal", groups[1].extensions);
    EXPECT_EQ(4u, groups[1].kind);
    EXPECT_TRUE(IsEqualGUID(GUID_VorGroupCal, groups[1].identifier));
    for (ULONG i = 0; i < count; ++i) SysFreeString(groups[i].extensions);
    CoTaskMemFree(groups);
    EXPECT_EQ(1, formattests::g_externalCreated);

    // Removing the component changes nothing until the next start.
    external.Revoke();
    ASSERT_EQ(S_OK, format->GetExtensionGroups(&count, &groups));
    EXPECT_EQ(2u, count);
    for (ULONG i = 0; i < count; ++i) SysFreeString(groups[i].extensions);
    CoTaskMemFree(groups);
    EXPECT_EQ(1, formattests::g_externalCreated);
}
