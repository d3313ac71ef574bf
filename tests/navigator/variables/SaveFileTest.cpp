// Saving the header: the parsed area rebuilt in place, everything else untouched; the
// obstacles that fail a save and the retry after them.
#include "tests/navigator/variables/NavigatorFixture.h"

#include <gtest/gtest.h>

using namespace scanleaf;
using testsupport::MakeCalsImage;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using vartest::NavigatorTest;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Head(const Bytes& b, size_t n = 1408) { return Bytes(b.begin(), b.begin() + std::min(n, b.size())); }
Bytes Tail(const Bytes& b, size_t from = 1408) { return Bytes(b.begin() + std::min(from, b.size()), b.end()); }

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Moves the file's time back a day, so that any write shows.
void AgeFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME t = LastWrite(path);
    ULARGE_INTEGER u{{t.dwLowDateTime, t.dwHighDateTime}};
    u.QuadPart -= 864000000000ULL;
    t.dwLowDateTime = u.LowPart;
    t.dwHighDateTime = u.HighPart;
    SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
}

bool SameTime(FILETIME a, FILETIME b) { return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime; }

using SaveFile = NavigatorTest;

TEST_F(SaveFile, NothingWrittenMeansTheFileIsNotTouched) {
    std::wstring path = WriteFile(MakeCalsImage({"SRCDOCID:   x", "no colon here"}));
    AgeFile(path);
    const Bytes before = ReadBytes(path);
    const FILETIME time = LastWrite(path);
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_TRUE(SameTime(LastWrite(path), time));
}

TEST_F(SaveFile, RebuildsTheParsedAreaAndLeavesTheRestAlone) {
    for (unsigned char fill : {static_cast<unsigned char>(' '), static_cast<unsigned char>(0)}) {
        SCOPED_TRACE(fill);
        // A padding slot, a name in upper case, blanks around the colon, a record in slot 11.
        std::vector<std::string> records = {"srcdocid: DOC-7", "padding without colon", "RTYPE :  1",
                                            "rpelcnt: 001728,002200", "", "notes: free text"};
        records.resize(11);
        records.push_back("dtype: beyond the parsed area");
        const Bytes original = MakeCalsImage(records, fill, 5000);
        std::wstring path = WriteFile(original);
        ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
        ASSERT_EQ(Write(navigator.Get(), L"srcdocid", L"ABC-1"), S_OK);
        ASSERT_EQ(navigator->SaveFile(), S_OK);

        const Bytes saved = ReadBytes(path);
        ASSERT_EQ(saved.size(), original.size());
        EXPECT_EQ(Tail(saved), Tail(original));
        // Records move up past the padding; the derived values take no slot.
        EXPECT_EQ(Head(saved), Head(MakeCalsImage({"srcdocid: ABC-1", "rtype: 1", "rpelcnt: 001728,002200",
                                                    "notes: free text"},
                                                   fill, 0)));
        ComPtr<IVorFileNavigator> again = OpenOrFail(path);
        EXPECT_EQ(Read(again.Get(), L"srcdocid"), L"ABC-1");
        EXPECT_EQ(Read(again.Get(), L"width"), L"1728");
    }
}

TEST_F(SaveFile, AFullHeaderComesBackIdenticalAndASecondSaveDoesNothing) {
    std::vector<std::string> records;
    for (int i = 0; i < 11; ++i) records.push_back("name" + std::to_string(i) + ": value " + std::to_string(i));
    const Bytes original = MakeCalsImage(records, ' ', 300);
    std::wstring path = WriteFile(original);
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    ASSERT_EQ(Write(navigator.Get(), L"name10", L"value 10"), S_OK);
    ASSERT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(ReadBytes(path), original);

    // The flag was cleared: another save writes nothing over a change made meanwhile.
    Bytes changed = original;
    changed[10] = 'X';
    WriteBytes(path, changed);
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(ReadBytes(path), changed);
}

TEST_F(SaveFile, AValueLongerThanTheSlotIsCutInTheFileOnly) {
    std::wstring path = WriteFile(MakeCalsImage({"notes: short"}));
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    std::wstring longText;
    for (int i = 0; i < 200; ++i) longText += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_EQ(Write(navigator.Get(), L"notes", longText.c_str()), S_OK);
    ASSERT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(Read(navigator.Get(), L"notes"), longText);

    const Bytes saved = ReadBytes(path);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 128), "notes: " + testsupport::Narrow(longText.substr(0, 121)));
    EXPECT_EQ(saved[128], ' ');
    ComPtr<IVorFileNavigator> again = OpenOrFail(path);
    EXPECT_EQ(Read(again.Get(), L"notes"), longText.substr(0, 121));
}

TEST_F(SaveFile, AReadOnlyFileFailsUntilItIsWritableAgain) {
    const Bytes original = MakeCalsImage({"srcdocid: DOC-7"});
    std::wstring path = WriteFile(original);
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    ASSERT_EQ(Write(navigator.Get(), L"srcdocid", L"ABC-1"), S_OK);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(navigator->SaveFile(), E_FAIL);
    EXPECT_EQ(ReadBytes(path), original);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(navigator->SaveFile(), S_OK); // without writing the variables again
    EXPECT_EQ(Head(ReadBytes(path), 15), Head(MakeCalsImage({"srcdocid: ABC-1"}), 15));
}

TEST_F(SaveFile, AFileHeldOpenForWritingFailsUntilItIsClosed) {
    const Bytes original = MakeCalsImage({"srcdocid: DOC-7"});
    std::wstring path = WriteFile(original);
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    ASSERT_EQ(Write(navigator.Get(), L"srcdocid", L"ABC-1"), S_OK);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(navigator->SaveFile(), E_FAIL);
    CloseHandle(writer);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(navigator->SaveFile(), S_OK);
    EXPECT_EQ(Read(OpenOrFail(path).Get(), L"srcdocid"), L"ABC-1");
}

TEST_F(SaveFile, AMissingFileIsNotCreated) {
    std::wstring path = WriteFile(MakeCalsImage({"srcdocid: DOC-7"}));
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
    ASSERT_EQ(Write(navigator.Get(), L"srcdocid", L"ABC-1"), S_OK);
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(navigator->SaveFile(), E_FAIL);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A header is never laid over a file that is no longer the CALS file that was opened.
TEST_F(SaveFile, AFileReplacedOrTruncatedSinceTheOpenIsLeftAlone) {
    const Bytes original = MakeCalsImage({"srcdocid: DOC-7", "rpelcnt: 000010,000010"}, ' ', 4000);
    Bytes other(6000);
    for (size_t i = 0; i < other.size(); ++i) other[i] = static_cast<unsigned char>(i * 31 + 7);
    const struct {
        const char* what;
        Bytes content;
    } cases[] = {
        {"truncated below the header", Head(original, 2047)},
        {"truncated to the parsed area", Head(original, 1408)},
        {"replaced by other data", other},
        {"replaced by another header", MakeCalsImage({"srcdocid: DOC-7", "notes: x", "rpelcnt: 000010,000010"})},
        {"emptied", Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = WriteFile(original);
        ComPtr<IVorFileNavigator> navigator = OpenOrFail(path);
        ASSERT_EQ(Write(navigator.Get(), L"srcdocid", L"ABC-1"), S_OK);
        WriteBytes(path, c.content);
        EXPECT_EQ(navigator->SaveFile(), E_FAIL);
        EXPECT_EQ(ReadBytes(path), c.content);
        // Once the file is back, the save goes through.
        WriteBytes(path, original);
        EXPECT_EQ(navigator->SaveFile(), S_OK);
        EXPECT_EQ(Read(OpenOrFail(path).Get(), L"srcdocid"), L"ABC-1");
    }
}

} // namespace
