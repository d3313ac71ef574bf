// scanleaf-bench: the plug-in's cost per file against the bare file operations on the same
// files, at growing numbers of files.
//
//   (a) CreateNavigator + ReadVariable of every variable + Release
//       against open + 2048-byte read + close
//   (b) WriteVariable + SaveFile (on an opened navigator)
//       against open + 1408-byte write + close
//
// The files are generated into a temporary folder and removed at the end; the host's
// "SharedLocation" points at a temporary shared folder holding the sample settings file for
// the run and is put back afterwards.
//
// With --export, scanleaf-card's export of the same files (a child process, writing its table
// to a file) is timed against (a) over all the files right before and after it, with the
// child's peak memory.
//
// --json prints the same figures (with the detail) as one JSON document, for comparing runs.
//
//   scanleaf-bench [--max N] [--settings Scanleaf.ini] [--dll Scanleaf.dll] [--detail] [--export] [--json]
//   scanleaf-bench --card ARGUMENTS...   (one scanleaf-card run: seconds and peak memory)
//   scanleaf-bench --wic-thumbnail FILE  (a 256-pixel thumbnail through WIC against the core's path)
//   scanleaf-bench --decode FILE...      (the core's decoder: a bare decode against a thumbnail)
//   scanleaf-bench --preview FILE        (the preview pane's costs against decoding the stream once)
#include "host/VorHost.h"
#include "hostenv/Bstr.h"
#include "hostenv/HostNames.h"
#include "hostenv/Unique.h"
#include "tools/bench/PictureBench.h"
#include "tools/common/Plugin.h"
#include "tools/common/VariableArray.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using toolsupport::VariableArray;

using scanleaf::kHostApplicationKey;

// A scanner's header: eleven records, the rest fill; then a little image data.
const char* const kRecords[] = {
    "srcdocid: A3-000471-00 001 B",
    "dstdocid: 2024-03-05 J.Scanner",
    "txtfilid: NONE",
    "figid: NONE",
    "srcgph: NONE",
    "doccls: DRAWING",
    "rtype: 1",
    "rorient: 000,270",
    "rpelcnt: 009920,007016",
    "rdensty: 0400",
    "notes: scanned for the archive",
};
// Every variable those records give under the sample settings: records, sub-fields, derived.
const wchar_t* const kVariables[] = {
    L"srcdocid", L"drawingno", L"sheet",   L"revision", L"dstdocid", L"scandate", L"scannedby",
    L"txtfilid", L"figid",     L"srcgph",  L"doccls",   L"rtype",    L"rorient",  L"rpelcnt",
    L"width",    L"height",    L"colordepth", L"rdensty", L"notes",
};
constexpr size_t kImageBytes = 2048;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::vector<unsigned char> FileImage() {
    std::vector<unsigned char> bytes(2048, ' ');
    for (size_t i = 0; i < std::size(kRecords); ++i) std::copy_n(kRecords[i], std::strlen(kRecords[i]), &bytes[128 * i]);
    for (size_t i = 0; i < kImageBytes; ++i) bytes.push_back(static_cast<unsigned char>(i * 7 + 3));
    return bytes;
}

bool WriteWhole(const std::wstring& path, const std::vector<unsigned char>& bytes) {
    const scanleaf::FileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

// The host's "SharedLocation", set for the run and put back (or removed) at the end.
class SharedLocation {
public:
    explicit SharedLocation(const std::wstring& folder) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostApplicationKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key_.Put(),
                            nullptr) != ERROR_SUCCESS) {
            key_.Release();
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExW(key_.Get(), L"SharedLocation", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            old_.resize(size);
            had_ = RegQueryValueExW(key_.Get(), L"SharedLocation", nullptr, &type_, old_.data(), &size) == ERROR_SUCCESS;
        }
        RegSetValueExW(key_.Get(), L"SharedLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    ~SharedLocation() {
        if (!key_) return;
        if (had_) RegSetValueExW(key_.Get(), L"SharedLocation", 0, type_, old_.data(), static_cast<DWORD>(old_.size()));
        else RegDeleteValueW(key_.Get(), L"SharedLocation");
    }
    bool Ok() const { return key_.Valid(); }

private:
    scanleaf::KeyHandle key_;
    bool had_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> old_;
};

// A navigator on one file, or null.
scanleaf::ComPtr<IVorFileNavigator> OpenNavigator(IVorFileFormat* format, BSTR path) {
    scanleaf::ComPtr<IVorFileNavigator> navigator;
    if (FAILED(format->CreateNavigator(path, 0, navigator.Put()))) navigator.Reset();
    return navigator;
}

struct Figures {
    double bareRead = 0, pluginRead = 0, bareWrite = 0, pluginWrite = 0;
    double open = 0, read = 0, release = 0;
    double write = 0, save = 0, checkedWrite = 0;
};

// Every pass walks all files; a failure stops the run with a message.
class Bench {
public:
    // Files in folders of 1000, as a vault keeps them: a folder of 100,000 entries would time
    // the file system's lookups rather than the work per file.
    Bench(IVorFileFormat* format, const std::wstring& folder, size_t count) : format_(format) {
        for (size_t i = 0; i < count; ++i) {
            wchar_t name[48];
            swprintf(name, 48, L"\\g%03zu", i / kPerFolder);
            if (i % kPerFolder == 0) folders_.push_back(folder + name);
            swprintf(name, 48, L"\\d%06zu.cal", i);
            paths_.emplace_back((folders_.back() + name).c_str());
        }
        Select(0, count);
    }

    static constexpr size_t kPerFolder = 1000;

    bool Generate(const std::vector<unsigned char>& image) {
        for (const std::wstring& f : folders_) CreateDirectoryW(f.c_str(), nullptr);
        for (const scanleaf::Bstr& p : paths_)
            if (!WriteWhole(p.Get(), image)) return Fail(L"cannot write", p.Get());
        return true;
    }
    void Remove() {
        for (const scanleaf::Bstr& p : paths_) DeleteFileW(p.Get());
        for (const std::wstring& f : folders_) RemoveDirectoryW(f.c_str());
    }
    // The passes below work on files [from, to) and add their time to what they are given.
    void Select(size_t from, size_t to) {
        from_ = std::min(from, paths_.size());
        to_ = std::min(to, paths_.size());
    }

    bool BareRead(double& seconds) {
        unsigned char buffer[2048];
        const double start = Now();
        for (size_t i = from_; i < to_; ++i) {
            BSTR p = paths_[i].Get();
            scanleaf::FileHandle h(CreateFileW(p, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h) return Fail(L"cannot open", p);
            DWORD read = 0;
            BOOL ok = ReadFile(h.Get(), buffer, sizeof buffer, &read, nullptr);
            if (!ok || read != sizeof buffer) return Fail(L"cannot read", p);
        }
        seconds += Now() - start;
        return true;
    }

    bool PluginRead(double& seconds, Figures* detail) {
        VariableArray records;
        for (const wchar_t* v : kVariables) records.Add(v);
        const double start = Now();
        for (size_t i = from_; i < to_; ++i) {
            BSTR p = paths_[i].Get();
            const double t0 = detail ? Now() : 0;
            scanleaf::ComPtr<IVorFileNavigator> navigator = OpenNavigator(format_, p);
            if (!navigator) return Fail(L"CreateNavigator failed on", p);
            const double t1 = detail ? Now() : 0;
            HRESULT hr = navigator->ReadVariable(0, 0, 0, records.Count(), records.Data());
            const double t2 = detail ? Now() : 0;
            navigator.Reset();
            if (detail) {
                detail->open += t1 - t0;
                detail->read += t2 - t1;
                detail->release += Now() - t2;
            }
            if (FAILED(hr) || !records.AllFound()) return Fail(L"ReadVariable did not find every variable in", p);
            records.ClearValues();
        }
        seconds += Now() - start;
        return true;
    }

    bool BareWrite(const std::vector<unsigned char>& image, double& seconds) {
        const double start = Now();
        for (size_t i = from_; i < to_; ++i) {
            BSTR p = paths_[i].Get();
            scanleaf::FileHandle h(CreateFileW(p, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h) return Fail(L"cannot open for writing", p);
            DWORD written = 0;
            BOOL ok = WriteFile(h.Get(), image.data(), 1408, &written, nullptr);
            if (!ok || written != 1408) return Fail(L"cannot write", p);
        }
        seconds += Now() - start;
        return true;
    }

    // Only the write and the save are timed; the navigator is opened and released outside.
    bool PluginWrite(double& seconds, Figures* detail) {
        size_t n = 0;
        for (size_t i = from_; i < to_; ++i) {
            BSTR p = paths_[i].Get();
            VariableArray records;
            records.Add(L"notes", (n++ & 1) ? L"scanned for the archive" : L"checked and signed");
            records.Add(L"revision", (n & 2) ? L"C" : L"B");
            scanleaf::ComPtr<IVorFileNavigator> navigator = OpenNavigator(format_, p);
            if (!navigator) return Fail(L"CreateNavigator failed on", p);
            const double start = Now();
            HRESULT written = navigator->WriteVariable(0, 0, 0, records.Count(), records.Data(), 0);
            const double between = detail ? Now() : 0;
            HRESULT saved = navigator->SaveFile();
            const double end = Now();
            seconds += end - start;
            if (detail) {
                detail->write += between - start;
                detail->save += end - between;
            }
            navigator.Reset();
            if (written != S_OK || !records.AllFound() || saved != S_OK) return Fail(L"WriteVariable/SaveFile failed on", p);
        }
        return true;
    }

    // The system calls of a save that looks at the file before writing: open for reading and
    // writing, file information, a 2048-byte read, back to the start, the write, close.
    bool CheckedWrite(const std::vector<unsigned char>& image, double& seconds) {
        unsigned char current[2048];
        const double start = Now();
        for (size_t i = from_; i < to_; ++i) {
            BSTR p = paths_[i].Get();
            scanleaf::FileHandle h(CreateFileW(p, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h) return Fail(L"cannot open for writing", p);
            FILE_BASIC_INFO info;
            DWORD read = 0, written = 0;
            LARGE_INTEGER zero{};
            BOOL ok = GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &info, sizeof info) && ReadFile(h.Get(), current, sizeof current, &read, nullptr) &&
                      SetFilePointerEx(h.Get(), zero, nullptr, FILE_BEGIN) &&
                      WriteFile(h.Get(), image.data(), 1408, &written, nullptr);
            if (!ok || written != 1408) return Fail(L"cannot write", p);
        }
        seconds += Now() - start;
        return true;
    }

    size_t Count() const { return paths_.size(); }

private:
    bool Fail(const wchar_t* what, const wchar_t* path) {
        std::fwprintf(stderr, L"scanleaf-bench: %ls %ls\n", what, path);
        return false;
    }
    IVorFileFormat* format_;
    std::vector<std::wstring> folders_;
    std::vector<scanleaf::Bstr> paths_;
    size_t from_ = 0, to_ = 0;
};

// scanleaf-card export of a folder tree, run as a user runs it: seconds and peak memory.
struct ExportRun {
    double seconds = 0;
    double pluginRead = 0; // (a) over the same files, the mean of a pass just before and just after
    size_t peakBytes = 0;
};

// scanleaf-card with these arguments, as a user runs it: seconds and peak private memory; false
// when it cannot be started or fails.
bool RunCard(const std::wstring& arguments, double& seconds, size_t& peakBytes) {
    std::wstring command = L"\"" + ProgramFolder() + L"\\scanleaf-card.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = Now();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    const scanleaf::KernelHandle thread(process.hThread), held(process.hProcess);
    // Sampled while it runs: the counters of a process that has ended read as zero here.
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
            peakBytes = std::max<size_t>({peakBytes, memory.PeakPagefileUsage, memory.PagefileUsage});
    seconds = Now() - start;
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode == 0;
}

bool RunExport(const std::wstring& dll, const std::wstring& files, const std::wstring& table, ExportRun& run) {
    const bool ok = RunCard(L"--dll \"" + dll + L"\" export --recursive -o \"" + table + L"\" \"" + files + L"\"",
                            run.seconds, run.peakBytes);
    DeleteFileW(table.c_str());
    return ok;
}

bool RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    const scanleaf::FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find.Get(), &data));
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

// The sample settings file: given, or the source tree's samples/Scanleaf.ini.
std::wstring DefaultSettings() {
    std::wstring path = L"Z:" SCANLEAF_SOURCE_DIR L"/samples/Scanleaf.ini";
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

int Usage() {
    std::fwprintf(stderr, L"usage: scanleaf-bench [--max N] [--settings Scanleaf.ini] [--dll Scanleaf.dll] [--detail] "
                          L"[--export] [--json]\n"
                          L"       scanleaf-bench --card ARGUMENTS... | --wic-thumbnail FILE | --decode FILE... | --preview FILE\n");
    return 2;
}

double PerFile(double seconds, size_t n) { return seconds * 1e6 / static_cast<double>(n); }

void PrintText(size_t n, const Figures& f, const ExportRun* exported, bool detail) {
    std::wprintf(L"%8zu | %9.1f %9.1f %6.2f | %9.1f %9.1f %6.2f\n", n, PerFile(f.bareRead, n),
                 PerFile(f.pluginRead, n), f.pluginRead / f.bareRead, PerFile(f.bareWrite, n),
                 PerFile(f.pluginWrite, n), f.pluginWrite / f.bareWrite);
    if (detail)
        std::wprintf(L"%8ls   (a) CreateNavigator %.1f, ReadVariable %.1f, Release %.1f\n", L"", PerFile(f.open, n),
                     PerFile(f.read, n), PerFile(f.release, n));
    if (exported)
        std::wprintf(L"%8ls   export %.1f per file, %.2f x (a) plug-in read around it (%.1f); peak memory %.1f MB\n",
                     L"", PerFile(exported->seconds, n), exported->seconds / exported->pluginRead,
                     PerFile(exported->pluginRead, n), double(exported->peakBytes) / 1048576.0);
    if (detail)
        std::wprintf(L"%8ls   (b) WriteVariable %.1f, SaveFile %.1f; bare calls of a checked save %.1f\n", L"",
                     PerFile(f.write, n), PerFile(f.save, n), PerFile(f.checkedWrite, n));
}

// One element of the "sizes" array.
void PrintJson(size_t n, const Figures& f, const ExportRun* exported, bool first) {
    std::wprintf(L"%ls\n    {\"files\": %zu,\n"
                 L"     \"read\": {\"bare\": %.1f, \"plugin\": %.1f, \"ratio\": %.3f, \"createNavigator\": %.1f, "
                 L"\"readVariable\": %.1f, \"release\": %.1f},\n"
                 L"     \"save\": {\"bare\": %.1f, \"plugin\": %.1f, \"ratio\": %.3f, \"writeVariable\": %.1f, "
                 L"\"saveFile\": %.1f, \"checkedBare\": %.1f}",
                 first ? L"" : L",", n, PerFile(f.bareRead, n), PerFile(f.pluginRead, n), f.pluginRead / f.bareRead,
                 PerFile(f.open, n), PerFile(f.read, n), PerFile(f.release, n), PerFile(f.bareWrite, n),
                 PerFile(f.pluginWrite, n), f.pluginWrite / f.bareWrite, PerFile(f.write, n), PerFile(f.save, n),
                 PerFile(f.checkedWrite, n));
    if (exported)
        std::wprintf(L",\n     \"export\": {\"perFile\": %.1f, \"pluginReadAround\": %.1f, \"ratio\": %.3f, "
                     L"\"peakBytes\": %zu}",
                     PerFile(exported->seconds, n), PerFile(exported->pluginRead, n),
                     exported->seconds / exported->pluginRead, exported->peakBytes);
    std::wprintf(L"}");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    size_t max = 100000;
    bool detail = false;
    bool exportToo = false;
    bool json = false;
    std::wstring settings = DefaultSettings();
    std::wstring dll = ProgramFolder() + L"\\Scanleaf.dll";
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--max" && i + 1 < argc) max = static_cast<size_t>(wcstoul(argv[++i], nullptr, 10));
        else if (a == L"--settings" && i + 1 < argc) settings = argv[++i];
        else if (a == L"--dll" && i + 1 < argc) dll = argv[++i];
        else if (a == L"--detail") detail = true;
        else if (a == L"--export") exportToo = true;
        else if (a == L"--json") json = detail = true;
        else if (a == L"--wic-thumbnail" && i + 1 < argc) {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            return WicThumbnailBench(ProgramFolder() + L"\\ScanleafCodec.dll", argv[i + 1]);
        } else if (a == L"--preview" && i + 1 < argc) {
            return PreviewBench(ProgramFolder() + L"\\ScanleafCodec.dll", argv[i + 1]);
        } else if (a == L"--decode" && i + 1 < argc) {
            return DecodeBench(std::vector<std::wstring>(argv + i + 1, argv + argc));
        } else if (a == L"--card") {
            // The rest is a scanleaf-card command line: its time and peak memory, nothing else.
            std::wstring arguments;
            for (++i; i < argc; ++i) arguments += (arguments.empty() ? L"\"" : L" \"") + std::wstring(argv[i]) + L"\"";
            double seconds = 0;
            size_t peak = 0;
            const bool ok = RunCard(arguments, seconds, peak);
            std::wprintf(L"scanleaf-card %ls: %.2f s, peak memory %.2f MB%ls\n", arguments.c_str(), seconds,
                         peak / 1048576.0, ok ? L"" : L" (failed)");
            return ok ? 0 : 1;
        } else return Usage();
    }
    if (max < 1) return Usage();

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int result = 1;
    {
        wchar_t tempPath[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tempPath);
        const std::wstring root = std::wstring(tempPath) + L"scanleaf-bench-" + std::to_wstring(GetCurrentProcessId());
        const std::wstring shared = root + L"\\shared\\";
        const std::wstring files = root + L"\\files";
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(shared.c_str(), nullptr);
        CreateDirectoryW((shared + L"FileFormats").c_str(), nullptr);
        CreateDirectoryW(files.c_str(), nullptr);
        const std::wstring settingsCopy = shared + scanleaf::kSettingsFileName;
        if (!CopyFileW(settings.c_str(), settingsCopy.c_str(), FALSE)) {
            std::fwprintf(stderr, L"scanleaf-bench: cannot copy the settings file %ls\n", settings.c_str());
        } else {
            // As deployed: written by an administrator some time ago, not a moment before.
            scanleaf::FileHandle h(CreateFileW(settingsCopy.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
            t.QuadPart -= 36000000000ULL; // an hour
            FILETIME old{t.LowPart, t.HighPart};
            if (h) SetFileTime(h.Get(), nullptr, nullptr, &old);

            SharedLocation location(shared);
            toolsupport::Plugin plugin;
            if (!location.Ok()) {
                std::fwprintf(stderr, L"scanleaf-bench: cannot set the host's SharedLocation\n");
            } else if (FAILED(plugin.Load(dll))) {
                std::fwprintf(stderr, L"scanleaf-bench: cannot load %ls\n", dll.c_str());
            } else {
                const std::vector<unsigned char> image = FileImage();
                if (json) {
                    std::wprintf(L"{\"unit\": \"microseconds per file\", \"sizes\": [");
                } else {
                    std::wprintf(L"scanleaf-bench: per file, in microseconds (ratio = plug-in / bare)\n");
                    std::wprintf(L"%8ls | %9ls %9ls %6ls | %9ls %9ls %6ls\n", L"files", L"(a) bare", L"plug-in",
                                 L"ratio", L"(b) bare", L"plug-in", L"ratio");
                }
                result = 0;
                for (size_t n : {size_t(1000), size_t(10000), size_t(100000)}) {
                    if (n > max) break;
                    Bench bench(plugin.Format(), files, n);
                    Figures f, warmUp;
                    bool ok = bench.Generate(image);
                    // Untimed first calls (the module's and the system's own first-use costs),
                    // then both sides of each comparison on the same files in turn, folder by
                    // folder, so that both see the same machine load.
                    bench.Select(0, 100);
                    ok = ok && bench.BareRead(warmUp.bareRead) && bench.PluginRead(warmUp.pluginRead, nullptr);
                    for (size_t from = 0; ok && from < n; from += Bench::kPerFolder) {
                        bench.Select(from, from + Bench::kPerFolder);
                        ok = bench.BareRead(f.bareRead) && bench.PluginRead(f.pluginRead, detail ? &f : nullptr) &&
                             bench.BareWrite(image, f.bareWrite) &&
                             bench.PluginWrite(f.pluginWrite, detail ? &f : nullptr) &&
                             (!detail || bench.CheckedWrite(image, f.checkedWrite));
                    }
                    // The export is compared with (a) timed again over all the files right before
                    // and right after it: the passes above interleave writes, whose flushing
                    // slows the reads among them, and the machine's load drifts.
                    ExportRun exported;
                    bench.Select(0, n);
                    if (ok && exportToo &&
                        !(bench.PluginRead(exported.pluginRead, nullptr) &&
                          RunExport(dll, files, root + L"\\table.csv", exported) &&
                          bench.PluginRead(exported.pluginRead, nullptr))) {
                        std::fwprintf(stderr, L"scanleaf-bench: scanleaf-card export failed\n");
                        ok = false;
                    }
                    exported.pluginRead /= 2;
                    bench.Remove();
                    if (!ok) {
                        result = 1;
                        break;
                    }
                    if (json)
                        PrintJson(n, f, exportToo ? &exported : nullptr, n == 1000);
                    else
                        PrintText(n, f, exportToo ? &exported : nullptr, detail);
                    std::fflush(stdout);
                }
            }
        }
        if (json && result == 0) std::wprintf(L"\n]}\n");
        RemoveFolder(root);
    }
    CoUninitialize();
    return result;
}
