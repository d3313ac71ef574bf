// Shared helpers of the tests: the DLL under test, temporary folders, file bytes.
#pragma once

#include "host/VorHost.h"

#include <string>
#include <vector>

namespace testsupport {

// The folder of the running test program (the build's bin folder, where Scanleaf.dll is).
std::wstring ProgramFolder();

// Scanleaf.dll loaded through LoadLibrary, with its four exports.
class ScanleafDll {
public:
    ScanleafDll();
    ~ScanleafDll();
    ScanleafDll(const ScanleafDll&) = delete;
    ScanleafDll& operator=(const ScanleafDll&) = delete;

    HMODULE Handle() const { return module_; }
    std::wstring Path() const;

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    // Creates an instance through the class object; releases the class object again.
    HRESULT Create(REFCLSID clsid, REFIID iid, void** out, IUnknown* outer = nullptr) const;

private:
    HMODULE module_ = nullptr;
};

// A fresh temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::vector<unsigned char> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes);
// Sets the last-write time (and, when asked, the creation time) to `ticks` (FILETIME units).
bool SetFileTimes(const std::wstring& path, unsigned long long ticks, bool creationToo = false);
// A moment long past (2019), for settings files that may be kept between opens.
inline constexpr unsigned long long kLongAgo = 132000000000000000ULL;

// Runs a command line without a window and waits for it to end, however long a loaded machine
// takes (the test's own time limit ends a program that hangs); its exit code, or -1 when it
// could not be started. A program still running would change what the test reads next.
long RunCommand(std::wstring commandLine);
// Runs a program to its end, with the standard handles of `startup` when it names them (inherited):
// its exit code, or DWORD(-1) when it could not be started. Under a heavy load Wine now and then
// fails to start a program at all, so a start is tried a few times.
DWORD RunToEnd(std::wstring commandLine, STARTUPINFOW& startup, DWORD creationFlags);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

} // namespace testsupport
