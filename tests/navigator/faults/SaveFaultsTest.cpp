// Obstacles between the open and the save that the save tests do not cover yet: other
// programs holding the file in other ways, the path taken by a folder, the file moved away
// and back. Each failed save reports E_FAIL, leaves the file as it was and keeps the change,
// in memory and marked for saving, so that a plain retry succeeds once the obstacle is gone.
#include "tests/navigator/variables/NavigatorFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace scanleaf;
using testsupport::MakeCalsImage;
using testsupport::ReadBytes;
using vartest::NavigatorTest;

namespace {

using SaveFaults = NavigatorTest;

TEST_F(SaveFaults, OtherProgramsHoldingTheFile) {
    const struct {
        const char* what;
        DWORD access;
        DWORD share;
        HRESULT whileHeld;
    } cases[] = {
        {"a reader that lets others write", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, S_OK},
        {"a reader that lets others read and delete", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, S_OK},
        {"a reader that denies writing", GENERIC_READ, FILE_SHARE_READ, E_FAIL},
        {"an exclusive reader", GENERIC_READ, 0, E_FAIL},
        {"an exclusive holder without data access", FILE_READ_ATTRIBUTES, 0, S_OK},
        {"a writer that lets others write", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> original = MakeCalsImage({"srcdocid: DOC-7", "notes: n"}, ' ', 3000);
        const std::wstring path = WriteFile(original);
        ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
        ASSERT_EQ(S_OK, Write(navigator.Get(), L"srcdocid", L"ABC-1"));
        HANDLE holder = CreateFileW(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        EXPECT_EQ(c.whileHeld, navigator->SaveFile());
        CloseHandle(holder);
        if (FAILED(c.whileHeld)) {
            EXPECT_EQ(original, ReadBytes(path));
            EXPECT_EQ(L"ABC-1", Read(navigator.Get(), L"srcdocid"));
        }
        // A retry without writing again: saves when the first try failed, does nothing otherwise.
        EXPECT_EQ(S_OK, navigator->SaveFile());
        const std::vector<unsigned char> saved = ReadBytes(path);
        ASSERT_EQ(original.size(), saved.size());
        EXPECT_TRUE(std::equal(saved.begin() + 1408, saved.end(), original.begin() + 1408));
        EXPECT_EQ(L"ABC-1", Read(OpenOrFail(path).Get(), L"srcdocid"));
    }
}

TEST_F(SaveFaults, ThePathGoneAndBackAgain) {
    const std::vector<unsigned char> original = MakeCalsImage({"srcdocid: DOC-7"}, 0, 500);
    const struct {
        const char* what;
        std::function<void(const std::wstring&)> away;
        std::function<void(const std::wstring&)> back;
    } cases[] = {
        {"deleted, then written again",
         [](const std::wstring& p) { DeleteFileW(p.c_str()); },
         [&](const std::wstring& p) { testsupport::WriteBytes(p, original); }},
        {"moved away, then moved back",
         [](const std::wstring& p) { MoveFileW(p.c_str(), (p + L".moved").c_str()); },
         [](const std::wstring& p) { MoveFileW((p + L".moved").c_str(), p.c_str()); }},
        {"a folder in its place",
         [](const std::wstring& p) {
             MoveFileW(p.c_str(), (p + L".moved").c_str());
             CreateDirectoryW(p.c_str(), nullptr);
         },
         [](const std::wstring& p) {
             RemoveDirectoryW(p.c_str());
             MoveFileW((p + L".moved").c_str(), p.c_str());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = WriteFile(original);
        ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
        ASSERT_EQ(S_OK, Write(navigator.Get(), L"srcdocid", L"ABC-1"));
        c.away(path);
        EXPECT_EQ(E_FAIL, navigator->SaveFile());
        EXPECT_EQ(L"ABC-1", Read(navigator.Get(), L"srcdocid"));
        c.back(path);
        EXPECT_EQ(original, ReadBytes(path));
        EXPECT_EQ(S_OK, navigator->SaveFile());
        EXPECT_EQ(L"ABC-1", Read(OpenOrFail(path).Get(), L"srcdocid"));
        EXPECT_EQ(original.size(), ReadBytes(path).size());
    }
}

} // namespace
