// Writing the header back.
#include "navigator/CalsFile.h"
#include "hostenv/LongPath.h"

#include "hostenv/ComError.h"
#include "navigator/HeaderCheck.h"
#include "navigator/HeaderRecord.h"
#include "navigator/SaveIo.h"

#include <new>

namespace scanleaf {

namespace {

constexpr DWORD kParsedBytes = core::kParsedSlots * core::kSlotSize; // 1408

class FileHandle {
public:
    FileHandle(const SaveIo& io, HANDLE h) noexcept : io_(io), h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (Valid()) io_.closeHandle(h_);
    }
    bool Valid() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return h_; }
    // Closes now, so that a failing close can be reported.
    bool Close() noexcept {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return io_.closeHandle(h) != FALSE;
    }

private:
    const SaveIo& io_;
    HANDLE h_;
};

HRESULT LastErrorOr(HRESULT fallback) {
    DWORD e = GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : fallback;
}

bool ReadWhole(const SaveIo& io, HANDLE file, unsigned char* buffer, DWORD size) {
    DWORD read = 0;
    return io.readFile(file, buffer, size, &read, nullptr) && read == size;
}

// Read-only files are refused even where the system would let this process write them
// (an administrator under a POSIX file system).
// The basic information only: the full record also asks the volume, which costs a save as
// much again as its write.
bool ReadOnly(const SaveIo& io, HANDLE file) {
    FILE_BASIC_INFO info{};
    return !io.getFileInformation(file, FileBasicInfo, &info, sizeof info) ||
           (info.FileAttributes & FILE_ATTRIBUTE_READONLY);
}

} // namespace

HRESULT CCalsFile::SaveFile() {
    if (!modified_) return S_OK;
    const HRESULT hr = ComBoundary([&]() -> HRESULT {
        unsigned char header[core::kHeaderSize];
        tagFinder_.BuildHeader(header);

        // Write access for this handle, read sharing only: the file must exist and is
        // neither created nor truncated. Read access too, to look at what is there now.
        const SaveIo& io = SaveFileIo();
        FileHandle file(io, io.createFile(FileSystemPath(path_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid() || ReadOnly(io, file.Get())) return E_FAIL;

        // A header is never laid over a file that is no longer the one read at the open
        // (replaced, truncated, its records changed into others). After an earlier save the
        // file holds the rebuilt records, whose names went through the code page once more.
        unsigned char current[core::kHeaderSize];
        if (!ReadWhole(io, file.Get(), current, core::kHeaderSize)) return E_FAIL;
        if (!SameRecordNames(current, tagFinder_) && RecordNames(current) != RecordNames(header)) return E_FAIL;

        LARGE_INTEGER start{};
        if (!io.setFilePointer(file.Get(), start, nullptr, FILE_BEGIN)) return LastErrorOr(E_FAIL);
        DWORD written = 0;
        if (!io.writeFile(file.Get(), header, kParsedBytes, &written, nullptr)) return LastErrorOr(E_FAIL);
        if (written != kParsedBytes) return E_FAIL;
        if (!file.Close()) return LastErrorOr(E_FAIL);
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    modified_ = false;
    return S_OK;
}

} // namespace scanleaf
