// Finding the CALS files that the commands are given, and the file operations they share.
#pragma once

#include "host/VorHost.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace card {

bool IsFolder(const std::wstring& path);
// A file's name without its folder and its extension.
std::wstring BaseName(const std::wstring& path);
std::wstring AbsolutePath(const std::wstring& path);
std::wstring Lower(std::wstring text);
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator);

// Files as given; folders replaced by their files with an extension that the plug-in names
// (sorted by name, subfolders after the files when recursive). Visiting holds one folder's
// names at a time, however many files there are.
void VisitCalsFiles(IVorFileFormat* format, const std::vector<std::wstring>& paths, bool recursive,
                    const std::function<void(const std::wstring&)>& visit);
// The extensions that the plug-in names (lower case, without the dot).
std::vector<std::wstring> CalsExtensions(IVorFileFormat* format);
// The same for the files of other extensions (lower case, without the dot).
void VisitFiles(const std::vector<std::wstring>& paths, const std::vector<std::wstring>& extensions, bool recursive,
                const std::function<void(const std::wstring&)>& visit);
std::vector<std::wstring> CollectCalsFiles(IVorFileFormat* format, const std::vector<std::wstring>& paths,
                                           bool recursive);
// The same as absolute paths in path order (case-blind), for the commands whose output follows it.
std::vector<std::wstring> CollectCalsFilesInPathOrder(IVorFileFormat* format, const std::vector<std::wstring>& paths,
                                                      bool recursive);

// Output names handed out in the inputs' order: BASE + EXTENSION, or "BASE (2)" + EXTENSION and on
// where an earlier input took it (case-blind), so that every job count names alike.
class OutputNames {
public:
    std::wstring Take(const std::wstring& base, const std::wstring& extension);

private:
    std::set<std::wstring> taken_;
};

// A new file in the temporary folder, open for writing and reading back, that the system removes
// when it is closed (or the process ends); null when none can be made.
FILE* OpenScratchFile(const wchar_t* prefix);

// Whether `output` exists and was last written after `source` (--skip-existing: outputs are
// renamed into place only when complete, so one that exists is whole).
bool IsUpToDate(const std::wstring& output, const std::wstring& source);

// A whole small file's bytes; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

// Writes to PATH.partial and renames it over PATH when complete, so that a reader never
// meets half a file.
class AtomicFile {
public:
    explicit AtomicFile(const std::wstring& path);
    ~AtomicFile(); // an uncommitted file is removed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
    bool Write(const char* bytes, size_t size);
    // Ends the writing and keeps PATH.partial for more work on it; Commit still renames it.
    bool Close();
    const std::wstring& PartialPath() const { return partial_; }
    bool Commit();

private:
    std::wstring path_;
    std::wstring partial_;
    FILE* file_ = nullptr;
    bool ok_ = true;
    bool closed_ = false;
    bool committed_ = false;
};

} // namespace card
