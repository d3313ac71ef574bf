// The registration data that the DLL carries as resources.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RegistrationResources, ScriptsAndTypeLibraryAreEmbedded) {
    testsupport::ScanleafDll dll;
    for (WORD id : {102, 103, 104})
        EXPECT_TRUE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(id), L"REGISTRY") != nullptr) << id;
    EXPECT_TRUE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr);
}

TEST(RegistrationResources, VersionMarksTheModuleSelfRegistering) {
    testsupport::ScanleafDll dll;
    const std::wstring path = dll.Path();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    struct Translation {
        WORD language;
        WORD codePage;
    }* translations = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                               &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\OLESelfRegister", translations->language,
             translations->codePage);
    void* value = nullptr;
    EXPECT_TRUE(VerQueryValueW(info.data(), query, &value, &length)) << query;
}

} // namespace
