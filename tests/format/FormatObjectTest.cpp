// The format object through the DLL, as the host meets it.
#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "tests/format/ProbeFixtures.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

using namespace scanleaf;
using testsupport::HostSettings;

namespace {

class FormatObject : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid())); }
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileFormat> format;
};

} // namespace

TEST_F(FormatObject, FormatInfoGivesAllThreeOrNone) {
    Bstr product, description, extensions;
    ASSERT_EQ(S_OK, format->GetFormatInfo(product.Put(), description.Put(), extensions.Put()));
    EXPECT_STREQ(L"KESTRAVO PDM", product.Get());
    EXPECT_STREQ(L"File format plugin for CALS files.", description.Get());
    EXPECT_STREQ(L"cal,ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst", extensions.Get());

    const BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
    for (int nullOne = 0; nullOne < 3; ++nullOne) {
        BSTR out[3] = {sentinel, sentinel, sentinel};
        BSTR* args[3] = {&out[0], &out[1], &out[2]};
        args[nullOne] = nullptr;
        EXPECT_EQ(E_POINTER, format->GetFormatInfo(args[0], args[1], args[2])) << nullOne;
        for (BSTR b : out) EXPECT_EQ(sentinel, b) << nullOne;
    }
}

TEST_F(FormatObject, FlagsAndTheMethodsNotServed) {
    ULONG flags = 0;
    const wchar_t* extensions[] = {L"cal", L"RST", L"pdf", L""};
    for (const wchar_t* e : extensions) {
        Bstr ext(e);
        flags = 0;
        EXPECT_EQ(S_OK, format->GetExtensionFlags(ext.Get(), &flags));
        EXPECT_EQ(264u, flags);
    }
    flags = 0;
    EXPECT_EQ(S_OK, format->GetExtensionFlags(nullptr, &flags));
    EXPECT_EQ(264u, flags);
    EXPECT_EQ(E_POINTER, format->GetExtensionFlags(nullptr, nullptr));

    EXPECT_EQ(E_NOTIMPL, format->CreatePreview(0, 0, 0, 0, nullptr));
    IVorFilePreview* preview = nullptr;
    EXPECT_EQ(E_NOTIMPL, format->CreatePreview(1, 2, 3, 4, &preview));
    int target = 0;
    EXPECT_EQ(E_POINTER, format->Method5(7, nullptr));
    EXPECT_EQ(E_NOTIMPL, format->Method5(7, &target));
}

TEST_F(FormatObject, CreateNavigatorOpensTheFileOrAnswersWhyNot) {
    HostSettings host;
    testsupport::TempFolder temp;
    std::wstring good = temp.File(L"good.cal");
    testsupport::WriteBytes(good, testsupport::MakeCalsImage({"rpelcnt: 000064,000048"}));
    std::wstring shortFile = temp.File(L"short.cal");
    testsupport::WriteBytes(shortFile, std::vector<unsigned char>(895, ' '));

    EXPECT_EQ(E_POINTER, format->CreateNavigator(Bstr(good).Get(), 0, nullptr));

    struct Case {
        const char* label;
        BSTR path;
        bool settingsFolder;
        HRESULT expected;
    };
    Bstr goodPath(good), shortPath(shortFile), missing(temp.File(L"missing.cal")), folder(temp.Path());
    const Case cases[] = {
        {"existing file", goodPath.Get(), true, S_OK},
        {"missing file", missing.Get(), true, VOR_E_CANNOT_OPEN_FILE},
        {"directory", folder.Get(), true, VOR_E_CANNOT_OPEN_FILE},
        {"null path", nullptr, true, VOR_E_CANNOT_OPEN_FILE},
        {"895 bytes", shortPath.Get(), true, VOR_E_CANNOT_READ_HEADER},
        {"no settings folder", goodPath.Get(), false, E_FAIL},
    };
    for (const Case& c : cases) {
        HostSettings::SetSharedLocation(c.settingsFolder ? host.SharedFolder().c_str() : nullptr);
        IVorFileNavigator* sentinel = reinterpret_cast<IVorFileNavigator*>(0x1234);
        IVorFileNavigator* nav = sentinel;
        EXPECT_EQ(c.expected, format->CreateNavigator(c.path, 77, &nav)) << c.label;
        ComPtr<IVorFileNavigator> held = ComPtr<IVorFileNavigator>::Attach(nav == sentinel ? nullptr : nav);
        if (c.expected == S_OK) {
            ASSERT_NE(nullptr, nav) << c.label;
            ComPtr<IUnknown> own;
            EXPECT_EQ(S_OK, held.As(IID_ICalsFile, own)) << c.label;
        } else {
            EXPECT_EQ(nullptr, nav) << c.label;
        }
    }
}

TEST_F(FormatObject, AFailedOpenLeavesNoNavigatorBehind) {
    HostSettings host;
    IVorFileNavigator* nav = nullptr;
    Bstr missing(L"Z:\\no\\such\\file.cal");
    ASSERT_EQ(VOR_E_CANNOT_OPEN_FILE, format->CreateNavigator(missing.Get(), 0, &nav));
    format.Reset();
    // No instance left: the navigator was destroyed, not leaked.
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(FormatObject, GroupsWithoutTheExternalComponentAreAskedOnce) {
    ComPtr<IVorFileFormat2> format2;
    ASSERT_EQ(S_OK, format.As(IID_IVorFileFormat2, format2));

    EXPECT_EQ(E_POINTER, format2->GetExtensionGroups(nullptr, nullptr));
    ULONG count = 99;
    EXPECT_EQ(E_POINTER, format2->GetExtensionGroups(&count, nullptr));
    EXPECT_EQ(0u, count);

    for (int round = 0; round < 2; ++round) {
        ExtensionGroup* groups = reinterpret_cast<ExtensionGroup*>(0x1234);
        count = 99;
        ASSERT_EQ(S_OK, format2->GetExtensionGroups(&count, &groups)) << round;
        ASSERT_EQ(1u, count) << round;
        EXPECT_STREQ(L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst,cal", groups[0].extensions);
        EXPECT_EQ(4u, groups[0].kind);
        EXPECT_TRUE(IsEqualGUID(GUID_VorGroupCals, groups[0].identifier));
        SysFreeString(groups[0].extensions);
        CoTaskMemFree(groups);
    }

    // Installing the component while the process runs changes nothing: the answer is kept.
    formattests::ExternalComponentRegistration external;
    ASSERT_EQ(S_OK, external.Result());
    ExtensionGroup* groups = nullptr;
    ASSERT_EQ(S_OK, format2->GetExtensionGroups(&count, &groups));
    EXPECT_EQ(1u, count);
    SysFreeString(groups[0].extensions);
    CoTaskMemFree(groups);
    EXPECT_EQ(0, formattests::g_externalCreated);
}
