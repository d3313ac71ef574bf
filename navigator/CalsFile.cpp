#include "navigator/CalsFile.h"
#include "hostenv/LongPath.h"

#include "hostenv/Unique.h"
#include "navigator/HeaderRecord.h"

#include <vector>

namespace scanleaf {

namespace {

// Up to `size` bytes from the start of the file; the count read.
std::size_t ReadStart(HANDLE file, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!ReadFile(file, buffer + done, static_cast<DWORD>(size - done), &read, nullptr) || read == 0) break;
        done += read;
    }
    return done;
}

} // namespace

const InterfaceEntry* CCalsFile::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFile, ICalsFile>(IID_ICalsFile),
        InterfaceEntry::Of<CCalsFile, IVorFileNavigator>(IID_IVorFileNavigator),
        InterfaceEntry::Of<CCalsFile, ICalsVariableList>(IID_ICalsVariableList),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsFile::OpenFile(const std::wstring& path, SettingsSource& settings) {
    tagFinder_.UseSettings(settings);
    return OpenFile(path);
}

HRESULT CCalsFile::OpenFile(const std::wstring& path) {
    path_ = path;
    // Deny-write: others may read while the header is read, nobody may change it under us.
    // One read of the whole header: the fill byte and the records come from the same bytes.
    std::vector<unsigned char> header(core::kHeaderSize, 0);
    std::size_t length = 0;
    {
        FileHandle file(CreateFileW(FileSystemPath(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return VOR_E_CANNOT_OPEN_FILE;
        length = ReadStart(file.Get(), header.data(), header.size());
    }
    if (!ReadFillByte(header.data(), length)) return VOR_E_CANNOT_READ_HEADER;
    // The fill byte goes in before any record, and the list is emptied before the header adds to it.
    if (!tagFinder_.Reset(fillByte_)) return E_FAIL;
    HRESULT hr = ReadHeader(header.data(), length);
    return FAILED(hr) ? hr : S_OK;
}

bool CCalsFile::ReadFillByte(const unsigned char* header, std::size_t length) {
    if (length <= static_cast<std::size_t>(core::kFillByteOffset)) return false;
    fillByte_ = header[core::kFillByteOffset];
    return true;
}

HRESULT CCalsFile::ReadHeader(const unsigned char* header, std::size_t length) {
    modified_ = false;
    // The whole 2048 bytes or nothing: a shorter file delivers no record.
    if (length < core::kHeaderSize) return VOR_E_CANNOT_READ_HEADER;
    for (std::size_t slot = 0; slot < core::kParsedSlots; ++slot) {
        std::wstring name;
        std::wstring value;
        if (!core::SplitRecord(DecodeSlot(&header[slot * core::kSlotSize]), name, value)) continue;
        if (!tagFinder_.AddTag(name, value)) return E_FAIL;
    }
    return S_OK;
}

} // namespace scanleaf
