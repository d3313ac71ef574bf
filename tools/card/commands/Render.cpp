// render: drawings as PNG pictures, upright as their orientation says; thumbnails are scaled
// while the stream is decoded, so an A0 scan needs no more memory than a line and the thumbnail.
#include "hostenv/LongPath.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/Drawing.h"
#include "tools/card/picture/FullSizeSink.h"
#include "tools/card/picture/Png.h"
#include "tools/common/Plugin.h"
#include "tools/card/cards/PluginCodes.h"

#include <memory>
#include <set>

namespace card {

namespace {


struct Rendered {
    InputsKept::Verdict verdict = InputsKept::Verdict::Missing; // UpToDate: left alone
    std::wstring changedOption;
    DrawingCheck check;
    HRESULT hr = S_OK;
    std::wstring refused; // a header that cannot be drawn as it says
};

// The picture under a temporary name, renamed when complete: a picture that exists is whole.
// What it was made from is kept beside it for --skip-existing.
Rendered RenderOne(const std::wstring& file, const std::wstring& out, const RenderOptions& options) {
    Rendered r;
    scanleaf::core::InputRecord record;
    record.Option(kSize.entry.name, std::to_wstring(options.size));
    std::uint64_t size = 0, hash = 0;
    const bool identified = IdentifyFile(file, size, hash);
    if (identified) record.Source(file, size, hash);
    if (options.skipExisting && identified) {
        r.verdict = InputsKept::Judge(out, record, &r.changedOption);
        if (r.verdict == InputsKept::Verdict::UpToDate) return r;
    }
    const std::wstring partial = out + L".partial";
    if (options.size == 0) {
        FullSizeSink sink(partial);
        r.check = DecodeDrawing(AbsolutePath(file), &sink);
        r.hr = r.check.Decodable() ? sink.Finish() : E_FAIL;
    } else {
        ThumbnailSink sink(options.size);
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

int Render(const RenderOptions& options, const Setup& setup) {
    OutputTarget output;
    std::wstring error;
    if (!ReadOutputTarget(options.output, {L".png"}, L"render", output, error)) return UsageError(error);
    Batch batch(L"render", options, setup.Extensions());
    const std::vector<Source>& files = batch.Sources();
    size_t& written = batch.Count(L"pictures");
    size_t& upToDate = batch.Count(L"up to date", false, options.skipExisting ? Tally::Always : Tally::Never);
    size_t& failed = batch.Count(L"failed", true);
    failed = batch.Missing();
    if (files.empty()) return batch.NoneFound();
    int refused = 0;
    if (!batch.PrepareOutputs(output, L"picture", L"drawings", failed, refused)) return refused;
    // A picture that was there before the run is refused unless --overwrite or --skip-existing.
    const OutputPlan plan = batch.PlanOutputs(output, L".png", options.overwrite || options.skipExisting);
    const std::vector<std::wstring>& occupied = plan.blocked;
    std::vector<std::wstring> outs;
    for (const auto& names : plan.names) outs.push_back(names[0]);
    batch.Each<Rendered>(
        [&](unsigned, size_t i) { return occupied[i].empty() ? RenderOne(files[i].path, outs[i], options) : Rendered(); },
        [&](size_t i, Rendered& r) {
            const std::wstring& file = files[i].path;
            if (!occupied[i].empty()) {
                Err(file + L": " + occupied[i] + L"\n");
                ++failed;
            } else if (r.verdict == InputsKept::Verdict::UpToDate) {
                Out(file + L" -> " + outs[i] + L" (up to date)\n");
                ++upToDate;
            } else if (!r.refused.empty()) {
                Err(file + L": " + r.refused + L"; nothing written\n");
                ++failed;
            } else if (!r.check.Decodable() || FAILED(r.hr)) {
                Err(file + L": " +
                    (r.check.Decodable() ? L"cannot write " + outs[i] + L": " + DescribeHresult(r.hr) : r.check.Problem()) +
                    L"\n");
                ++failed;
            } else {
                if (!r.check.Sound()) Err(file + L": damaged (" + r.check.Problem() + L"); the lines after it are white\n");
                Out(file + L" -> " + outs[i] +
                    (options.skipExisting ? InputsKept::Note(r.verdict, r.changedOption) : std::wstring()) + L"\n");
                ++written;
            }
        });
    return batch.End();
}

} // namespace card
