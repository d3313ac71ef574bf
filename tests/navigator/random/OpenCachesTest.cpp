// The two caches of an open (the shared-folder watch and the settings-file cache) against a
// fresh read: random sequences of changes to the host's key, its parents, the shared folder
// and the settings file, made by this thread, another thread or another program, each
// followed by one open through the caches and one with them bypassed. Both must give the same
// HRESULT and the same tags (names, values, read-only flags, sub-fields).
//
// The settings file's times follow a clock of the test's own, which the cache is given too, so
// that a file "written long ago" and a rewrite within the same second (on a file system that
// keeps whole seconds) can both be had without waiting.
//
// SCANLEAF_SEED=n fixes the first case's seed, SCANLEAF_RANDOM_ITERATIONS=k the number of
// cases (of kSteps steps each).
#include "hostenv/SharedFolderWatch.h"
#include "comframe/ComObject.h"
#include "navigator/CalsFile.h"
#include "navigator/SettingsSource.h"
#include "tests/navigator/random/Soak.h"
#include "tests/support/CalsFixtures.h"
#include "tests/support/RegistryFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

using namespace scanleaf;
using testsupport::Narrow;

namespace {

const wchar_t kAppKey[] = L"Software\\Kestravo\\Applications\\Quorvel Enterprise";
const wchar_t* const kParents[] = {L"Software\\Kestravo\\Applications", L"Software\\Kestravo"};
constexpr int kFolders = 3;
constexpr int kSteps = 200;
constexpr unsigned long long kSecond = 10000000ULL;

// Three of the same size, the third refused (start after end), so that a same-size rewrite
// changes what an open gives.
const std::vector<std::string> kContents = {
    "[rtype]\r\nReadonly=1\r\n[srcdocid]\r\nTagnames=doc;no\r\nTagpositions=1-3;5-5\r\n",
    "[rtype]\r\nReadonly=0\r\n[srcdocid]\r\nTagnames=doc;no\r\nTagpositions=1-3;5-5\r\n",
    "[rtype]\r\nReadonly=1\r\n[srcdocid]\r\nTagnames=doc;no\r\nTagpositions=1-3;9-5\r\n",
    "[notes]\r\nReadonly=1\r\n[rpelcnt]\r\nTagnames=w;h\r\nTagpositions=1-6;8-13\r\n",
    "[srcdocid]\r\nTagnames=a;b;c\r\nTagpositions=1-1;2-2;3-3\r\n",
    "",
};
constexpr int kSameSize = 3; // kContents[0..2]

unsigned long long g_now = 0; // the test's clock
unsigned long long TestClock() { return g_now; }

std::string Render(HRESULT hr, const CCalsFile& file) {
    std::string out = "hr " + std::to_string(hr);
    if (FAILED(hr)) return out;
    for (const Tag& t : file.Tags().tags) {
        out += "\n" + Narrow(t.name) + "=" + Narrow(t.value) + (t.readOnly ? " ro" : "") + " w" +
               std::to_string(t.valueWidth);
        for (const SubTag& s : t.subTags)
            out += " " + Narrow(s.name) + ":" + std::to_string(s.start) + "-" + std::to_string(s.end);
    }
    return out;
}

class OpenCaches : public testing::Test {
protected:
    void SetUp() override {
        drawing = root.File(L"drawing.cal");
        testsupport::WriteBytes(drawing, testsupport::MakeCalsImage({"srcdocid: DOC-7", "rtype: 1",
                                                                     "rpelcnt: 001700,001100", "notes: x"}));
        for (int i = 0; i < kFolders; ++i) CreateDirectoryW(Folder(i).c_str(), nullptr);
    }

    std::wstring Folder(int i) const { return root.File(L"f" + std::to_wstring(i)); }
    std::wstring Settings(int i) const { return Folder(i) + L"\\FileFormats\\Scanleaf.ini"; }

    std::string Open(SettingsSource& settings) {
        ComObject<CCalsFile>* file = nullptr;
        EXPECT_EQ(S_OK, ComObject<CCalsFile>::Create(&file));
        file->InternalAddRef();
        HRESULT hr = file->OpenFile(drawing, settings);
        std::string seen = Render(hr, *file);
        file->InternalRelease();
        return seen;
    }

    // --- the host's key
    static void SetValue(DWORD type, const std::wstring& text) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                 &key, nullptr));
        std::wstring data = text + L'\0';
        if (type == REG_MULTI_SZ) data += L'\0';
        RegSetValueExW(key, L"SharedLocation", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       DWORD(data.size() * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static void MakeKey() {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) == 0)
            RegCloseKey(key);
    }
    static void DeleteValue() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kAppKey, L"SharedLocation"); }

    // What SharedLocation may name: a folder of the test, with or without the backslash, one
    // that does not exist, or the same through an environment variable.
    std::wstring FolderText(soak::Rng& rng) const {
        const int i = rng.Int(0, kFolders);
        std::wstring text = i == kFolders ? root.File(L"missing") : Folder(i);
        if (rng.Chance(20)) text = L"%SCANLEAF_MODEL_ROOT%" + text.substr(root.Path().size());
        return rng.Chance(50) ? text + L"\\" : text;
    }

    // One change to the key, as a function another thread may run.
    std::function<void()> KeyChange(soak::Rng& rng) {
        std::wstring text = FolderText(rng);
        const int change = rng.Int(0, 8);
        last += ", key change " + std::to_string(change) + " (" + Narrow(text) + ")";
        switch (change) {
        case 0: case 1: case 2: return [text] { SetValue(REG_SZ, text); };
        case 3: return [text] { SetValue(text.find(L'%') != std::wstring::npos ? REG_EXPAND_SZ : REG_SZ, text); };
        case 4: return [text] { SetValue(REG_MULTI_SZ, text); };
        case 5: return rng.Chance(50) ? std::function<void()>([] { SetValue(REG_SZ, L""); }) : DeleteValue;
        case 6: return [] { hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, kAppKey); };
        case 7: return MakeKey;
        default: {
            std::wstring parent = kParents[rng.Int(0, 1)];
            return [parent, text] {
                hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, parent);
                SetValue(REG_SZ, text);
            };
        }
        }
    }

    // reg.exe of the process's own bitness, as an installer or an administrator runs it.
    void ByProgram(soak::Rng& rng) {
        std::wstring command = L"reg.exe delete \"HKLM\\" + std::wstring(kAppKey) + L"\" /f";
        if (rng.Chance(70)) {
            std::wstring text = FolderText(rng);
            if (!text.empty() && text.back() == L'\\') text += L'\\'; // "...\\" ends the quoted argument
            command = L"reg.exe add \"HKLM\\" + std::wstring(kAppKey) + L"\" /v SharedLocation /t " +
                      (text.find(L'%') != std::wstring::npos ? L"REG_EXPAND_SZ" : L"REG_SZ") + L" /d \"" + text +
                      L"\" /f";
        }
        ASSERT_NE(-1, testsupport::RunCommand(command)) << testsupport::Narrow(command);
    }

    // --- the settings file
    // Written "now" on the test's clock, kept in whole seconds as some file servers do.
    void Stamp(const std::wstring& path) { testsupport::SetFileTimes(path, g_now / kSecond * kSecond); }

    void Write(int i, int content, const std::wstring& path) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        CreateDirectoryW((Folder(i) + L"\\FileFormats").c_str(), nullptr);
        const std::string& text = kContents[size_t(content)];
        testsupport::WriteBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
        Stamp(path);
        current[i] = content;
    }

    void FileChange(soak::Rng& rng) {
        const int i = rng.Int(0, kFolders - 1);
        const std::wstring path = Settings(i);
        const int change = rng.Int(0, 6);
        last += ", file " + std::to_string(i) + " change " + std::to_string(change);
        switch (change) {
        case 0: case 1: Write(i, rng.Int(0, int(kContents.size()) - 1), path); break;
        case 2: // the same size, within the same second
            if (current[i] >= 0 && current[i] < kSameSize) Write(i, rng.Int(0, kSameSize - 1), path);
            break;
        case 3: {
            static const DWORD kAttributes[] = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                                                FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN};
            SetFileAttributesW(path.c_str(), kAttributes[rng.Int(0, 4)]);
            break;
        }
        case 4:
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
            current[i] = -1;
            break;
        case 5: { // replaced by a rename, as editors save
            const std::wstring next = Folder(i) + L"\\FileFormats\\Scanleaf.new";
            const int content = rng.Int(0, int(kContents.size()) - 1);
            Write(i, content, next);
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!MoveFileExW(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) DeleteFileW(next.c_str());
            break;
        }
        default:
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
            RemoveDirectoryW((Folder(i) + L"\\FileFormats").c_str());
            current[i] = -1;
            break;
        }
    }

    // Wine's profile functions keep a parsed file while its write time stays the same, which a
    // rewrite within the same second on this clock does not change, so the fresh read would see
    // the file as it was. Their flush lets go of one kept copy, and a file read while missing is
    // kept twice over (the old text behind an empty one): flush as often as Wine keeps files
    // (ten), with the file writable, which the flush's own open needs. Before every fresh read of
    // the file an open reads, so that it parses what the file holds, whatever the steps before did.
    static void Forget(const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        for (int i = 0; i < 10; ++i) WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
        if (readOnly) SetFileAttributesW(path.c_str(), attributes);
    }

    void Step(soak::Rng& rng) {
        const int kind = rng.Int(0, 99);
        last = "kind " + std::to_string(kind);
        if (kind < 30) {
            KeyChange(rng)();
        } else if (kind < 38) {
            std::thread(KeyChange(rng)).join();
        } else if (kind < 40) {
            ByProgram(rng);
        } else if (kind < 72) {
            FileChange(rng);
        } else if (kind < 75) { // what an expandable value's text depends on
            SetEnvironmentVariableW(L"SCANLEAF_MODEL_ROOT", (rng.Chance(50) ? root.Path() : Folder(0)).c_str());
        } else {
            g_now += rng.Int(0, 5) * kSecond + rng.Int(0, 9999999);
        }
    }

    // What both opens depend on, read around the caches, for a failure's message: the shared
    // folder, and each settings file's bytes, attributes, times and what a profile read gives.
    std::string Explain() {
        std::string out = "last step: " + last + "; shared folder: " + Narrow(DirectSettings().SharedFolder()) + "; clock " + std::to_string(g_now);
        for (int i = 0; i < kFolders; ++i) {
            const std::wstring path = Settings(i);
            out += "\n" + Narrow(path) + " (written as " + std::to_string(current[i]) + "): ";
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
                out += "absent";
                continue;
            }
            const auto ticks = [](const FILETIME& t) { return std::to_string((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
            const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
            const SectionAnswers srcdocid = ReadSection(L"srcdocid", path);
            out += "attributes " + std::to_string(data.dwFileAttributes) + ", created " + ticks(data.ftCreationTime) +
                   ", written " + ticks(data.ftLastWriteTime) + ", " + std::to_string(data.nFileSizeLow) + " bytes \"" +
                   std::string(bytes.begin(), bytes.end()) + "\"; profile srcdocid: " + Narrow(srcdocid.names) + " / " +
                   Narrow(srcdocid.positions);
        }
        return out;
    }

    void RunCase(unsigned long seed) {
        soak::Rng rng(seed);
        // Every case from the same start, so that its seed alone replays it.
        g_now = testsupport::kLongAgo + seed * 1000 * kSecond;
        SetEnvironmentVariableW(L"SCANLEAF_MODEL_ROOT", root.Path().c_str());
        hostenvtest::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Kestravo");
        for (int i = 0; i < kFolders; ++i) {
            SetFileAttributesW(Settings(i).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Settings(i).c_str());
            current[i] = -1;
        }
        // In every other case another thread changes the registry beside the host's key all along,
        // as installers and services do: the watch's notifications then fire at any moment.
        std::optional<hostenvtest::RegistryNoise> noise;
        if (seed % 2) noise.emplace();
        // Fresh caches per case, as a process that has just loaded the plug-in.
        SharedFolderWatch watch;
        SettingsCache cache(TestClock);
        CachedSettings cached(watch, cache);
        DirectSettings direct;
        for (int step = 0; step < kSteps && !HasFailure(); ++step) {
            Step(rng);
            const std::wstring folder = DirectSettings().SharedFolder();
            if (!folder.empty()) Forget(folder + L"FileFormats\\Scanleaf.ini");
            const std::string fresh = Open(direct);
            if (threads == 1) {
                const std::string seen = Open(cached);
                ASSERT_EQ(fresh, seen) << "step " << step << "\n" << Explain();
            } else {
                // Opens on several threads at once, as the card tool's jobs make them.
                std::vector<std::string> seen(threads);
                std::vector<std::thread> opens;
                for (int t = 0; t < threads; ++t) opens.emplace_back([&, t] { seen[t] = Open(cached); });
                for (std::thread& t : opens) t.join();
                for (int t = 0; t < threads; ++t) ASSERT_EQ(fresh, seen[t]) << "step " << step << ", thread " << t << "\n" << Explain();
            }
            ++opened;
            if (fresh.rfind("hr 0", 0) == 0) ++succeeded;
        }
    }

    void RunCases(const char* test, unsigned long firstSeed, unsigned long defaultCases) {
        const unsigned long base = soak::EnvNumber("SCANLEAF_SEED", firstSeed);
        const unsigned long cases = soak::EnvNumber("SCANLEAF_RANDOM_ITERATIONS", defaultCases);
        for (unsigned long i = 0; i < cases && !HasFailure(); ++i) {
            SCOPED_TRACE("case seed " + std::to_string(base + i) + " (rerun: " + soak::Replay(test, base + i) + ")");
            soak::Begin(test, base + i);
            RunCase(base + i);
            soak::End(!HasFailure());
        }
        std::printf("opens %u, of them successful %u\n", opened, succeeded);
    }

    testsupport::TempFolder root;
    std::wstring drawing;
    int current[kFolders] = {-1, -1, -1};
    hostenvtest::SavedKey saved{HKEY_LOCAL_MACHINE, L"Software\\Kestravo"};
    unsigned opened = 0, succeeded = 0;
    int threads = 1; // opens through the caches after each step, at once
    std::string last; // what the last step did, for a failure's message
};

TEST_F(OpenCaches, EveryOpenSeesWhatAFreshReadSees) {
    RunCases("OpenCaches.EveryOpenSeesWhatAFreshReadSees", 7000, 50);
}

// A settings file deleted, read once while missing and made again within the same second with
// other text: Wine's profile functions gave the old text, even after one flush. The fresh read
// must see the new text, and the cached open too, once settled as well.
TEST_F(OpenCaches, AFileMadeAgainWithinTheSameSecondIsReadAfresh) {
    g_now = testsupport::kLongAgo;
    SetValue(REG_SZ, Folder(0));
    SharedFolderWatch watch;
    SettingsCache cache(TestClock);
    CachedSettings cached(watch, cache);
    DirectSettings direct;
    const std::string refused = "hr " + std::to_string(E_FAIL);
    const std::wstring path = Settings(0);
    Write(0, 0, path);
    Forget(path);
    ASSERT_EQ("hr 0", Open(direct).substr(0, 4));
    DeleteFileW(path.c_str());
    EXPECT_EQ(0u, GetPrivateProfileIntW(L"rtype", L"Readonly", 0, path.c_str())); // read while missing
    Write(0, 2, path); // its start after its end: refused
    Forget(path);
    EXPECT_EQ(refused, Open(direct));
    EXPECT_EQ(refused, Open(cached));
    g_now += 4 * kSecond;
    EXPECT_EQ(refused, Open(cached));
    Forget(path);
    EXPECT_EQ(refused, Open(direct));
    EXPECT_EQ(refused, Open(cached));
}

TEST_F(OpenCaches, OpensOnFourThreadsAtOnceSeeWhatAFreshReadSees) {
    threads = 4;
    RunCases("OpenCaches.OpensOnFourThreadsAtOnceSeeWhatAFreshReadSees", 9000, 6);
}

} // namespace
