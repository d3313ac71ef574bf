#include "tools/card/batch/Files.h"
#include "hostenv/LongPath.h"
#include "tools/card/batch/Console.h"

#include "hostenv/Bstr.h"
#include "hostenv/Unique.h"

#include <algorithm>
#include <cwctype>

namespace card {

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(scanleaf::FileSystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring AbsolutePath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t next = text.find(separator, start);
        parts.push_back(text.substr(start, next - start));
        if (next == std::wstring::npos) return parts;
        start = next + 1;
    }
}

FILE* OpenScratchFile(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, prefix, 0, name)) return nullptr;
    return _wfopen(name, L"w+bTD");
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    // Through the system's own calls, so that a failure leaves its reason in GetLastError.
    scanleaf::FileHandle file(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                          nullptr));
    if (!file.Valid()) return false;
    // Read in place, a byte more than the size the system gives, so that a file of that size
    // ends in one read and the empty one after it; a file that grows meanwhile is read on.
    LARGE_INTEGER size{};
    const bool sized = GetFileSizeEx(file.Get(), &size) && size.QuadPart >= 0 && size.QuadPart < (1LL << 30);
    bytes.assign(sized ? std::size_t(size.QuadPart) + 1 : std::size_t(65536), '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) bytes.resize(bytes.size() * 2);
        DWORD n = 0;
        const DWORD room = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!ReadFile(file.Get(), &bytes[done], room, &n, nullptr)) return false;
        if (n == 0) break;
        done += n;
    }
    bytes.resize(done);
    return true;
}

AtomicFile::AtomicFile(const std::wstring& path) : path_(path), partial_(path + L".partial") {
    file_.Reset(_wfopen(scanleaf::FileSystemPath(partial_).c_str(), L"wb"));
}

AtomicFile::~AtomicFile() {
    const bool made = file_ || closed_;
    file_.Reset();
    if (made && !committed_) DeleteFileW(scanleaf::FileSystemPath(partial_).c_str());
}

bool AtomicFile::Write(const char* bytes, size_t size) {
    ok_ = ok_ && file_ && fwrite(bytes, 1, size, file_.Get()) == size;
    return ok_;
}

bool AtomicFile::Close() {
    if (!file_) return ok_ = false;
    ok_ = file_.Close() && ok_;
    closed_ = true;
    return ok_;
}

bool AtomicFile::Commit() {
    if (!file_ && !closed_) return false;
    if (file_) Close();
    if (!ok_ || !MoveFileExW(scanleaf::FileSystemPath(partial_).c_str(), scanleaf::FileSystemPath(path_).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(scanleaf::FileSystemPath(partial_).c_str());
        closed_ = false;
        return false;
    }
    committed_ = true;
    return true;
}

TableSink::TableSink(const std::wstring& path) {
    if (!path.empty()) file_ = std::make_unique<AtomicFile>(path);
}

bool TableSink::Write(const std::string& bytes) {
    if (file_) return file_->Write(bytes);
    return WriteOut(bytes);
}

bool TableSink::Finish() { return file_ ? file_->Commit() : FlushOutput(); }

} // namespace card
