#include "tests/support/CalsFixtures.h"

#include <stdexcept>

namespace testsupport {

namespace {
const wchar_t kAppKey[] = L"Software\\Kestravo\\Applications\\Quorvel Enterprise";
}

std::vector<unsigned char> MakeCalsImage(const std::vector<std::string>& records, unsigned char fill,
                                         size_t imageBytes) {
    if (records.size() > 16) throw std::invalid_argument("a header has 16 slots");
    std::vector<unsigned char> bytes(2048, fill);
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].size() > 128) throw std::invalid_argument("a record has 128 bytes");
        std::copy(records[i].begin(), records[i].end(), bytes.begin() + 128 * i);
    }
    for (size_t i = 0; i < imageBytes; ++i) bytes.push_back(static_cast<unsigned char>(i * 7 + 3));
    return bytes;
}

HostSettings::HostSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t buffer[1024] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key, L"SharedLocation", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS) {
            hadValue_ = true;
            oldValue_ = buffer;
        }
        RegCloseKey(key);
    }
    CreateDirectoryW((folder_.Path() + L"\\FileFormats").c_str(), nullptr);
    SetSharedLocation(SharedFolder().c_str());
}

HostSettings::~HostSettings() { SetSharedLocation(hadValue_ ? oldValue_.c_str() : nullptr); }

void HostSettings::WriteSettings(const std::string& iniText) const {
    std::wstring wide = Widen(iniText);
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::vector<unsigned char> bytes(n);
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), reinterpret_cast<char*>(bytes.data()),
                        n, nullptr, nullptr);
    WriteBytes(SettingsPath(), bytes);
}

void HostSettings::RemoveSettings() const { DeleteFileW(SettingsPath().c_str()); }

void HostSettings::SetSharedLocation(const wchar_t* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot open the host's key");
    if (text)
        RegSetValueExW(key, L"SharedLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"SharedLocation");
    RegCloseKey(key);
}

} // namespace testsupport
