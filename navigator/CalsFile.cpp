#include "navigator/CalsFile.h"

#include "navigator/HeaderRecord.h"

#include <share.h>

#include <vector>

namespace scanleaf {

namespace {

// Closes the stream on every way out of the open, exceptions included.
class StreamHolder {
public:
    explicit StreamHolder(FILE* stream) noexcept : stream_(stream) {}
    ~StreamHolder() {
        if (stream_) fclose(stream_);
    }
    StreamHolder(const StreamHolder&) = delete;
    StreamHolder& operator=(const StreamHolder&) = delete;
    FILE* Get() const noexcept { return stream_; }

private:
    FILE* stream_;
};

} // namespace

const InterfaceEntry* CCalsFile::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFile, ICalsFile>(IID_ICalsFile),
        InterfaceEntry::Of<CCalsFile, IVorFileNavigator>(IID_IVorFileNavigator),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsFile::OpenFile(const std::wstring& path) {
    path_ = path;
    // Deny-write: others may read while the header is read, nobody may change it under us.
    StreamHolder stream(_wfsopen(path_.c_str(), L"rb", _SH_DENYWR));
    if (!stream.Get()) return VOR_E_CANNOT_OPEN_FILE;
    if (!ReadFillByte(stream.Get())) return VOR_E_CANNOT_READ_HEADER;
    // The fill byte goes in before any record, and the list is emptied before the header adds to it.
    if (!tagFinder_.Reset(fillByte_)) return E_FAIL;
    HRESULT hr = ReadHeader(stream.Get());
    return FAILED(hr) ? hr : S_OK;
}

bool CCalsFile::ReadFillByte(FILE* stream) {
    long position = ftell(stream);
    if (fseek(stream, kFillByteOffset, SEEK_SET) != 0) return false;
    unsigned char byte = 0;
    if (fread(&byte, 1, 1, stream) != 1) return false;
    fillByte_ = byte;
    fseek(stream, position, SEEK_SET);
    return true;
}

HRESULT CCalsFile::ReadHeader(FILE* stream) {
    modified_ = false;
    std::vector<unsigned char> header(kHeaderSize, 0);
    // One item of 2048 bytes: a shorter file delivers nothing.
    if (fread(header.data(), kHeaderSize, 1, stream) != 1) return VOR_E_CANNOT_READ_HEADER;
    for (std::size_t slot = 0; slot < kParsedSlots; ++slot) {
        std::wstring name;
        std::wstring value;
        if (!SplitRecord(DecodeSlot(&header[slot * kSlotSize]), name, value)) continue;
        if (!tagFinder_.AddTag(name, value)) return E_FAIL;
    }
    return S_OK;
}

} // namespace scanleaf
