#include "hostenv/SettingsLight.h"

#include "hostenv/Unique.h"

#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <vector>

namespace scanleaf {

namespace {

const REGSAM kReadWrite = KEY_READ | KEY_WRITE;
const wchar_t kHelpUrlPattern[] = L"https://help.kestravo.example/%s/%s/kestravo-pdm/%s/%s";

void Normalise(std::wstring& folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A folder below base; nothing when the base is unknown, never a path relative to the current folder.
std::wstring Below(const std::wstring& base, const wchar_t* tail) { return base.empty() ? base : base + tail; }

bool SameTextIgnoringCase(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

} // namespace

SettingsLight::~SettingsLight() = default;

Registry* SettingsLight::OpenUserKey() {
    if (userKey.Key()) return &userKey;
    return userKey.Open(HKEY_CURRENT_USER, kHostApplicationKey, kReadWrite, true) ? &userKey : nullptr;
}

Registry* SettingsLight::OpenMachineKey() {
    if (machineKey.Key()) return &machineKey;
    return machineKey.Open(HKEY_LOCAL_MACHINE, kHostApplicationKey, KEY_READ, false) ? &machineKey : nullptr;
}

Registry* SettingsLight::OpenMachineKey32() {
    if (machineKey32.Key()) return &machineKey32;
    REGSAM access = IsWow64() ? KEY_READ | KEY_WOW64_32KEY : KEY_READ;
    return machineKey32.Open(HKEY_LOCAL_MACHINE, kHostApplicationKey, access, false) ? &machineKey32 : nullptr;
}

Registry* SettingsLight::OpenMachineKey64() {
    if (machineKey64.Key()) return &machineKey64;
    REGSAM access = IsWow64() ? KEY_READ | KEY_WOW64_64KEY : KEY_READ;
    return machineKey64.Open(HKEY_LOCAL_MACHINE, kHostApplicationKey, access, false) ? &machineKey64 : nullptr;
}

// One "Location"-like value, normalised and kept in its cache; an empty cache means not read yet.
std::wstring SettingsLight::CachedValue(std::wstring& cache, Registry* key, const wchar_t* name) {
    if (!cache.empty()) return cache;
    if (!key) return std::wstring();
    std::wstring value;
    if (!key->QueryString(name, value) || value.empty()) return std::wstring();
    Normalise(value);
    cache = value;
    return cache;
}

// A value of the machine key, normalised, when present and not empty; else empty text.
std::wstring SettingsLight::MachineFolderValue(const wchar_t* name) {
    std::wstring value;
    Registry* key = OpenMachineKey();
    if (!key || !key->QueryString(name, value)) return std::wstring();
    Normalise(value);
    return value;
}

std::wstring SettingsLight::ValueOrBelow(const wchar_t* name, const std::wstring& base, const wchar_t* tail) {
    std::wstring value = MachineFolderValue(name);
    return value.empty() ? Below(base, tail) : value;
}

std::wstring SettingsLight::LanguageFolderFor(const std::wstring& language) {
    std::wstring folder = ValueOrBelow(L"LangDir", GetFolder(InstallFolder64), L"Lang\\");
    if (folder.empty()) return folder;
    return folder + language + L"\\";
}

std::wstring SettingsLight::HelpFilePath() {
    std::wstring language = GetLanguage();
    std::wstring folder = LanguageFolderFor(language);
    if (folder.empty()) return folder;
    std::wstring path = folder + L"FileExplorer.chm";
    if (Exists(path) || SameTextIgnoringCase(language, L"GB")) return path;

    const std::wstring from = L"\\" + language + L"\\";
    const std::wstring to = L"\\GB\\";
    std::wstring english;
    size_t start = 0;
    for (size_t at; (at = path.find(from, start)) != std::wstring::npos; start = at + from.size())
        english.append(path, start, at - start).append(to);
    english.append(path, start, std::wstring::npos);
    return Exists(english) ? english : path;
}

std::wstring SettingsLight::UserDataFolderPath() {
    if (!userDataFolder.empty()) return userDataFolder;
    std::wstring base;
    if (!GetSpecialFolder(nullptr, base, CSIDL_LOCAL_APPDATA, true) &&
        !GetSpecialFolder(nullptr, base, CSIDL_APPDATA, true)) {
        // The runtime here has no _wdupenv_s; the process environment holds the same text.
        DWORD length = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
        if (length) {
            std::vector<wchar_t> value(length + 1, L'\0');
            DWORD got = GetEnvironmentVariableW(L"APPDATA", value.data(), length + 1);
            if (got && got <= length) base = value.data();
        }
    }
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    if (base.empty()) return std::wstring();

    std::wstring folder = base + L"\\KESTRAVO\\KESTRAVO PDM\\";
    if (!Exists(folder + L".")) {
        // Step by step, since CreateDirectoryW makes one level only; an existing level is fine.
        std::wstring step = base + L"\\KESTRAVO";
        CreateDirectoryW(step.c_str(), nullptr);
        step += L"\\KESTRAVO PDM";
        CreateDirectoryW(step.c_str(), nullptr);
    }
    userDataFolder = folder;
    return userDataFolder;
}

std::wstring SettingsLight::GetFolder(unsigned kind) {
    switch (kind) {
    case InstallFolder:
    case InstallFolderAlias2:
    case InstallFolderAlias5:
        return CachedValue(installFolder, OpenMachineKey(), L"Location");
    case SharedFolder:
        return CachedValue(sharedFolder, OpenMachineKey(), L"SharedLocation");
    case UserDataFolder:
        return UserDataFolderPath();
    case LanFilesFolder:
        return ValueOrBelow(L"LanFileDir", GetFolder(SharedFolder), L"LanFiles\\");
    case InsoBinFolder:
        return ValueOrBelow(L"InsoBinDir", GetFolder(SharedFolder), L"FileFormats\\InsoBin\\");
    case InstallFolder64:
        return CachedValue(installFolder64, OpenMachineKey64(), L"Location");
    case LanguageFolder:
        return LanguageFolderFor(GetLanguage());
    case HelpFile:
        return HelpFilePath();
    case DefaultDataFolder:
        return ValueOrBelow(L"DefaultDataDir", GetFolder(InstallFolder64), L"Default Data\\");
    case DefaultCardsFolder:
        return ValueOrBelow(L"DefaultCardDir", GetFolder(InstallFolder64), L"Default Cards\\");
    case LanRootFolder: {
        std::wstring folder = GetFolder(LanFilesFolder);
        while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        size_t cut = folder.rfind(L'\\');
        // A folder with no parent (a drive, a bare name) has no LAN root.
        if (cut == std::wstring::npos) return std::wstring();
        folder.resize(cut + 1);
        return folder;
    }
    case DefaultConfigurationsFolder:
        return ValueOrBelow(L"DefConfigDir", GetFolder(InstallFolder64), L"Default Configurations\\");
    case VaultConfigurationsFile:
        return Below(GetFolder(DefaultConfigurationsFolder), L"VaultConfigurations.ini");
    case HelpUrlPattern:
        return kHelpUrlPattern;
    case InstallFolder32:
        return CachedValue(installFolder32, OpenMachineKey32(), L"Location");
    default:
        return std::wstring();
    }
}

std::wstring SettingsLight::GetLanguage() {
    Registry* user = OpenUserKey();
    if (!user) return L"GB";

    Registry settings;
    settings.Open(user->Key(), L"Vaults\\_-Global\\Settings", kReadWrite, true);
    std::wstring language;
    if (settings.Key() && settings.QueryString(L"0", language)) {
        if (!SameTextIgnoringCase(language, L"S")) return language;
    }

    // The machine's default decides, and is written back to all three places.
    Registry machine;
    if (!machine.Open(HKEY_LOCAL_MACHINE, kHostApplicationKey, kReadWrite, false)) return L"GB";
    if (!machine.QueryString(L"DefaultLanguage", language)) return L"GB";
    if (SameTextIgnoringCase(language, L"S")) language = L"GB";
    if (settings.Key()) {
        settings.SetString(L"0", language.c_str());
        user->SetString(L"Language", language.c_str());
        machine.SetString(L"DefaultLanguage", language.c_str());
    }
    return language;
}

bool IsWow64() {
    // -1: not asked yet. Racing threads compute the same answer.
    static std::atomic<int> answer{-1};
    int known = answer.load(std::memory_order_relaxed);
    if (known >= 0) return known != 0;
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    auto isWow64Process =
        kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
               : nullptr;
    if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    answer.store(wow64 ? 1 : 0, std::memory_order_relaxed);
    return wow64 != FALSE;
}

bool SpecialFolderByLocation(HWND owner, std::wstring& out, int folderId) {
    TaskMemory<ITEMIDLIST> items;
    if (FAILED(SHGetSpecialFolderLocation(owner, folderId, items.Put())) || !items) return false;
    wchar_t path[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(items.Get(), path)) return false;
    out = path;
    return true;
}

bool GetSpecialFolder(HWND owner, std::wstring& out, int folderId, bool create) {
    using SpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    // 0: not looked up (or the library failed to load), 1: found, 2: missing.
    static std::atomic<int> state{0};
    static std::atomic<SpecialFolderPathFn> function{nullptr};
    if (state.load() == 0) {
        if (HMODULE shell = LoadLibraryW(L"Shell32.dll")) {
            // Kept loaded for the life of the process, like the function pointer into it.
            auto found = reinterpret_cast<SpecialFolderPathFn>(
                reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathW")));
            function.store(found);
            state.store(found ? 1 : 2);
        }
    }
    SpecialFolderPathFn path = state.load() == 1 ? function.load() : nullptr;
    if (!path) return SpecialFolderByLocation(owner, out, folderId);
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!path(owner, buffer, folderId, create ? TRUE : FALSE)) return false;
    out = buffer;
    return true;
}

} // namespace scanleaf
