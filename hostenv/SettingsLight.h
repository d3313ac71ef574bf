// The host's folders by kind and its user-interface language, read from its registry keys.
#pragma once

#include "hostenv/Registry.h"
#include "hostenv/HostNames.h"

#include <string>

namespace scanleaf {

enum FolderKind : unsigned {
    InstallFolder = 0,
    SharedFolder = 1,
    InstallFolderAlias2 = 2,
    UserDataFolder = 3,
    LanFilesFolder = 4,
    InstallFolderAlias5 = 5,
    InsoBinFolder = 6,
    InstallFolder64 = 7,
    LanguageFolder = 8,
    HelpFile = 9,
    DefaultDataFolder = 10,
    DefaultCardsFolder = 11,
    LanRootFolder = 12,
    DefaultConfigurationsFolder = 13,
    VaultConfigurationsFile = 14,
    HelpUrlPattern = 15,
    InstallFolder32 = 16,
};


class SettingsLight {
public:
    SettingsLight() = default;
    virtual ~SettingsLight();
    SettingsLight(const SettingsLight&) = delete;
    SettingsLight& operator=(const SettingsLight&) = delete;

    // The folder or file of the kind; empty text when it can't be found, also when a folder
    // would be built below a base folder that is unknown (never a path relative to the current
    // folder), and for kinds 17 and above.
    std::wstring GetFolder(unsigned kind);
    // The user-interface language code, "GB" when none is set.
    std::wstring GetLanguage();

    // Each opens its key on first use; null on failure (the next call tries again).
    Registry* OpenUserKey();
    Registry* OpenMachineKey();
    Registry* OpenMachineKey32();
    Registry* OpenMachineKey64();

private:
    std::wstring CachedValue(std::wstring& cache, Registry* key, const wchar_t* name);
    std::wstring MachineFolderValue(const wchar_t* name);
    std::wstring ValueOrBelow(const wchar_t* name, const std::wstring& base, const wchar_t* tail);
    std::wstring LanguageFolderFor(const std::wstring& language);
    std::wstring HelpFilePath();
    std::wstring UserDataFolderPath();

    Registry userKey;
    Registry machineKey;
    Registry machineKey32;
    Registry machineKey64;
    std::wstring installFolder;
    std::wstring sharedFolder;
    std::wstring userDataFolder;
    std::wstring installFolder32;
    std::wstring installFolder64;
};

// True for a 32-bit process on 64-bit Windows; computed once per process.
bool IsWow64();
// The shell folder's path (at most MAX_PATH characters); out unchanged on failure.
bool GetSpecialFolder(HWND owner, std::wstring& out, int folderId, bool create);
// The shell's item-list route to a folder's path, used when SHGetSpecialFolderPathW is missing.
bool SpecialFolderByLocation(HWND owner, std::wstring& out, int folderId);

} // namespace scanleaf
