// The settings file and the host's registry value behind it going wrong between opens: each
// open answers as documented, and the first open after the obstacle is gone sees the
// settings again. Also the settings cache: an edited file counts from the next file opened.
#include "tests/support/RegistryFixtures.h"
#include "tests/navigator/variables/NavigatorFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace scanleaf;
using testsupport::MakeCalsImage;
using testsupport::ReadBytes;
using vartest::NavigatorTest;

namespace {

const wchar_t kHostKey[] = L"Software\\Kestravo\\Applications\\Quorvel Enterprise";

// Sets the file's creation and last-write times to a fixed moment.
void SetTimes(const std::wstring& path, unsigned long long ticks) {
    ASSERT_TRUE(testsupport::SetFileTimes(path, ticks, true));
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

using testsupport::kLongAgo;

class SettingsFaults : public NavigatorTest {
protected:
    void SetUp() override {
        NavigatorTest::SetUp();
        file = WriteFile(MakeCalsImage({"srcdocid: DOC-7", "rtype: 1"}));
    }

    // Settings that make "rtype" read-only and split "srcdocid", written long ago (so they
    // may be kept between opens), or not.
    void Configure(const char* readonly, unsigned long long time = kLongAgo) {
        host.WriteSettings(std::string("[rtype]\r\nReadonly=") + readonly +
                           "\r\n[srcdocid]\r\nTagnames=doc;no\r\nTagpositions=1-3;5-5\r\n");
        if (time) SetTimes(host.SettingsPath(), time);
    }

    // What an open of the file sees: "configured" (rtype read-only, srcdocid split),
    // "writable rtype" (the same with Readonly=0), "defaults" (no settings), or its HRESULT.
    std::string Seen() {
        ComPtr<IVorFileNavigator> navigator;
        HRESULT hr = Open(file, navigator);
        if (hr != S_OK) return "open failed " + std::to_string(hr);
        LONG found = -1;
        EXPECT_EQ(S_OK, Write(navigator.Get(), L"rtype", L"2", &found));
        const bool readOnly = found == 0;
        const bool split = Read(navigator.Get(), L"doc") == L"DOC";
        if (split) return readOnly ? "configured" : "writable rtype";
        return readOnly ? "read-only rtype, whole srcdocid" : "defaults";
    }

    std::wstring file;
};

TEST_F(SettingsFaults, AnEditedFileCountsFromTheNextOpen) {
    Configure("1");
    EXPECT_EQ("configured", Seen());
    EXPECT_EQ("configured", Seen()); // kept

    // Same size, another write time.
    Configure("0", kLongAgo + 10000000);
    EXPECT_EQ("writable rtype", Seen()) << "same size, later time";

    // Same write time, another size. Wine's profile functions keep a parsed file while its
    // write time stays the same whatever its size; their flush call makes them read it again.
    Configure("01", kLongAgo + 10000000);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, host.SettingsPath().c_str());
    EXPECT_EQ("configured", Seen()) << "same time, other size";

    // Same size and the same write time as the kept file: only a file written just now can
    // look like that (an edit within the clock's resolution), and such a file is read afresh.
    Configure("1", 0);
    const FILETIME written = LastWrite(host.SettingsPath());
    EXPECT_EQ("configured", Seen());
    Configure("0", 0);
    HANDLE h = CreateFileW(host.SettingsPath().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    EXPECT_EQ("writable rtype", Seen()) << "same size and time, written a moment ago";
}

TEST_F(SettingsFaults, AnotherSharedFolderIsReadAtTheNextOpen) {
    Configure("1");
    EXPECT_EQ("configured", Seen());
    testsupport::TempFolder other;
    CreateDirectoryW((other.Path() + L"\\FileFormats").c_str(), nullptr);
    testsupport::HostSettings::SetSharedLocation((other.Path() + L"\\").c_str());
    EXPECT_EQ("defaults", Seen()) << "no settings file in the other folder";
    testsupport::HostSettings::SetSharedLocation(host.SharedFolder().c_str());
    EXPECT_EQ("configured", Seen());
}

// A settings file that is missing, held open by another program, or not a file at all can't
// be read, and then counts as missing: every record writable, no sub-fields. Nothing of
// that is kept: the next open after the obstacle reads the settings again.
TEST_F(SettingsFaults, AnUnreadableSettingsFileCountsAsMissingUntilItIsReadable) {
    const std::wstring settings = host.SettingsPath();
    Configure("1");
    ASSERT_EQ("configured", Seen());

    {
        SCOPED_TRACE("held open exclusively");
        HANDLE holder = CreateFileW(settings.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        // The kept answers came from this very file, unchanged: they still count.
        EXPECT_EQ("configured", Seen());
        CloseHandle(holder);
        // Changed while it is held: it can't be read, so the defaults count.
        Configure("1", kLongAgo + 20000000);
        holder = CreateFileW(settings.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        EXPECT_EQ("defaults", Seen());
        EXPECT_EQ("defaults", Seen());
        CloseHandle(holder);
        EXPECT_EQ("configured", Seen());
    }
    {
        SCOPED_TRACE("missing");
        host.RemoveSettings();
        EXPECT_EQ("defaults", Seen());
        Configure("1");
        EXPECT_EQ("configured", Seen());
    }
    {
        SCOPED_TRACE("a folder in its place");
        host.RemoveSettings();
        ASSERT_TRUE(CreateDirectoryW(settings.c_str(), nullptr));
        EXPECT_EQ("defaults", Seen());
        RemoveDirectoryW(settings.c_str());
        Configure("1");
        EXPECT_EQ("configured", Seen());
    }
}

// Without a usable "SharedLocation" the settings file can't be located: E_FAIL, the file
// untouched; once the value is right again the same file opens.
TEST_F(SettingsFaults, HostValueMissingOrOfTheWrongType) {
    Configure("1");
    const std::vector<unsigned char> before = ReadBytes(file);
    const DWORD number = 42;
    const BYTE binary[] = {'C', 0, ':', 0, '\\'};
    const wchar_t multi[] = L"C:\\Shared\\\0D:\\\0";
    const std::wstring shared = host.SharedFolder();
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD bytes;
    } cases[] = {
        {"a number", REG_DWORD, &number, sizeof number},
        {"binary", REG_BINARY, binary, sizeof binary},
        {"several strings", REG_MULTI_SZ, multi, sizeof multi},
        {"the folder as several strings", REG_MULTI_SZ, shared.c_str(), static_cast<DWORD>((shared.size() + 1) * 2)},
        {"empty text", REG_SZ, L"", 2},
        {"no value", REG_NONE, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_SET_VALUE, &key));
        if (c.data)
            RegSetValueExW(key, L"SharedLocation", 0, c.type, static_cast<const BYTE*>(c.data), c.bytes);
        else
            RegDeleteValueW(key, L"SharedLocation");
        RegCloseKey(key);
        EXPECT_EQ("open failed " + std::to_string(E_FAIL), Seen());
        testsupport::HostSettings::SetSharedLocation(shared.c_str());
        EXPECT_EQ("configured", Seen());
    }
    {
        SCOPED_TRACE("the host's key missing");
        hostenvtest::SavedKey saved(HKEY_LOCAL_MACHINE, kHostKey);
        saved.Clear();
        EXPECT_EQ("open failed " + std::to_string(E_FAIL), Seen());
    }
    EXPECT_EQ("configured", Seen());
    EXPECT_EQ(before, ReadBytes(file));
}

// The shared folder is kept between opens only while the host's key stays unchanged: a change
// made by this thread, by a thread that has ended since, by another program, or to the key
// itself or a parent (deleted and made again, with or without an open in between) is seen by
// the very next open.
TEST_F(SettingsFaults, EveryChangeOfTheHostKeyIsSeenByTheNextOpen) {
    Configure("1");
    hostenvtest::SavedKey saved(HKEY_LOCAL_MACHINE, kHostKey); // the key is deleted below
    testsupport::TempFolder other;
    CreateDirectoryW((other.Path() + L"\\FileFormats").c_str(), nullptr);
    const std::string ini = "[rtype]\r\nReadonly=0\r\n[srcdocid]\r\nTagnames=doc;no\r\nTagpositions=1-3;5-5\r\n";
    testsupport::WriteBytes(other.Path() + L"\\FileFormats\\Scanleaf.ini", {ini.begin(), ini.end()});
    SetTimes(other.Path() + L"\\FileFormats\\Scanleaf.ini", kLongAgo);
    const std::wstring mine = host.SharedFolder();
    const std::wstring theirs = other.Path() + L"\\";
    auto byProgram = [](const std::wstring& folder) {
        std::wstring command = L"reg.exe add \"HKLM\\" + std::wstring(kHostKey) +
                               L"\" /v SharedLocation /t REG_SZ /d \"" + folder + L"\\\" /f";
        ASSERT_EQ(0, testsupport::RunCommand(command)) << "reg.exe";
    };
    const struct {
        const char* what;
        std::function<void(const std::wstring&)> set;
    } ways[] = {
        {"this thread", [](const std::wstring& f) { testsupport::HostSettings::SetSharedLocation(f.c_str()); }},
        {"a thread that has ended",
         [](const std::wstring& f) {
             std::thread([&f] { testsupport::HostSettings::SetSharedLocation(f.c_str()); }).join();
         }},
        {"another program", byProgram},
        {"the key deleted and made again",
         [](const std::wstring& f) {
             hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
             testsupport::HostSettings::SetSharedLocation(f.c_str());
         }},
        {"the key deleted, an open while it is missing, the key made again",
         [this](const std::wstring& f) {
             hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, kHostKey);
             EXPECT_EQ("open failed " + std::to_string(E_FAIL), Seen());
             testsupport::HostSettings::SetSharedLocation(f.c_str());
         }},
        {"a parent deleted and the key made again",
         [](const std::wstring& f) {
             hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Kestravo");
             testsupport::HostSettings::SetSharedLocation(f.c_str());
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        EXPECT_EQ("configured", Seen());
        way.set(theirs);
        EXPECT_EQ("writable rtype", Seen());
        EXPECT_EQ("writable rtype", Seen());
        way.set(mine);
        EXPECT_EQ("configured", Seen());
    }
}

// The settings matter at the open only: a navigator opened before the host's value went
// missing still reads, writes and saves.
TEST_F(SettingsFaults, ANavigatorOpenedBeforeTheValueWentMissingStillSaves) {
    Configure("1");
    ComPtr<IVorFileNavigator> navigator = OpenOrFail(file);
    testsupport::HostSettings::SetSharedLocation(nullptr);
    host.RemoveSettings();
    LONG found = -1;
    ASSERT_EQ(S_OK, Write(navigator.Get(), L"no", L"9", &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(S_OK, navigator->SaveFile());
    testsupport::HostSettings::SetSharedLocation(host.SharedFolder().c_str());
    EXPECT_EQ(L"DOC-9", Read(OpenOrFail(file).Get(), L"srcdocid"));
}

} // namespace
