#include "hostenv/SettingsLight.h"
#include "tests/support/RegistryFixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <optional>

using namespace scanleaf;
using hostenvtest::SavedKey;

namespace {

const wchar_t kUserSettings[] = L"Vaults\\_-Global\\Settings";

// The host's keys under both roots and in both machine views, saved, emptied for the test and
// put back afterwards.
class HostKeys {
public:
    HostKeys()
        : machine32_(HKEY_LOCAL_MACHINE, kHostApplicationKey, KEY_WOW64_32KEY),
          machine64_(HKEY_LOCAL_MACHINE, kHostApplicationKey, KEY_WOW64_64KEY),
          user_(HKEY_CURRENT_USER, kHostApplicationKey) {
        machine32_.Clear();
        machine64_.Clear();
        user_.Clear();
    }

    // A value of the machine key; view 0 is this process's own view.
    static void SetMachine(const wchar_t* name, const std::wstring& text, REGSAM view = 0, DWORD type = REG_SZ) {
        Write(HKEY_LOCAL_MACHINE, kHostApplicationKey, name, text, view, type);
    }
    static void SetUser(const std::wstring& subkey, const wchar_t* name, const std::wstring& text) {
        std::wstring path = std::wstring(kHostApplicationKey) + (subkey.empty() ? L"" : L"\\" + subkey);
        Write(HKEY_CURRENT_USER, path, name, text, 0, REG_SZ);
    }
    static std::optional<std::wstring> Machine(const wchar_t* name) {
        return Read(HKEY_LOCAL_MACHINE, kHostApplicationKey, name);
    }
    static std::optional<std::wstring> User(const std::wstring& subkey, const wchar_t* name) {
        std::wstring path = std::wstring(kHostApplicationKey) + (subkey.empty() ? L"" : L"\\" + subkey);
        return Read(HKEY_CURRENT_USER, path, name);
    }

private:
    static void Write(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, REGSAM view,
                      DWORD type) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                                 &key, nullptr));
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static std::optional<std::wstring> Read(HKEY root, const std::wstring& path, const wchar_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
        wchar_t buffer[512] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        LONG result = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) return std::nullopt;
        return std::wstring(buffer);
    }

    SavedKey machine32_;
    SavedKey machine64_;
    SavedKey user_;
};

void Touch(const std::wstring& path) { testsupport::WriteBytes(path, {'x'}); }

} // namespace

// The 32-bit build runs under WOW64 in this prefix; the 64-bit build is native, and then the
// view flags are not used: every machine key reads the process's own (64-bit) view.
#if defined(_WIN64)
constexpr bool kUnderWow64 = false;
#else
constexpr bool kUnderWow64 = true;
#endif

TEST(SettingsLight, ProcessRunsUnderWow64InThisPrefix) {
    // The registry-view tests below rely on it; IsWow64 keeps its first answer.
    EXPECT_EQ(kUnderWow64, IsWow64());
    EXPECT_EQ(kUnderWow64, IsWow64());
}

TEST(SettingsLight, CachedLocationValuesAreNormalised) {
    SetEnvironmentVariableW(L"SCANLEAF_TEST_ROOT", L"E:\\Expanded");
    struct Case {
        const char* label;
        std::optional<std::wstring> value;
        DWORD type;
        std::wstring expected;
    };
    const Case cases[] = {
        {"plain", L"C:\\Host", REG_SZ, L"C:\\Host\\"},
        {"ends with backslash", L"C:\\Host\\", REG_SZ, L"C:\\Host\\"},
        {"empty", L"", REG_SZ, L""},
        {"missing", std::nullopt, REG_SZ, L""},
        {"expandable", L"%SCANLEAF_TEST_ROOT%\\Shared", REG_EXPAND_SZ, L"E:\\Expanded\\Shared\\"},
        {"wrong type", L"C:\\Host", REG_MULTI_SZ, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (unsigned kind : {SharedFolder, InstallFolder, InstallFolderAlias2, InstallFolderAlias5}) {
            HostKeys keys;
            const wchar_t* name = kind == SharedFolder ? L"SharedLocation" : L"Location";
            if (c.value) HostKeys::SetMachine(name, *c.value, 0, c.type);
            else HostKeys::SetMachine(L"Other", L"x");
            SettingsLight settings;
            EXPECT_EQ(c.expected, settings.GetFolder(kind)) << kind;
        }
    }
    SetEnvironmentVariableW(L"SCANLEAF_TEST_ROOT", nullptr);
}

TEST(SettingsLight, MissingHostKeyGivesEmptyFolders) {
    HostKeys keys;
    SettingsLight settings;
    EXPECT_EQ(nullptr, settings.OpenMachineKey());
    for (unsigned kind : {0u, 1u, 2u, 4u, 5u, 6u, 7u, 10u, 11u, 12u, 13u, 14u, 16u})
        EXPECT_EQ(L"", settings.GetFolder(kind)) << kind;
}

TEST(SettingsLight, FoundFolderIsCachedAndEmptyOneIsReadAgain) {
    HostKeys keys;
    SettingsLight settings;
    EXPECT_EQ(L"", settings.GetFolder(SharedFolder));
    // The key appears after a failed open: the next call opens it.
    HostKeys::SetMachine(L"SharedLocation", L"C:\\First");
    EXPECT_EQ(L"C:\\First\\", settings.GetFolder(SharedFolder));
    HostKeys::SetMachine(L"SharedLocation", L"C:\\Second");
    EXPECT_EQ(L"C:\\First\\", settings.GetFolder(SharedFolder));
    // A new object reads again.
    EXPECT_EQ(L"C:\\Second\\", SettingsLight().GetFolder(SharedFolder));
}

TEST(SettingsLight, KeyAccessorsOpenOnceAndRetryAfterFailure) {
    HostKeys keys;
    SettingsLight settings;
    EXPECT_EQ(nullptr, settings.OpenMachineKey());
    EXPECT_EQ(nullptr, settings.OpenMachineKey32());
    EXPECT_EQ(nullptr, settings.OpenMachineKey64());
    HostKeys::SetMachine(L"x", L"y", KEY_WOW64_32KEY);
    HostKeys::SetMachine(L"x", L"y", KEY_WOW64_64KEY);
    Registry* machine = settings.OpenMachineKey();
    ASSERT_NE(nullptr, machine);
    HKEY held = machine->Key();
    EXPECT_EQ(machine, settings.OpenMachineKey());
    EXPECT_EQ(held, settings.OpenMachineKey()->Key());
    EXPECT_NE(nullptr, settings.OpenMachineKey32());
    EXPECT_NE(nullptr, settings.OpenMachineKey64());

    // The user key is created when missing, with write access.
    Registry* user = settings.OpenUserKey();
    ASSERT_NE(nullptr, user);
    EXPECT_TRUE(user->SetDword(L"probe", 1));
}

TEST(SettingsLight, RegistryViewsGiveTheirOwnInstallFolders) {
    HostKeys keys;
    HostKeys::SetMachine(L"Location", L"C:\\Program Files (x86)\\Host", KEY_WOW64_32KEY);
    HostKeys::SetMachine(L"Location", L"C:\\Program Files\\Host", KEY_WOW64_64KEY);
    SettingsLight settings;
    const std::wstring folder32 = kUnderWow64 ? L"C:\\Program Files (x86)\\Host\\" : L"C:\\Program Files\\Host\\";
    EXPECT_EQ(folder32, settings.GetFolder(InstallFolder32));
    EXPECT_EQ(L"C:\\Program Files\\Host\\", settings.GetFolder(InstallFolder64));
    // The default view is the process's own.
    EXPECT_EQ(folder32, settings.GetFolder(InstallFolder));
}

TEST(SettingsLight, SixtyFourBitViewAloneLeavesTheOthersEmpty) {
    HostKeys keys;
    HostKeys::SetMachine(L"Location", L"C:\\Only64", KEY_WOW64_64KEY);
    SettingsLight settings;
    EXPECT_EQ(L"C:\\Only64\\", settings.GetFolder(InstallFolder64));
    const std::wstring other = kUnderWow64 ? L"" : L"C:\\Only64\\";
    EXPECT_EQ(other, settings.GetFolder(InstallFolder32));
    EXPECT_EQ(other, settings.GetFolder(InstallFolder));
}

TEST(SettingsLight, FoldersWithValueOrFallback) {
    struct Case {
        unsigned kind;
        const wchar_t* valueName;
        const wchar_t* fallback; // below the shared folder (kinds 4, 6) or the 64-bit install folder
    };
    const Case cases[] = {
        {LanFilesFolder, L"LanFileDir", L"S:\\Shared\\LanFiles\\"},
        {InsoBinFolder, L"InsoBinDir", L"S:\\Shared\\FileFormats\\InsoBin\\"},
        {DefaultDataFolder, L"DefaultDataDir", L"P:\\Host\\Default Data\\"},
        {DefaultCardsFolder, L"DefaultCardDir", L"P:\\Host\\Default Cards\\"},
        {DefaultConfigurationsFolder, L"DefConfigDir", L"P:\\Host\\Default Configurations\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        HostKeys keys;
        HostKeys::SetMachine(L"SharedLocation", L"S:\\Shared");
        HostKeys::SetMachine(L"Location", L"P:\\Host", KEY_WOW64_64KEY);
        EXPECT_EQ(c.fallback, SettingsLight().GetFolder(c.kind));
        HostKeys::SetMachine(c.valueName, L"");
        EXPECT_EQ(c.fallback, SettingsLight().GetFolder(c.kind));
        HostKeys::SetMachine(c.valueName, L"X:\\Own");
        EXPECT_EQ(L"X:\\Own\\", SettingsLight().GetFolder(c.kind));
        HostKeys::SetMachine(c.valueName, L"X:\\Own\\");
        EXPECT_EQ(L"X:\\Own\\", SettingsLight().GetFolder(c.kind));
    }
}

TEST(SettingsLight, FallbacksOnAnUnknownBaseAreEmptyNotRelative) {
    HostKeys keys;
    HostKeys::SetMachine(L"Unrelated", L"x");
    SettingsLight settings;
    for (unsigned kind : {LanFilesFolder, InsoBinFolder, DefaultDataFolder, DefaultCardsFolder, LanRootFolder,
                          DefaultConfigurationsFolder, VaultConfigurationsFile})
        EXPECT_EQ(L"", settings.GetFolder(kind)) << kind;
}

TEST(SettingsLight, LanRootIsTheParentOfTheLanFilesFolder) {
    struct Case {
        const wchar_t* lanFileDir;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"D:\\Vault\\LanFiles\\", L"D:\\Vault\\"},
        {L"D:\\Vault\\LanFiles", L"D:\\Vault\\"},
        {L"\\\\server\\share\\LanFiles", L"\\\\server\\share\\"},
        {L"D:\\LanFiles", L"D:\\"},
        {L"D:\\", L""}, // a drive has no parent
    };
    for (const Case& c : cases) {
        HostKeys keys;
        HostKeys::SetMachine(L"LanFileDir", c.lanFileDir);
        EXPECT_EQ(c.expected, SettingsLight().GetFolder(LanRootFolder)) << c.lanFileDir;
    }
    HostKeys keys;
    HostKeys::SetMachine(L"SharedLocation", L"S:\\Shared\\");
    EXPECT_EQ(L"S:\\Shared\\", SettingsLight().GetFolder(LanRootFolder));
}

TEST(SettingsLight, VaultConfigurationsFileAndFixedKinds) {
    HostKeys keys;
    HostKeys::SetMachine(L"DefConfigDir", L"C:\\Conf");
    SettingsLight settings;
    EXPECT_EQ(L"C:\\Conf\\VaultConfigurations.ini", settings.GetFolder(VaultConfigurationsFile));

    std::wstring pattern = settings.GetFolder(HelpUrlPattern);
    const std::wstring segment = L"/kestravo-pdm/";
    size_t at = pattern.find(segment);
    ASSERT_NE(std::wstring::npos, at) << pattern;
    auto count = [](const std::wstring& text) {
        size_t n = 0;
        for (size_t p = text.find(L"%s"); p != std::wstring::npos; p = text.find(L"%s", p + 2)) ++n;
        return n;
    };
    EXPECT_EQ(2u, count(pattern.substr(0, at)));
    EXPECT_EQ(2u, count(pattern.substr(at)));
    EXPECT_EQ(0u, pattern.find(L"https://"));
    EXPECT_EQ(std::wstring::npos, pattern.find(L'%', pattern.rfind(L"%s") + 1));

    for (unsigned kind : {17u, 18u, 1000u, 0xFFFFFFFFu}) EXPECT_EQ(L"", settings.GetFolder(kind)) << kind;
}

TEST(SettingsLight, LanguageFolderAppendsTheLanguage) {
    HostKeys keys;
    HostKeys::SetUser(kUserSettings, L"0", L"GB");
    HostKeys::SetMachine(L"LangDir", L"D:\\L");
    EXPECT_EQ(L"D:\\L\\GB\\", SettingsLight().GetFolder(LanguageFolder));
    HostKeys::SetMachine(L"LangDir", L"");
    HostKeys::SetMachine(L"Location", L"P:\\Host", KEY_WOW64_64KEY);
    HostKeys::SetUser(kUserSettings, L"0", L"DE");
    EXPECT_EQ(L"P:\\Host\\Lang\\DE\\", SettingsLight().GetFolder(LanguageFolder));
}

TEST(SettingsLight, HelpFileFallsBackToEnglish) {
    HostKeys keys;
    testsupport::TempFolder temp;
    const std::wstring lang = temp.Path() + L"\\Lang";
    for (const wchar_t* sub : {L"", L"\\DE", L"\\GB", L"\\FR"}) CreateDirectoryW((lang + sub).c_str(), nullptr);
    HostKeys::SetMachine(L"LangDir", lang);
    const std::wstring german = lang + L"\\DE\\FileExplorer.chm";
    const std::wstring english = lang + L"\\GB\\FileExplorer.chm";

    HostKeys::SetUser(kUserSettings, L"0", L"DE");
    // Neither file: the language's own path.
    EXPECT_EQ(german, SettingsLight().GetFolder(HelpFile));
    Touch(english);
    EXPECT_EQ(english, SettingsLight().GetFolder(HelpFile));
    Touch(german);
    EXPECT_EQ(german, SettingsLight().GetFolder(HelpFile));

    // English is returned even when missing.
    DeleteFileW(english.c_str());
    HostKeys::SetUser(kUserSettings, L"0", L"gb");
    EXPECT_EQ(lang + L"\\gb\\FileExplorer.chm", SettingsLight().GetFolder(HelpFile));
    HostKeys::SetUser(kUserSettings, L"0", L"FR");
    EXPECT_EQ(lang + L"\\FR\\FileExplorer.chm", SettingsLight().GetFolder(HelpFile));
    DeleteFileW(german.c_str());
    for (const wchar_t* sub : {L"\\DE", L"\\GB", L"\\FR", L""}) RemoveDirectoryW((lang + sub).c_str());
}

TEST(SettingsLight, HelpFileWithoutLanguageFolderIsEmpty) {
    HostKeys keys;
    HostKeys::SetUser(kUserSettings, L"0", L"DE");
    EXPECT_EQ(L"", SettingsLight().GetFolder(HelpFile));
}

TEST(SettingsLight, LanguageFromTheUserSettings) {
    struct Case {
        const char* label;
        std::optional<std::wstring> user;
        std::optional<std::wstring> machine;
        std::wstring expected;
        bool writtenBack;
    };
    const Case cases[] = {
        {"user's own", L"DE", L"FR", L"DE", false},
        {"user's empty", L"", L"FR", L"", false},
        {"user's upper S", L"S", L"FR", L"FR", true},
        {"user's lower s", L"s", L"IT", L"IT", true},
        {"user missing", std::nullopt, L"NL", L"NL", true},
        {"machine S", L"S", L"S", L"GB", true},
        {"machine lower s", std::nullopt, L"s", L"GB", true},
        {"machine value missing", L"S", std::nullopt, L"GB", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        HostKeys keys;
        HostKeys::SetMachine(L"Unrelated", L"x");
        if (c.user) HostKeys::SetUser(kUserSettings, L"0", *c.user);
        if (c.machine) HostKeys::SetMachine(L"DefaultLanguage", *c.machine);
        EXPECT_EQ(c.expected, SettingsLight().GetLanguage());
        if (c.writtenBack) {
            EXPECT_EQ(c.expected, HostKeys::User(kUserSettings, L"0"));
            EXPECT_EQ(c.expected, HostKeys::User(L"", L"Language"));
            EXPECT_EQ(c.expected, HostKeys::Machine(L"DefaultLanguage"));
        } else {
            EXPECT_EQ(c.user, HostKeys::User(kUserSettings, L"0"));
            EXPECT_EQ(std::nullopt, HostKeys::User(L"", L"Language"));
            EXPECT_EQ(c.machine, HostKeys::Machine(L"DefaultLanguage"));
        }
    }
}

TEST(SettingsLight, LanguageWithoutMachineKeyIsEnglishAndWritesNothing) {
    HostKeys keys;
    HostKeys::SetUser(kUserSettings, L"0", L"s");
    EXPECT_EQ(L"GB", SettingsLight().GetLanguage());
    EXPECT_EQ(L"s", HostKeys::User(kUserSettings, L"0"));
    EXPECT_EQ(std::nullopt, HostKeys::User(L"", L"Language"));
    EXPECT_EQ(std::nullopt, HostKeys::Machine(L"DefaultLanguage"));
}

TEST(SettingsLight, LanguageCreatesTheUserSettingsKey) {
    HostKeys keys;
    SettingsLight settings;
    EXPECT_EQ(L"GB", settings.GetLanguage());
    EXPECT_TRUE(hostenvtest::KeyExists(HKEY_CURRENT_USER,
                                       std::wstring(kHostApplicationKey) + L"\\" + kUserSettings));
}

TEST(SettingsLight, SpecialFolderRoutesAgree) {
    std::wstring viaPath, viaLocation;
    ASSERT_TRUE(GetSpecialFolder(nullptr, viaPath, CSIDL_APPDATA, false));
    ASSERT_TRUE(SpecialFolderByLocation(nullptr, viaLocation, CSIDL_APPDATA));
    EXPECT_EQ(viaPath, viaLocation);
    EXPECT_FALSE(viaPath.empty());
    EXPECT_LE(viaPath.size(), static_cast<size_t>(MAX_PATH));

    std::wstring untouched = L"keep";
    EXPECT_FALSE(GetSpecialFolder(nullptr, untouched, 0x7F, false));
    EXPECT_FALSE(SpecialFolderByLocation(nullptr, untouched, 0x7F));
    EXPECT_EQ(L"keep", untouched);
}

TEST(SettingsLight, UserDataFolderIsCreatedBelowLocalAppData) {
    std::wstring base;
    ASSERT_TRUE(GetSpecialFolder(nullptr, base, CSIDL_LOCAL_APPDATA, true));
    const std::wstring company = base + L"\\KESTRAVO";
    const std::wstring product = company + L"\\KESTRAVO PDM";
    bool companyExisted = GetFileAttributesW(company.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool productExisted = GetFileAttributesW(product.c_str()) != INVALID_FILE_ATTRIBUTES;

    SettingsLight settings;
    std::wstring folder = settings.GetFolder(UserDataFolder);
    EXPECT_EQ(product + L"\\", folder);
    DWORD attributes = GetFileAttributesW(product.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // Cached: the same text even once the folder is gone.
    RemoveDirectoryW(product.c_str());
    EXPECT_EQ(folder, settings.GetFolder(UserDataFolder));
    // An existing folder is taken as it is.
    EXPECT_EQ(folder, SettingsLight().GetFolder(UserDataFolder));
    if (!productExisted) RemoveDirectoryW(product.c_str());
    if (!companyExisted) RemoveDirectoryW(company.c_str());
}
