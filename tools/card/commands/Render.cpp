// render: drawings as PNG pictures, upright as their orientation says; thumbnails are scaled
// while the stream is decoded, so an A0 scan needs no more memory than a line and the thumbnail.
#include "hostenv/LongPath.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Output.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/Drawing.h"
#include "tools/card/picture/Png.h"
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
    bool overwrite = false;
    unsigned jobs = 1;
    std::uint32_t size = 256; // the longest side; 0: full size
    OutputTarget output;
    scanleaf::core::Shard shard;
    std::vector<std::wstring> paths;
};

bool ParseRequest(const Arguments& a, RenderRequest& request) {
    request.size = std::uint32_t(a.Number(L"--size", long(request.size)));
    request.recursive = a.Has(L"--recursive");
    request.skipExisting = a.Has(L"--skip-existing");
    request.overwrite = a.Has(L"--overwrite");
    std::wstring error;
    if (!ReadOutputTarget(a.Value(L"-o"), {L".png"}, L"render", request.output, error)) return UsageError(error), false;
    request.jobs = JobsOf(a);
    request.shard = ShardOf(a);
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
    InputsKept::Verdict verdict = InputsKept::Verdict::Missing; // UpToDate: left alone
    std::wstring changedOption;
    DrawingCheck check;
    HRESULT hr = S_OK;
    std::wstring refused; // a header that cannot be drawn as it says
};

// The picture under a temporary name, renamed when complete: a picture that exists is whole.
// What it was made from is kept beside it for --skip-existing.
Rendered RenderOne(const std::wstring& file, const std::wstring& out, const RenderRequest& request) {
    Rendered r;
    scanleaf::core::InputRecord record;
    record.Option(L"--size", std::to_wstring(request.size));
    std::uint64_t size = 0, hash = 0;
    const bool identified = IdentifyFile(file, size, hash);
    if (identified) record.Source(file, size, hash);
    if (request.skipExisting && identified) {
        r.verdict = InputsKept::Judge(out, record, &r.changedOption);
        if (r.verdict == InputsKept::Verdict::UpToDate) return r;
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
    if (SUCCEEDED(r.hr) && r.check.Decodable()) {
        r.refused = FromUtf8(scanleaf::core::DrawingHeaderProblem(r.check.info));
        if (!r.refused.empty()) r.hr = E_FAIL;
    }
    if (SUCCEEDED(r.hr) && !MoveFileExW(scanleaf::FileSystemPath(partial).c_str(), scanleaf::FileSystemPath(out).c_str(), MOVEFILE_REPLACE_EXISTING))
        r.hr = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(r.hr)) DeleteFileW(scanleaf::FileSystemPath(partial).c_str());
    if (SUCCEEDED(r.hr) && identified) InputsKept::Keep(out, record);
    return r;
}

} // namespace

int Render(const Arguments& args, const Setup& setup) {
    RenderRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    const Walked walked = WalkAndReport({request.paths, CalsExtensions(setup.Format()), request.recursive, request.shard});
    const std::vector<Source>& files = walked.sources;
    Tally tally(L"render");
    size_t& written = tally.Count(L"pictures");
    size_t& upToDate = tally.Count(L"up to date", false, request.skipExisting ? Tally::Always : Tally::Never);
    size_t& failed = tally.Count(L"failed", true);
    failed = walked.missing.size();
    auto summary = [&] { return tally.Report(files.empty()); };
    if (files.empty()) {
        if (walked.missing.empty()) Err(L"scanleaf-card: no CALS files found\n");
        return summary();
    }
    if (request.output.Single() && files.size() > 1) {
        Err(L"scanleaf-card: -o " + request.output.file + L" names one picture, for " + std::to_wstring(files.size()) +
            L" drawings; name a folder\n");
        failed += files.size();
        return summary();
    }
    {
        const std::wstring problem = MakeTargetFolders(request.output);
        if (!problem.empty()) {
            Err(L"scanleaf-card: " + problem + L"\n");
            failed += files.size();
            return summary();
        }
    }
    // Every name before any work, from the sources alone, so that every job count names alike.
    std::vector<scanleaf::core::PlannedSource> planned;
    for (const std::wstring& path : walked.everyone) planned.push_back({path, 1});
    // A picture that was there before the run is refused unless --overwrite or --skip-existing.
    const OutputPlan plan =
        PlanOutputs(planned, walked.mine, request.output, L".png", request.overwrite || request.skipExisting, true);
    const std::vector<std::wstring>& occupied = plan.blocked;
    std::vector<std::wstring> outs;
    for (const auto& names : plan.names) outs.push_back(names[0]);
    auto report = [&](const size_t& i, Rendered& r) {
            const std::wstring& file = files[i].path;
            if (!occupied[i].empty()) {
                Err(file + L": " + occupied[i] + L"\n");
                ++failed;
                return;
            }
            if (r.verdict == InputsKept::Verdict::UpToDate) {
                Out(file + L" -> " + outs[i] + L" (up to date)\n");
                ++upToDate;
                return;
            }
            if (!r.refused.empty()) {
                Err(file + L": " + r.refused + L"; nothing written\n");
                ++failed;
                return;
            }
            if (!r.check.Decodable() || FAILED(r.hr)) {
                Err(file + L": " +
                    (r.check.Decodable() ? L"cannot write " + outs[i] + L": " + DescribeHresult(r.hr) : r.check.Problem()) +
                    L"\n");
                ++failed;
                return;
            }
            if (!r.check.Sound()) Err(file + L": damaged (" + r.check.Problem() + L"); the lines after it are white\n");
            Out(file + L" -> " + outs[i] + (request.skipExisting ? InputsKept::Note(r.verdict, r.changedOption) : std::wstring()) + L"\n");
            ++written;
        };
    Progress progress(files.size());
    size_t done = 0;
    OrderedPool<size_t, Rendered> pool(
        request.jobs,
        [&](unsigned, const size_t& i) {
            return occupied[i].empty() ? RenderOne(files[i].path, outs[i], request) : Rendered();
        },
        [&](const size_t& i, Rendered& r) {
            report(i, r);
            progress.Step(++done, files[i].path);
        });
    for (size_t i = 0; i < files.size(); ++i) pool.Add(i);
    pool.Finish();
    progress.Clear();
    return summary();
}

} // namespace card
