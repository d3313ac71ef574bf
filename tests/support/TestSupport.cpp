#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstdio>
#include <stdexcept>

namespace testsupport {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

ScanleafDll::ScanleafDll() {
    module_ = LoadLibraryW((ProgramFolder() + L"\\Scanleaf.dll").c_str());
    if (!module_) throw std::runtime_error("Scanleaf.dll could not be loaded");
}

ScanleafDll::~ScanleafDll() {
    if (module_) FreeLibrary(module_);
}

std::wstring ScanleafDll::Path() const {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module_, path, MAX_PATH);
    return path;
}

namespace {
template <class Fn>
Fn Export(HMODULE module, const char* name) {
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!fn) throw std::runtime_error(std::string("missing export ") + name);
    return fn;
}
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgFn = HRESULT(STDAPICALLTYPE*)();
} // namespace

HRESULT ScanleafDll::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    return Export<GetClassObjectFn>(module_, "DllGetClassObject")(clsid, iid, out);
}
HRESULT ScanleafDll::CanUnloadNow() const { return Export<NoArgFn>(module_, "DllCanUnloadNow")(); }
HRESULT ScanleafDll::RegisterServer() const { return Export<NoArgFn>(module_, "DllRegisterServer")(); }
HRESULT ScanleafDll::UnregisterServer() const { return Export<NoArgFn>(module_, "DllUnregisterServer")(); }

HRESULT ScanleafDll::Create(REFCLSID clsid, REFIID iid, void** out, IUnknown* outer) const {
    IClassFactory* factory = nullptr;
    HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, out);
    factory->Release();
    return hr;
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsscanleaf-%lu-%ld-%lu", base, GetCurrentProcessId(),
                 InterlockedIncrement(&counter), GetTickCount());
        if (CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a temporary folder");
    }
}

TempFolder::~TempFolder() {
    std::wstring from = path_;
    from.push_back(L'\0'); // double-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::vector<unsigned char> ReadBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) throw std::runtime_error("cannot read " + Narrow(path));
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) throw std::runtime_error("cannot write " + Narrow(path));
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool SetFileTimes(const std::wstring& path, unsigned long long ticks, bool creationToo) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ULARGE_INTEGER u;
    u.QuadPart = ticks;
    FILETIME t{u.LowPart, u.HighPart};
    BOOL set = SetFileTime(h, creationToo ? &t : nullptr, nullptr, &t);
    CloseHandle(h);
    return set != FALSE;
}

DWORD RunToEnd(std::wstring commandLine, STARTUPINFOW& startup, DWORD creationFlags) {
    const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
    PROCESS_INFORMATION process{};
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit, creationFlags, nullptr, nullptr,
                           &startup, &process))
            break;
        if (attempt == 3) return DWORD(-1);
        Sleep(500);
    }
    // To its end, however long a heavy load makes it: a program still running when its caller
    // goes on (reg.exe changing the host's key, a tool still writing its table) fooled the next step.
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
        code = DWORD(-1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

long RunCommand(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return long(RunToEnd(std::move(commandLine), startup, CREATE_NO_WINDOW));
}

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace testsupport
