// Writing the header back.
#include "navigator/CalsFile.h"

#include "hostenv/ComError.h"
#include "navigator/HeaderCheck.h"
#include "navigator/HeaderRecord.h"

#include <new>

namespace scanleaf {

namespace {

constexpr DWORD kParsedBytes = kParsedSlots * kSlotSize; // 1408

class FileHandle {
public:
    explicit FileHandle(HANDLE h) noexcept : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (Valid()) CloseHandle(h_);
    }
    bool Valid() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return h_; }
    // Closes now, so that a failing close can be reported.
    bool Close() noexcept {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != FALSE;
    }

private:
    HANDLE h_;
};

HRESULT LastErrorOr(HRESULT fallback) {
    DWORD e = GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : fallback;
}

bool ReadWhole(HANDLE file, unsigned char* buffer, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

} // namespace

HRESULT CCalsFile::SaveFile() {
    if (!modified_) return S_OK;
    try {
        unsigned char header[kHeaderSize];
        tagFinder_.BuildHeader(header);

        // Write access for this handle, read sharing only: the file must exist and is
        // neither created nor truncated. Read access too, to look at what is there now.
        FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return E_FAIL;

        // A header is never laid over a file that is no longer the one read at the open
        // (replaced, truncated, its records changed into others).
        unsigned char current[kHeaderSize];
        if (!ReadWhole(file.Get(), current, kHeaderSize) || !SameRecordNames(current, tagFinder_)) return E_FAIL;

        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return LastErrorOr(E_FAIL);
        DWORD written = 0;
        if (!WriteFile(file.Get(), header, kParsedBytes, &written, nullptr)) return LastErrorOr(E_FAIL);
        if (written != kParsedBytes) return E_FAIL;
        if (!file.Close()) return LastErrorOr(E_FAIL);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const ComError& e) {
        return FAILED(e.Error()) ? e.Error() : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
    modified_ = false;
    return S_OK;
}

} // namespace scanleaf
