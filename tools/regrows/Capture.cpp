#include "tools/regrows/Capture.h"

#include "hostenv/ComError.h"
#include "hostenv/Registry.h"
#include "hostenv/Unique.h"

#include <algorithm>

namespace regrows {

namespace {

// The redirection lasts as long as this object: the classes root is put back on every path.
class ClassesRootRedirect {
public:
    explicit ClassesRootRedirect(HKEY target) : status_(RegOverridePredefKey(HKEY_CLASSES_ROOT, target)) {}
    ~ClassesRootRedirect() {
        if (status_ == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    ClassesRootRedirect(const ClassesRootRedirect&) = delete;
    ClassesRootRedirect& operator=(const ClassesRootRedirect&) = delete;
    LONG Status() const { return status_; }

private:
    LONG status_;
};

// The scratch key and everything below it go when this object does.
class ScratchKey {
public:
    ScratchKey() : path_(L"Software\\Scanleaf\\RegistrationCapture\\" + std::to_wstring(GetCurrentProcessId())) {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        key_.Open(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS, true);
    }
    ~ScratchKey() {
        key_.Close();
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    scanleaf::Registry& Key() { return key_; }

private:
    std::wstring path_;
    scanleaf::Registry key_;
};

bool ReadValues(HKEY key, std::vector<Value>& values) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = ARRAYSIZE(name);
        DWORD type = 0;
        DWORD bytes = 0;
        LONG rc = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &bytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return false;
        std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD dataBytes = DWORD(data.size() * sizeof(wchar_t));
        nameLength = ARRAYSIZE(name);
        rc = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                           &dataBytes);
        if (rc != ERROR_SUCCESS) return false;
        data.resize(dataBytes / sizeof(wchar_t));
        if (type == REG_SZ && !data.empty() && data.back() == L'\0') data.pop_back();
        values.push_back(Value{std::wstring(name, nameLength), type, data});
    }
    // The default value first, then by name: the same order at every build.
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.name < b.name; });
    return true;
}

bool ReadTree(scanleaf::Registry& key, const std::wstring& path, std::vector<Key>& tree) {
    Key here{path, {}, 0};
    if (!ReadValues(key.Key(), here.values)) return false;
    std::vector<std::wstring> names;
    std::wstring name;
    for (DWORD index = 0; key.EnumSubKey(index, &name, nullptr, nullptr); ++index) names.push_back(name);
    std::sort(names.begin(), names.end());
    here.subkeyCount = names.size();
    if (!path.empty()) tree.push_back(std::move(here));
    for (const std::wstring& child : names) {
        scanleaf::Registry sub;
        if (!sub.Open(key.Key(), child.c_str(), KEY_READ, false)) return false;
        if (!ReadTree(sub, path.empty() ? child : path + L"\\" + child, tree)) return false;
    }
    return true;
}

} // namespace

HRESULT CaptureRegistration(const std::wstring& dllPath, std::vector<Key>& tree, std::wstring& modulePath,
                            std::wstring& error) {
    ScratchKey scratch;
    if (!scratch.Key().Key()) {
        error = L"cannot create the scratch key";
        return HRESULT_FROM_WIN32(scratch.Key().lastError);
    }
    HRESULT hr;
    {
        const scanleaf::ModuleHandle dll(LoadLibraryW(dllPath.c_str()));
        if (!dll.Get()) {
            error = L"cannot load " + dllPath;
            return scanleaf::LastErrorAsHresult();
        }
        wchar_t loaded[MAX_PATH];
        DWORD length = GetModuleFileNameW(dll.Get(), loaded, MAX_PATH);
        modulePath.assign(loaded, length);
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllRegisterServer")));
        if (!registerServer) {
            error = dllPath + L" has no DllRegisterServer";
            return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        }
        ClassesRootRedirect redirect(scratch.Key().Key());
        if (redirect.Status() != ERROR_SUCCESS) {
            error = L"cannot redirect the classes root";
            return HRESULT_FROM_WIN32(redirect.Status());
        }
        hr = registerServer();
    }
    if (FAILED(hr)) {
        error = L"DllRegisterServer failed";
        return hr;
    }
    tree.clear();
    if (!ReadTree(scratch.Key(), L"", tree)) {
        error = L"cannot read back the registered tree";
        return E_FAIL;
    }
    return S_OK;
}

} // namespace regrows
