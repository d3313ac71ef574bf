// Registry scaffolding for the library's tests: a private subtree per test and saved host values.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace hostenvtest {

// HKCU\Software\ScanleafTests\<unique>, created fresh and deleted with everything in it at the end.
class TestKey {
public:
    TestKey();
    ~TestKey();
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    // The path below HKEY_CURRENT_USER.
    const std::wstring& Path() const { return path_; }
    HKEY Handle() const { return key_; }
    // Writes a raw value below this key (subkey may be empty).
    void SetRaw(const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data, DWORD bytes) const;
    void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const;
    bool HasSubKey(const std::wstring& subkey) const;

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

// One value of a key, saved on construction and put back (or deleted again) on destruction;
// the key itself is removed again at the end when it did not exist before.
class SavedValue {
public:
    SavedValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    void Set(const std::wstring& text, DWORD type = REG_SZ) const;
    void Delete() const;
    // The value's text now, or "<missing>".
    std::wstring Read() const;

private:
    HKEY root_;
    std::wstring path_;
    std::wstring name_;
    REGSAM view_;
    // The topmost part of the path that was missing before; removed at the end.
    std::wstring missingPrefix_;
    bool had_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// A whole key (one registry view), copied aside on construction and put back exactly on
// destruction; missing before means missing again afterwards. Clear() removes it meanwhile.
class SavedKey {
public:
    SavedKey(HKEY root, const std::wstring& path, REGSAM view = 0);
    ~SavedKey();
    SavedKey(const SavedKey&) = delete;
    SavedKey& operator=(const SavedKey&) = delete;

    void Clear() const;

private:
    HKEY root_;
    std::wstring path_;
    REGSAM view_;
    std::wstring missingPrefix_;
    TestKey backup_;
};

// Deletes a key with its subtree; true when it is gone.
bool DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);

// Another thread that keeps making and deleting a key of its own below HKLM\Software for as
// long as it lives, as installers and services change the registry beside the host's key.
class RegistryNoise {
public:
    RegistryNoise();
    ~RegistryNoise();
    RegistryNoise(const RegistryNoise&) = delete;
    RegistryNoise& operator=(const RegistryNoise&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace hostenvtest
