// The file operations the commands share.
#pragma once

#include "cardcore/BatchPlan.h"
#include "hostenv/Unique.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace card {

bool IsFolder(const std::wstring& path);
// A file's name without its folder and its extension.
inline std::wstring BaseName(const std::wstring& path) { return scanleaf::core::BaseName(path); }
std::wstring AbsolutePath(const std::wstring& path);
std::wstring Lower(std::wstring text);
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator);

// A new file in the temporary folder, open for writing and reading back, that the system removes
// when it is closed (or the process ends); null when none can be made.
FILE* OpenScratchFile(const wchar_t* prefix);

// A whole small file's bytes; false when it cannot be read, with the reason in GetLastError.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

// Writes to PATH.partial and renames it over PATH when complete, so that a reader never
// meets half a file.
class AtomicFile {
public:
    explicit AtomicFile(const std::wstring& path);
    ~AtomicFile(); // an uncommitted file is removed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    bool IsOpen() const { return file_.Valid(); }
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
    bool Write(const char* bytes, size_t size);
    // Ends the writing and keeps PATH.partial for more work on it; Commit still renames it.
    bool Close();
    const std::wstring& PartialPath() const { return partial_; }
    bool Commit();

private:
    std::wstring path_;
    std::wstring partial_;
    scanleaf::StdFileHandle file_;
    bool ok_ = true;
    bool closed_ = false;
    bool committed_ = false;
};

// Where a table goes: standard output, or a file that appears whole or not at all.
class TableSink {
public:
    explicit TableSink(const std::wstring& path); // empty: standard output
    bool Ok() const { return !file_ || file_->IsOpen(); }
    bool Write(const std::string& bytes);
    // Flushes standard output, or puts the file in its place.
    bool Finish();

private:
    std::unique_ptr<AtomicFile> file_;
};

} // namespace card
