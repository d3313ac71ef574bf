// Writing the header back.
#include "navigator/CalsFile.h"
#include "hostenv/LongPath.h"

#include "hostenv/ComError.h"
#include "hostenv/Unique.h"
#include "navigator/HeaderCheck.h"
#include "navigator/HeaderRecord.h"
#include "navigator/SaveIo.h"

#include <new>

namespace scanleaf {

namespace {

constexpr DWORD kParsedBytes = core::kParsedSlots * core::kSlotSize; // 1408

// The save's file, closed through the save's own calls (which the fault tests replace).
struct SaveFileKind {
    using Type = HANDLE;
    const SaveIo* io = nullptr;
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    bool Close(HANDLE h) const noexcept { return io->closeHandle(h) != FALSE; }
};
using SaveFileHandle = Unique<SaveFileKind>;

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
        SaveFileHandle file(io.createFile(FileSystemPath(path_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                            SaveFileKind{&io});
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
