#include "tools/card/picture/Drawing.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/LongPath.h"
#include "hostenv/Unique.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/batch/Console.h"

#include <cstring>

namespace card {

namespace {

using scanleaf::core::G4Stop;

// A file's bytes through a read-only mapping, released on every path.
class MappedFile {
public:
    explicit MappedFile(const std::wstring& path)
        : file_(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!file_.Valid()) {
            error_ = GetLastError();
            return;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.Get(), &size)) {
            error_ = GetLastError();
            return;
        }
        size_ = std::uint64_t(size.QuadPart);
        if (size_ == 0 || size_ > SIZE_MAX) return;
        mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (mapping_) view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0));
        if (!view_) error_ = GetLastError();
    }

    DWORD Error() const { return error_; }
    const std::uint8_t* Data() const { return static_cast<const std::uint8_t*>(view_.Get()); }
    std::uint64_t Size() const { return view_ ? size_ : 0; }

private:
    // Closed in the reverse order: the view, the mapping, the file.
    scanleaf::FileHandle file_;
    scanleaf::KernelHandle mapping_;
    scanleaf::ViewHandle view_;
    std::uint64_t size_ = 0;
    DWORD error_ = 0;
};

std::wstring Ascii(const char* text) { return std::wstring(text, text + std::strlen(text)); }

} // namespace

bool DrawingCheck::Sound() const { return Problem().empty(); }

std::wstring DrawingCheck::Problem() const {
    if (!unreadable.empty()) return unreadable;
    if (!info.type1) return L"not a type 1 CALS file";
    if (!info.sizeKnown) return L"no usable rpelcnt";
    // What render, sheet and convert refuse to draw as the header says.
    if (const std::string header = scanleaf::core::DrawingHeaderProblem(info); !header.empty()) return Ascii(header.c_str());
    if (stop != G4Stop::EndOfBlock && stop != G4Stop::EndOfData && stop != G4Stop::None)
        return Ascii(scanleaf::core::G4StopText(stop)) + L" in line " + std::to_wstring(rows + 1);
    if (rows < info.height)
        return L"the data ends after line " + std::to_wstring(rows) + L" of " + std::to_wstring(info.height);
    if (moreRows) return L"more lines than rpelcnt names (" + std::to_wstring(info.height) + L")";
    return std::wstring();
}

ThumbnailSink::ThumbnailSink(std::uint32_t longest) : longest_(longest) {}
ThumbnailSink::~ThumbnailSink() = default;

void ThumbnailSink::Begin(const scanleaf::core::CalsImageInfo& info) {
    info_ = info;
    scanleaf::core::Thumbnailer::Fit(info.width, info.height, longest_, width_, height_);
    thumbnail_ = std::make_unique<scanleaf::core::Thumbnailer>(info.width, info.height, width_, height_);
}

void ThumbnailSink::Line(scanleaf::core::G4Changes changes, const std::uint8_t*) { thumbnail_->AddLine(changes); }

ThumbnailSink::Picture ThumbnailSink::Shown() {
    Picture picture;
    if (!thumbnail_) return picture;
    const scanleaf::core::Orientation shown = scanleaf::core::ShownAs(info_, width_, height_);
    picture.width = shown.ShownWidth();
    picture.height = shown.ShownHeight();
    picture.grey = shown.Apply(thumbnail_->Finish());
    picture.dpi = info_.density ? double(info_.density) * width_ / info_.width : 0;
    return picture;
}

DrawingCheck DecodeDrawing(const std::wstring& path, DrawingSink* sink) {
    MappedFile file(path);
    if (!file.Data()) {
        DrawingCheck check;
        check.unreadable = file.Error() ? DescribeHresult(HRESULT_FROM_WIN32(file.Error())) : L"an empty file";
        return check;
    }
    return DecodeDrawing(file.Data(), file.Size(), sink);
}

DrawingCheck DecodeDrawing(const std::uint8_t* data, std::uint64_t size, DrawingSink* sink) {
    DrawingCheck check;
    if (size == 0) {
        check.unreadable = L"an empty file";
        return check;
    }
    if (IsForeignHeader(data, std::size_t(size))) {
        check.foreign = true;
        check.unreadable = kNotCalsText;
        return check;
    }
    if (size < scanleaf::core::kHeaderSize) {
        check.unreadable = L"shorter than a CALS header";
        return check;
    }
    check.info = scanleaf::core::ReadImageInfo(data);
    if (!check.Decodable()) return check;
    if (sink) sink->Begin(check.info);
    const std::uint8_t* stream = data + scanleaf::core::kHeaderSize;
    check.streamBytes = size - scanleaf::core::kHeaderSize;
    scanleaf::core::Group4Decoder decoder(stream, std::size_t(check.streamBytes), check.info.width);
    std::vector<std::uint8_t> row(decoder.RowBytes());
    // Verify and thumbnails need the changing elements only.
    std::uint8_t* pels = sink && sink->WantsPels() ? row.data() : nullptr;
    while (check.rows < check.info.height && decoder.NextRow(pels)) {
        ++check.rows;
        if (sink) sink->Line(decoder.Changes(), pels);
    }
    // One more: the end-of-block code, or a line the header does not name.
    if (check.rows == check.info.height && decoder.Stop() == G4Stop::None) check.moreRows = decoder.NextRow(nullptr);
    check.stop = check.moreRows ? G4Stop::None : decoder.Stop();
    if (check.stop == G4Stop::EndOfBlock) check.trailing = check.streamBytes - decoder.BytesUsed();
    return check;
}

} // namespace card
