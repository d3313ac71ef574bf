#include "tools/card/cards/HeaderFile.h"
#include "hostenv/LongPath.h"
#include "tools/card/cards/PluginCodes.h"

#include "core/cals/CalsImage.h"
#include "cardcore/CardJournal.h"
#include "tools/card/batch/Console.h"
#include "hostenv/ComError.h"

#include <algorithm>

namespace card {

using scanleaf::FileHandle;
using scanleaf::LastErrorAsHresult;

namespace {

HRESULT ReadBytes(HANDLE file, std::string& header) {
    header.assign(journal::kHeaderBytes, '\0');
    DWORD read = 0;
    if (!ReadFile(file, header.data(), DWORD(header.size()), &read, nullptr)) return LastErrorAsHresult();
    if (read != header.size()) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    return S_OK;
}

HRESULT ReadState(HANDLE file, HeaderState& state) {
    LARGE_INTEGER size;
    FILETIME written;
    if (!GetFileSizeEx(file, &size) || !GetFileTime(file, nullptr, nullptr, &written)) return LastErrorAsHresult();
    state.size = static_cast<uint64_t>(size.QuadPart);
    state.modified = (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return ReadBytes(file, state.header);
}

HANDLE OpenShared(const std::wstring& path) {
    return CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

HRESULT ReadHeaderState(const std::wstring& path, HeaderState& state) {
    FileHandle file(OpenShared(path));
    if (!file.Valid()) return LastErrorAsHresult();
    return ReadState(file.Get(), state);
}

HRESULT ReplaceHeader(const std::wstring& path, const std::string& expected, const std::string& header) {
    HeaderState state;
    HRESULT hr = ReadHeaderState(path, state);
    if (FAILED(hr)) return hr;
    if (state.header != expected) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    scanleaf::FileHandle file(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return HRESULT_FROM_WIN32(GetLastError());
    return WriteAll(file.Get(), header) && FlushFileBuffers(file.Get()) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT CheckCalsFile(const std::wstring& path) {
    FileHandle file(OpenShared(path));
    std::string header(journal::kHeaderBytes, '\0');
    DWORD read = 0;
    if (!file.Valid() || !ReadFile(file.Get(), header.data(), DWORD(header.size()), &read, nullptr)) return S_OK;
    return IsForeignHeader(header.data(), read) ? kNotCalsFile : S_OK;
}

bool IsForeignHeader(const void* bytes, size_t size) {
    std::string header(static_cast<const char*>(bytes), std::min<size_t>(size, journal::kHeaderBytes));
    const bool whole = header.size() == journal::kHeaderBytes;
    header.resize(journal::kHeaderBytes, '\0');
    const auto kind = scanleaf::core::ClassifyHeader(reinterpret_cast<const unsigned char*>(header.data()));
    // A header cut short is a damaged CALS file unless its bytes show another format.
    return whole ? kind != scanleaf::core::HeaderKind::Cals : kind == scanleaf::core::HeaderKind::Binary;
}

HRESULT RestoreHeader(const std::wstring& path, uint64_t expectedSize, const std::string& expected,
                      const std::string& header, uint64_t modified, Restored& outcome) {
    FileHandle file(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return LastErrorAsHresult();
    HeaderState now;
    HRESULT hr = ReadState(file.Get(), now);
    if (FAILED(hr)) return hr;
    outcome = now.size == expectedSize && now.header == header ? Restored::Already : Restored::ChangedSince;
    if (now.size != expectedSize || now.header != expected) return S_OK;
    outcome = Restored::Now;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) || !WriteAll(file.Get(), header) ||
        !FlushFileBuffers(file.Get()))
        return LastErrorAsHresult();
    FILETIME time{DWORD(modified & 0xFFFFFFFF), DWORD(modified >> 32)};
    if (!SetFileTime(file.Get(), nullptr, nullptr, &time)) return LastErrorAsHresult();
    return S_OK;
}

} // namespace card
