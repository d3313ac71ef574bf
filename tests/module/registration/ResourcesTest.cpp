// The registration data that the DLL carries as resources.
#include "tests/support/TestSupport.h"

#include "Version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A file's version resource, read as Explorer's Properties page reads it.
class VersionResource {
public:
    explicit VersionResource(const std::wstring& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        info_.resize(size);
        if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info_.data())) info_.clear();
    }
    bool Loaded() const { return !info_.empty(); }
    // A string of the first translation; null when absent.
    const wchar_t* String(const wchar_t* name) {
        struct Translation {
            WORD language;
            WORD codePage;
        }* translations = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(info_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                            &length) ||
            length < sizeof(Translation))
            return nullptr;
        wchar_t query[96];
        swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translations->language, translations->codePage, name);
        void* value = nullptr;
        return VerQueryValueW(info_.data(), query, &value, &length) ? static_cast<const wchar_t*>(value) : nullptr;
    }
    const VS_FIXEDFILEINFO* Fixed() {
        void* value = nullptr;
        UINT length = 0;
        return VerQueryValueW(info_.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)
                   ? static_cast<const VS_FIXEDFILEINFO*>(value)
                   : nullptr;
    }

private:
    std::vector<BYTE> info_;
};

// Both shipped binaries show the one product version and the product's names.
TEST(RegistrationResources, ShippedBinariesCarryTheProductVersion) {
    const std::wstring version = SCANLEAF_VERSION_WTEXT;
    const struct {
        const wchar_t* file;
        const wchar_t* originalName;
        DWORD fileType;
    } binaries[] = {{L"Scanleaf.dll", L"Scanleaf.dll", VFT_DLL}, {L"scanleaf-card.exe", L"scanleaf-card.exe", VFT_APP}};
    for (const auto& b : binaries) {
        SCOPED_TRACE(testing::Message() << b.file);
        VersionResource resource(testsupport::ProgramFolder() + L"\\" + b.file);
        ASSERT_TRUE(resource.Loaded());
        const VS_FIXEDFILEINFO* fixed = resource.Fixed();
        ASSERT_NE(nullptr, fixed);
        EXPECT_EQ(DWORD(MAKELONG(SCANLEAF_VERSION_MINOR, SCANLEAF_VERSION_MAJOR)), fixed->dwFileVersionMS);
        EXPECT_EQ(DWORD(MAKELONG(0, SCANLEAF_VERSION_PATCH)), fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
        EXPECT_EQ(b.fileType, fixed->dwFileType);
        for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName", L"CompanyName",
                                    L"FileDescription", L"OriginalFilename"})
            EXPECT_NE(nullptr, resource.String(name)) << name;
        auto text = [&](const wchar_t* name) { return std::wstring(resource.String(name) ? resource.String(name) : L""); };
        EXPECT_EQ(version + L".0", text(L"FileVersion"));
        EXPECT_EQ(version, text(L"ProductVersion"));
        EXPECT_EQ(L"Scanleaf", text(L"ProductName"));
        EXPECT_EQ(b.originalName, text(L"OriginalFilename"));
        EXPECT_EQ(b.fileType == VFT_DLL, resource.String(L"OLESelfRegister") != nullptr);
    }
}

TEST(RegistrationResources, ScriptsAndTypeLibraryAreEmbedded) {
    testsupport::ScanleafDll dll;
    for (WORD id : {102, 103, 104})
        EXPECT_TRUE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(id), L"REGISTRY") != nullptr) << id;
    EXPECT_TRUE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr);
}

TEST(RegistrationResources, VersionMarksTheModuleSelfRegistering) {
    testsupport::ScanleafDll dll;
    VersionResource resource(dll.Path());
    ASSERT_TRUE(resource.Loaded());
    EXPECT_NE(nullptr, resource.String(L"OLESelfRegister"));
}

} // namespace
