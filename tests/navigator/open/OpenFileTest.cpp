// Opening a CALS file on a navigator: sizes, sharing, the order of the steps, the header.
#include "navigator/CalsFile.h"

#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

using namespace scanleaf;
using testsupport::HostSettings;
using testsupport::MakeCalsImage;
using testsupport::TempFolder;
using testsupport::WriteBytes;

namespace {

class Navigator {
public:
    Navigator() {
        ComObject<CCalsFile>* p = nullptr;
        if (FAILED(ComObject<CCalsFile>::Create(&p))) throw std::bad_alloc();
        holder_ = ComPtr<IVorFileNavigator>(p);
        file_ = p;
    }
    CCalsFile* operator->() const { return file_; }
    std::vector<Tag> Tags() const { return {file_->Tags().tags.begin(), file_->Tags().tags.end()}; }

private:
    ComPtr<IVorFileNavigator> holder_;
    CCalsFile* file_ = nullptr;
};

std::vector<unsigned char> Bytes(size_t size, unsigned char fill = ' ') {
    std::vector<unsigned char> bytes(size, fill);
    return bytes;
}

class NavigatorOpen : public testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const std::vector<unsigned char>& bytes) {
        std::wstring path = temp.File(name);
        WriteBytes(path, bytes);
        return path;
    }
    HostSettings host;
    TempFolder temp;
};

} // namespace

TEST_F(NavigatorOpen, ShortFilesAndTheSettingsFolder) {
    struct Case {
        size_t size;
        bool withSettingsFolder;
        HRESULT expected;
    } cases[] = {
        {0, true, VOR_E_CANNOT_READ_HEADER},
        {895, true, VOR_E_CANNOT_READ_HEADER},
        {895, false, VOR_E_CANNOT_READ_HEADER}, // before the settings are looked for
        {896, false, E_FAIL},
        {896, true, VOR_E_CANNOT_READ_HEADER},
        {2047, false, E_FAIL},
        {2047, true, VOR_E_CANNOT_READ_HEADER},
        {2048, false, E_FAIL},
        {2048, true, S_OK},
    };
    for (const Case& c : cases) {
        HostSettings::SetSharedLocation(c.withSettingsFolder ? host.SharedFolder().c_str() : nullptr);
        std::vector<unsigned char> bytes = Bytes(c.size);
        if (c.size >= 128) std::copy_n("abc: 1", 6, bytes.begin());
        Navigator nav;
        EXPECT_EQ(c.expected, nav->OpenFile(Write(L"f.cal", bytes))) << c.size << " " << c.withSettingsFolder;
        EXPECT_EQ(c.expected == S_OK ? 1u : 0u, nav.Tags().size()) << c.size << " " << c.withSettingsFolder;
    }
}

TEST_F(NavigatorOpen, PathsThatCannotBeOpened) {
    std::wstring held = Write(L"held.cal", MakeCalsImage({"abc: 1"}));
    HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    const std::wstring paths[] = {temp.File(L"missing.cal"), temp.Path(), L"", held};
    for (const std::wstring& path : paths) {
        Navigator nav;
        EXPECT_EQ(VOR_E_CANNOT_OPEN_FILE, nav->OpenFile(path)) << testing::PrintToString(path);
        EXPECT_TRUE(nav.Tags().empty());
    }
    CloseHandle(writer);
    Navigator nav;
    EXPECT_EQ(S_OK, nav->OpenFile(held));
}

TEST_F(NavigatorOpen, FileIsNotHeldAfterTheOpen) {
    std::wstring path = Write(L"f.cal", MakeCalsImage({"abc: 1"}));
    Navigator nav;
    ASSERT_EQ(S_OK, nav->OpenFile(path));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    // Nor after a failed one.
    HostSettings::SetSharedLocation(nullptr);
    Navigator failed;
    ASSERT_EQ(E_FAIL, failed->OpenFile(path));
    writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

TEST_F(NavigatorOpen, FillByteIsTheByteAt895) {
    const unsigned char fills[] = {' ', 0, 'x'};
    for (unsigned char fill : fills) {
        std::vector<unsigned char> bytes = MakeCalsImage({"abc: 1"}, fill);
        bytes[894] = 'y'; // only 895 counts
        Navigator nav;
        ASSERT_EQ(S_OK, nav->OpenFile(Write(L"f.cal", bytes)));
        EXPECT_EQ(fill, nav->Tags().fillByte);
        EXPECT_FALSE(nav->Modified());
    }
}

TEST_F(NavigatorOpen, HeaderRecordsOfTheParsedAreaBecomeTagsInOrder) {
    std::vector<std::string> records = {
        "srcdocid: NONE",
        "",                          // padding: skipped
        "free text without a colon", // skipped
        "  abc :  x1   ",
        "abc: d:e",
        "RPELCNT: 001728,002200",
        "x: 1\r\n",
        "", "", "",
        "last: 10",                  // slot 10
        "hidden: 11",                // slot 11: not parsed
    };
    std::vector<unsigned char> bytes = MakeCalsImage(records, 0);
    Navigator nav;
    ASSERT_EQ(S_OK, nav->OpenFile(Write(L"f.cal", bytes)));
    std::vector<Tag> tags = nav.Tags();
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"srcdocid", L"NONE"}, {L"abc", L"x1"},  {L"abc", L"d:e"},   {L"rpelcnt", L"001728,002200"},
        {L"width", L"1728"},    {L"height", L"2200"}, {L"colordepth", L"1"}, {L"x", L"1"},
        {L"last", L"10"},
    };
    ASSERT_EQ(std::size(expected), tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        EXPECT_EQ(expected[i].first, tags[i].name) << i;
        EXPECT_EQ(expected[i].second, tags[i].value) << i;
    }
}

TEST_F(NavigatorOpen, ARefusedRecordFailsTheOpenAfterTheEarlierTags) {
    host.WriteSettings("[bad]\nTagnames=a\nTagpositions=5-3\n");
    Navigator nav;
    EXPECT_EQ(E_FAIL, nav->OpenFile(Write(L"f.cal", MakeCalsImage({"first: 1", "BAD: 2", "after: 3"}))));
    std::vector<Tag> tags = nav.Tags();
    ASSERT_EQ(1u, tags.size());
    EXPECT_EQ(L"first", tags[0].name);
}

TEST_F(NavigatorOpen, SettingsFileChangesTakeEffectAtTheNextOpen) {
    std::wstring path = Write(L"f.cal", MakeCalsImage({"notes: x"}));
    Navigator before;
    ASSERT_EQ(S_OK, before->OpenFile(path));
    EXPECT_FALSE(before.Tags().at(0).readOnly);
    host.WriteSettings("[notes]\nReadonly=1\n");
    Navigator after;
    ASSERT_EQ(S_OK, after->OpenFile(path));
    EXPECT_TRUE(after.Tags().at(0).readOnly);
}
