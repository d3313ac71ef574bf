// render: drawings as PNG pictures, upright as their orientation says; thumbnails are scaled
// while the stream is decoded, so an A0 scan needs no more memory than a line and the thumbnail.
#include "tools/card/Commands.h"
#include "hostenv/LongPath.h"
#include "tools/card/Drawing.h"
#include "tools/card/Files.h"
#include "tools/card/Jobs.h"
#include "tools/card/Output.h"
#include "tools/card/Png.h"
#include "tools/common/Plugin.h"

#include <memory>
#include <set>

namespace card {

namespace {

using scanleaf::core::CalsImageInfo;
using scanleaf::core::Orientation;

struct RenderRequest {
    bool recursive = false;
    bool skipExisting = false;
    unsigned jobs = 1;
    std::uint32_t size = 256; // the longest side; 0: full size
    std::wstring output;
    std::vector<std::wstring> paths;
};

bool ParseRequest(const std::vector<std::wstring>& args, RenderRequest& request) {
    Arguments a;
    if (!ReadArguments(L"render", args, a)) return false;
    if (a.Has(L"--size")) {
        const std::wstring n = a.Value(L"--size");
        if (n.empty() || n.size() > 6 || n.find_first_not_of(L"0123456789") != std::wstring::npos) {
            UsageError(L"--size takes a number of pixels (0: full size), not \"" + n + L"\"");
            return false;
        }
        request.size = std::uint32_t(std::stoul(n));
    }
    request.recursive = a.Has(L"--recursive");
    request.skipExisting = a.Has(L"--skip-existing");
    request.output = a.Value(L"-o");
    if (!ReadJobs(a, request.jobs)) return false;
    request.paths = a.operands;
    return true;
}

// Full size, one bit a pel: upright drawings go to the file line by line; others are held
// packed (an eighth of a byte a pel) and turned at the end.
class FullSizeSink : public DrawingSink {
public:
    explicit FullSizeSink(const std::wstring& path) : path_(path) {}
    void Begin(const CalsImageInfo& info) override {
        info_ = info;
        rowBytes_ = (info.width + 7) / 8;
        upright_ = !info.orientationKnown || (info.pelPath == 0 && info.lineProgression == 270);
        if (upright_)
            hr_ = png_.Begin(path_, info.width, info.height, PngWriter::Pixels::BlackWhite, info.density);
        else
            held_.assign(std::size_t(rowBytes_) * info.height, 0);
        line_.assign(rowBytes_, 0xFF);
    }
    void Line(scanleaf::core::G4Changes, const std::uint8_t* packed) override {
        if (!upright_) {
            std::copy(packed, packed + rowBytes_, held_.begin() + std::ptrdiff_t(std::size_t(rows_) * rowBytes_));
        } else if (SUCCEEDED(hr_)) {
            for (std::uint32_t b = 0; b < rowBytes_; ++b) line_[b] = std::uint8_t(~packed[b]); // 1 = white
            hr_ = png_.Write(line_.data(), 1, rowBytes_);
        }
        ++rows_;
    }
    HRESULT Finish() {
        if (upright_) {
            std::fill(line_.begin(), line_.end(), 0xFF);
            for (; rows_ < info_.height && SUCCEEDED(hr_); ++rows_) hr_ = png_.Write(line_.data(), 1, rowBytes_);
            return SUCCEEDED(hr_) ? png_.Finish() : hr_;
        }
        const Orientation shown = ShownAs(info_, info_.width, info_.height);
        const std::uint32_t shownBytes = (shown.ShownWidth() + 7) / 8;
        std::vector<std::uint8_t> turned(std::size_t(shownBytes) * shown.ShownHeight(), 0xFF);
        for (std::uint32_t y = 0; y < info_.height; ++y)
            for (std::uint32_t x = 0; x < info_.width; ++x)
                if (held_[std::size_t(y) * rowBytes_ + (x >> 3)] & (0x80 >> (x & 7))) {
                    std::uint32_t sx = 0, sy = 0;
                    shown.Place(x, y, sx, sy);
                    turned[std::size_t(sy) * shownBytes + (sx >> 3)] &= std::uint8_t(~(0x80 >> (sx & 7)));
                }
        HRESULT hr = png_.Begin(path_, shown.ShownWidth(), shown.ShownHeight(), PngWriter::Pixels::BlackWhite, info_.density);
        if (SUCCEEDED(hr)) hr = png_.Write(turned.data(), shown.ShownHeight(), shownBytes);
        return SUCCEEDED(hr) ? png_.Finish() : hr;
    }

private:
    std::wstring path_;
    CalsImageInfo info_;
    std::uint32_t rowBytes_ = 0, rows_ = 0;
    bool upright_ = true;
    PngWriter png_;
    HRESULT hr_ = S_OK;
    std::vector<std::uint8_t> line_, held_;
};

struct Rendered {
    bool upToDate = false; // --skip-existing found the picture complete and newer than the drawing
    DrawingCheck check;
    HRESULT hr = S_OK;
};

// The picture under a temporary name, renamed when complete: a picture that exists is whole.
Rendered RenderOne(const std::wstring& file, const std::wstring& out, const RenderRequest& request) {
    Rendered r;
    if (request.skipExisting && IsUpToDate(out, file)) {
        r.upToDate = true;
        return r;
    }
    const std::wstring partial = out + L".partial";
    if (request.size == 0) {
        FullSizeSink sink(partial);
        r.check = DecodeDrawing(AbsolutePath(file), &sink);
        r.hr = r.check.Decodable() ? sink.Finish() : E_FAIL;
    } else {
        ThumbnailSink sink(request.size);
        r.check = DecodeDrawing(AbsolutePath(file), &sink);
        if (r.check.Decodable()) {
            const ThumbnailSink::Picture picture = sink.Shown();
            r.hr = WriteGreyPng(partial, picture.width, picture.height, picture.grey, picture.dpi);
        } else {
            r.hr = E_FAIL;
        }
    }
    if (SUCCEEDED(r.hr) && !MoveFileExW(scanleaf::FileSystemPath(partial).c_str(), scanleaf::FileSystemPath(out).c_str(), MOVEFILE_REPLACE_EXISTING))
        r.hr = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(r.hr)) DeleteFileW(scanleaf::FileSystemPath(partial).c_str());
    return r;
}

bool EndsWithPng(const std::wstring& path) { return path.size() > 4 && Lower(path.substr(path.size() - 4)) == L".png"; }

} // namespace

int Render(const std::vector<std::wstring>& args, const Options& options) {
    RenderRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    toolsupport::Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    const std::vector<std::wstring> files = CollectCalsFiles(plugin.Format(), request.paths, request.recursive);
    if (files.empty()) {
        Err(L"scanleaf-card: no CALS files found\n");
        return 1;
    }
    const bool oneFile = files.size() == 1 && EndsWithPng(request.output);
    std::wstring folder = oneFile ? std::wstring() : (request.output.empty() ? L"." : request.output);
    if (!folder.empty() && !IsFolder(folder) && !CreateDirectoryW(scanleaf::FileSystemPath(folder).c_str(), nullptr)) {
        Err(L"scanleaf-card: cannot make the folder " + folder + L"\n");
        return 1;
    }
    // The names first, in the files' order, so that every job count names alike.
    OutputNames names;
    std::vector<std::wstring> outs;
    for (const std::wstring& file : files)
        outs.push_back(oneFile ? request.output : names.Take(folder + L"\\" + BaseName(file), L".png"));
    size_t written = 0, failed = 0, upToDate = 0;
    OrderedPool<size_t, Rendered> pool(
        request.jobs, [&](unsigned, const size_t& i) { return RenderOne(files[i], outs[i], request); },
        [&](const size_t& i, Rendered& r) {
            if (r.upToDate) {
                Out(files[i] + L" -> " + outs[i] + L" (up to date)\n");
                ++upToDate;
                return;
            }
            if (!r.check.Decodable() || FAILED(r.hr)) {
                Err(files[i] + L": " +
                    (r.check.Decodable() ? L"cannot write " + outs[i] + L": " + DescribeHresult(r.hr) : r.check.Problem()) +
                    L"\n");
                ++failed;
                return;
            }
            if (!r.check.Sound()) Err(files[i] + L": damaged (" + r.check.Problem() + L"); the lines after it are white\n");
            Out(files[i] + L" -> " + outs[i] + L"\n");
            ++written;
        });
    for (size_t i = 0; i < files.size(); ++i) pool.Add(i);
    pool.Finish();
    Err(L"render: pictures " + std::to_wstring(written) + (request.skipExisting ? L", up to date " + std::to_wstring(upToDate) : L"") +
        L", failed " + std::to_wstring(failed) + L"\n");
    return failed ? 1 : 0;
}

} // namespace card
