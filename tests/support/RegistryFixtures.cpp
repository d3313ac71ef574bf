#include "tests/support/RegistryFixtures.h"

#include <atomic>
#include <stdexcept>

namespace hostenvtest {

namespace {

std::wstring UniqueName() {
    static std::atomic<unsigned> counter{0};
    return L"T" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L"_" +
           std::to_wstring(counter++);
}

// The shortest prefix of path that is missing (empty when the whole path exists).
std::wstring FirstMissing(HKEY root, const std::wstring& path, REGSAM view) {
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        std::wstring prefix = path.substr(0, end);
        if (!KeyExists(root, prefix, view)) return prefix;
        if (end == std::wstring::npos) return std::wstring();
    }
}

} // namespace

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
        RegDeleteKeyExW(root, path.c_str(), view, 0);
    }
    return !KeyExists(root, path, view);
}

TestKey::TestKey() : path_(L"Software\\ScanleafTests\\" + UniqueName()) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create the test key");
}

TestKey::~TestKey() {
    RegCloseKey(key_);
    DeleteTree(HKEY_CURRENT_USER, path_);
    // The parent goes too once no other test uses it.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ScanleafTests");
}

void TestKey::SetRaw(const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data,
                     DWORD bytes) const {
    HKEY target = nullptr;
    if (RegCreateKeyExW(key_, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create a test subkey");
    LONG result = RegSetValueExW(target, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(target);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write a test value");
}

void TestKey::SetText(const wchar_t* name, const std::wstring& text, DWORD type) const {
    SetRaw(L"", name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool TestKey::HasSubKey(const std::wstring& subkey) const { return KeyExists(HKEY_CURRENT_USER, path_ + L"\\" + subkey); }

SavedKey::SavedKey(HKEY root, const std::wstring& path, REGSAM view)
    : root_(root), path_(path), view_(view), missingPrefix_(FirstMissing(root, path, view)) {
    if (!missingPrefix_.empty()) return;
    HKEY source = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &source) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open a key to save");
    LONG result = RegCopyTreeW(source, nullptr, backup_.Handle());
    RegCloseKey(source);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot save a key");
}

SavedKey::~SavedKey() {
    if (!missingPrefix_.empty()) {
        DeleteTree(root_, missingPrefix_, view_);
        return;
    }
    Clear();
    HKEY target = nullptr;
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &target, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegCopyTreeW(backup_.Handle(), nullptr, target);
    RegCloseKey(target);
}

void SavedKey::Clear() const { DeleteTree(root_, path_, view_); }

SavedValue::SavedValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view)
    : root_(root), path_(path), name_(name), view_(view) {
    missingPrefix_ = FirstMissing(root, path, view);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        data_.resize(size);
        if (RegQueryValueExW(key, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS) had_ = true;
        data_.resize(size);
    }
    RegCloseKey(key);
}

SavedValue::~SavedValue() {
    if (!missingPrefix_.empty()) {
        DeleteTree(root_, missingPrefix_, view_);
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) return;
    if (had_)
        RegSetValueExW(key, name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        RegDeleteValueW(key, name_.c_str());
    RegCloseKey(key);
}

void SavedValue::Set(const std::wstring& text, DWORD type) const {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot open a host key");
    LONG result = RegSetValueExW(key, name_.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write a host value");
}

void SavedValue::Delete() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name_.c_str());
    RegCloseKey(key);
}

std::wstring SavedValue::Read() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | view_, &key) != ERROR_SUCCESS) return L"<missing>";
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    LONG result = RegQueryValueExW(key, name_.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::wstring(buffer) : std::wstring(L"<missing>");
}

namespace {
const wchar_t kNoise[] = L"Software\\ScanleafTestNoise";
} // namespace

RegistryNoise::RegistryNoise() {
    thread_ = std::thread([this] {
        const std::wstring child = std::wstring(kNoise) + L"\\Child";
        while (!stop_) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, child.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) ==
                ERROR_SUCCESS)
                RegCloseKey(key);
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, child.c_str());
        }
        DeleteTree(HKEY_LOCAL_MACHINE, kNoise);
    });
}

RegistryNoise::~RegistryNoise() {
    stop_ = true;
    thread_.join();
}

} // namespace hostenvtest
