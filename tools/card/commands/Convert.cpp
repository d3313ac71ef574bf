// convert: drawings handed on as PDF or TIFF with their Group 4 streams unchanged, each decoded
// in full first (unless --no-check) so that nothing damaged leaves, the card carried along; and
// (ConvertCals) pictures made CALS files.
#include "core/CalsImage.h"
#include "core/PdfWriter.h"
#include "core/TiffWriter.h"
#include "hostenv/LongPath.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Output.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/card/Card.h"
#include "tools/card/card/HeaderFile.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/commands/ConvertCals.h"
#include "tools/card/picture/Drawing.h"
#include "tools/common/Plugin.h"

#include <algorithm>
#include <memory>
#include <set>

namespace card {

namespace {

using scanleaf::core::CalsImageInfo;

// Pels per inch where a header gives no rdensty: the standard's default.
constexpr std::uint32_t kDefaultDensity = 200;

struct ConvertRequest {
    bool recursive = false;
    bool skipExisting = false;
    unsigned jobs = 1;
    bool pdf = true;
    scanleaf::core::Pdfa pdfa = scanleaf::core::Pdfa::None;
    bool overwrite = false;
    bool check = true;
    OutputTarget output;
    std::wstring title; // the variable that titles a drawing; empty: its file name
    scanleaf::core::Shard shard;
    std::vector<std::wstring> paths;

    // What changes a document, for --skip-existing.
    scanleaf::core::InputRecord Record() const {
        scanleaf::core::InputRecord record;
        record.Option(L"--to", pdf ? L"pdf" : L"tiff");
        record.Option(L"--title", title);
        if (pdfa != scanleaf::core::Pdfa::None) record.Option(L"--pdfa", pdfa == scanleaf::core::Pdfa::Part1b ? L"1b" : L"2b");
        return record;
    }
};

bool ParseRequest(const Arguments& a, ConvertRequest& request) {
    for (const wchar_t* other : {L"--set", L"--table", L"--threshold", L"--dpi", L"--encoding", L"--delimiter"})
        if (a.Has(other)) return UsageError(std::wstring(other) + L" is for --to cals"), false;
    request.pdf = a.Value(L"--to") == L"pdf";
    if (a.Has(L"--pdfa")) {
        if (!request.pdf) return UsageError(L"--pdfa is for --to pdf"), false;
        request.pdfa = a.Value(L"--pdfa") == L"1b" ? scanleaf::core::Pdfa::Part1b : scanleaf::core::Pdfa::Part2b;
    }
    request.recursive = a.Has(L"--recursive");
    request.skipExisting = a.Has(L"--skip-existing");
    request.overwrite = a.Has(L"--overwrite");
    request.check = !a.Has(L"--no-check");
    request.jobs = JobsOf(a);
    request.shard = ShardOf(a);
    std::wstring error;
    if (!ReadOutputTarget(a.Value(L"-o"), request.pdf ? std::vector<std::wstring>{L".pdf"}
                                                      : std::vector<std::wstring>{L".tif", L".tiff"},
                          request.pdf ? L"--to pdf" : L"--to tiff", request.output, error))
        return UsageError(error), false;
    request.title = a.Value(L"--title");
    request.paths = a.operands;
    return true;
}

// One drawing ready to be written: what its header says, its bytes, its card and its title.
struct Drawing {
    CalsImageInfo info;
    std::string bytes; // the whole file: the header, then the stream
    scanleaf::core::CardValues card;
    std::wstring title;

    const std::uint8_t* Stream() const { return reinterpret_cast<const std::uint8_t*>(bytes.data()) + scanleaf::core::kHeaderSize; }
    size_t StreamSize() const { return bytes.size() - scanleaf::core::kHeaderSize; }
    scanleaf::core::PagePicture Picture() const {
        scanleaf::core::PagePicture picture;
        picture.width = info.width;
        picture.height = info.height;
        picture.dpi = info.density ? info.density : kDefaultDensity;
        if (info.orientationKnown) {
            picture.pelPath = info.pelPath;
            picture.lineProgression = info.lineProgression;
        }
        return picture;
    }
};

// Why the drawing (its bytes read already) cannot be handed on; empty when it can.
std::wstring Load(const std::wstring& path, const ConvertRequest& request, CardReader& reader, Drawing& drawing) {
    if (request.check) {
        const DrawingCheck check =
            DecodeDrawing(reinterpret_cast<const std::uint8_t*>(drawing.bytes.data()), drawing.bytes.size());
        if (!check.Sound()) return check.Problem();
    }
    if (IsForeignHeader(drawing.bytes.data(), drawing.bytes.size())) return kNotCalsText;
    if (drawing.bytes.size() < scanleaf::core::kHeaderSize) return L"shorter than a CALS header";
    drawing.info = scanleaf::core::ReadImageInfo(reinterpret_cast<const unsigned char*>(drawing.bytes.data()));
    if (!drawing.info.type1) return L"not a type 1 CALS file: its picture is no Group 4 stream";
    if (!drawing.info.sizeKnown) return L"no usable rpelcnt";
    const std::string header = scanleaf::core::DrawingHeaderProblem(drawing.info);
    if (!header.empty()) return FromUtf8(header);
    const std::string page = scanleaf::core::PdfPageProblem(drawing.Picture(), request.pdfa);
    if (!page.empty()) return FromUtf8(page);
    // Not even --no-check hands on a page without a picture.
    if (drawing.StreamSize() == 0) return L"no image data after its header";
    std::vector<CardEntry> entries;
    const HRESULT hr = reader.ReadChecked(path, entries); // its bytes were found CALS above
    if (FAILED(hr)) return L"its card cannot be read: " + DescribeHresult(hr);
    drawing.card.clear();
    drawing.title = BaseName(path);
    bool titled = request.title.empty();
    for (const CardEntry& e : entries) {
        drawing.card.push_back({e.name, e.value});
        if (!titled && Lower(e.name) == Lower(request.title)) {
            titled = true;
            if (!e.value.empty() && e.value != L"NONE") drawing.title = e.value;
        }
    }
    if (!titled) return L"no variable " + request.title + L" to title it (--title)";
    return std::wstring();
}

// One document being written: a PDF, or a TIFF whose pages wait one behind so that the last
// one can end the chain of directories.
class Document {
public:
    Document(const std::wstring& path, bool pdf, scanleaf::core::Pdfa pdfa)
        : file_(path), pdf_(pdf), pdfWriter_(Sink(), pdfa), tiffWriter_(Sink()) {
        if (pdf_) ok_ = file_.IsOpen() && pdfWriter_.Begin();
        ok_ = ok_ && file_.IsOpen();
        if (!file_.IsOpen()) error_ = GetLastError();
    }
    bool Ok() const { return ok_; }
    // The system's error where a write failed, or 0.
    DWORD Error() const { return error_; }
    void Add(Drawing drawing, bool bookmark) {
        if (pdf_) {
            const scanleaf::core::PdfPage page{drawing.Picture(), bookmark ? drawing.title : std::wstring(), drawing.title,
                                               drawing.card};
            ok_ = ok_ && pdfWriter_.AddPage(page, drawing.Stream(), drawing.StreamSize());
            return;
        }
        FlushTiff(false);
        pending_ = std::make_unique<Drawing>(std::move(drawing));
    }
    // The information dictionary's title and the XMP card of a PDF.
    bool Finish(const std::wstring& title, const scanleaf::core::CardValues& card) {
        if (pdf_)
            ok_ = ok_ && pdfWriter_.Finish(title, card);
        else
            FlushTiff(true);
        if (!ok_ && !error_) error_ = GetLastError();
        if (ok_ && !file_.Commit()) {
            error_ = GetLastError();
            ok_ = false;
        }
        return ok_;
    }

private:
    scanleaf::core::ByteSink Sink() {
        return [this](const char* bytes, std::size_t size) { return file_.Write(bytes, size); };
    }
    void FlushTiff(bool last) {
        if (!pending_) return;
        const Drawing& d = *pending_;
        const scanleaf::core::TiffPage page{d.Picture(), scanleaf::core::XmpPacket(d.title, d.card)};
        ok_ = ok_ && tiffWriter_.AddPage(page, d.Stream(), d.StreamSize(), last);
        pending_.reset();
    }

    AtomicFile file_;
    bool pdf_;
    bool ok_ = true;
    scanleaf::core::PdfWriter pdfWriter_;
    scanleaf::core::TiffWriter tiffWriter_;
    std::unique_ptr<Drawing> pending_;
    DWORD error_ = 0;
};

// A drawing's bytes and its identity for the record.
bool ReadSource(const std::wstring& path, Drawing& drawing, scanleaf::core::InputRecord& record, std::wstring& problem) {
    if (!ReadWholeFile(path, drawing.bytes)) {
        problem = L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    record.Source(path, drawing.bytes.size(), HashBytes(drawing.bytes.data(), drawing.bytes.size()));
    return true;
}

} // namespace

int Convert(const Arguments& a, const Setup& setup) {
    if (!a.Has(L"--to")) return UsageError(L"convert needs --to pdf, --to tiff or --to cals");
    if (a.Value(L"--to") == L"cals") return ConvertToCals(a, setup);
    ConvertRequest request;
    if (!ParseRequest(a, request)) return kUsageError;
    const Walked walked = WalkAndReport({request.paths, CalsExtensions(setup.Format()), request.recursive, request.shard});
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);
    Tally tally(L"convert");
    tally.Count(L"files") = files.size();
    size_t& written = tally.Count(L"written");
    size_t& upToDate = tally.Count(L"up to date", false, request.skipExisting ? Tally::Always : Tally::Never);
    size_t& leftOut = tally.Count(L"left out", true);
    size_t& failed = tally.Count(L"failed", true);
    failed = walked.missing.size();
    auto summary = [&] { return tally.Report(files.empty()); };
    auto refuseAll = [&](const std::wstring& reason) { return tally.RefuseAll(reason, failed, files.size()); };
    if (files.empty()) {
        if (walked.missing.empty()) Err(L"scanleaf-card: no CALS files found\n");
        return summary();
    }
    const bool combined = request.output.Single();
    const std::wstring extension = request.pdf ? L".pdf" : L".tif";
    const bool replaceExisting = request.overwrite || request.skipExisting;
    std::vector<std::wstring> outs(files.size()), occupied(files.size());
    if (const std::wstring problem = MakeTargetFolders(request.output); !problem.empty()) return refuseAll(problem);
    if (combined) {
        const std::wstring problem = InTheWay(request.output.file, replaceExisting, true);
        if (!problem.empty()) return refuseAll(problem);
    } else {
        // Every name before any work, from the sources alone, so that every job count names alike;
        // an output that was there before the run is refused unless --overwrite or --skip-existing.
        std::vector<scanleaf::core::PlannedSource> planned;
        for (const std::wstring& path : walked.everyone) planned.push_back({path, 1});
        const OutputPlan plan = PlanOutputs(planned, walked.mine, request.output, extension, replaceExisting, true);
        for (size_t i = 0; i < files.size(); ++i) outs[i] = plan.names[i][0];
        occupied = plan.blocked;
    }
    std::unique_ptr<Document> together;
    // One document of them all is left alone when it was made from the same drawings, in the same
    // order, with the same options.
    scanleaf::core::InputRecord togetherRecord = request.Record();
    if (combined && request.skipExisting) {
        for (const std::wstring& f : files) {
            std::uint64_t size = 0, hash = 0;
            if (IdentifyFile(f, size, hash)) togetherRecord.Source(f, size, hash);
        }
        std::wstring option;
        const InputsKept::Verdict verdict = InputsKept::Judge(request.output.file, togetherRecord, &option);
        if (verdict == InputsKept::Verdict::UpToDate) {
            Out(request.output.file + L": up to date\n");
            upToDate = files.size();
            return summary();
        }
        if (verdict != InputsKept::Verdict::Missing) Out(request.output.file + L":" + InputsKept::Note(verdict, option) + L"\n");
        togetherRecord = request.Record();
    }
    if (combined) {
        together = std::make_unique<Document>(request.output.file, request.pdf, request.pdfa);
        if (!together->Ok()) return refuseAll(CannotWrite(request.output.file, together->Error()));
    }
    scanleaf::core::CardValues onlyCard;
    std::wstring onlyTitle;
    Progress progress(files.size());
    // Drawings are read, decoded and their cards read on the jobs' threads, which also write a
    // document a drawing; one document of them all is written here, in path order.
    struct Loaded {
        InputsKept::Verdict verdict = InputsKept::Verdict::Missing; // UpToDate: left alone
        std::wstring changedOption;
        std::wstring problem; // left out
        std::wstring failure; // its document not written
        Drawing drawing;      // for the one document
        scanleaf::core::InputRecord record;
    };
    const auto readers = CardReaders(setup.Format(), request.jobs);
    auto writeOne = [&](const std::wstring& out, Drawing& drawing, const scanleaf::core::InputRecord& record) {
        Document one(out, request.pdf, request.pdfa);
        const std::wstring title = drawing.title;
        const scanleaf::core::CardValues card = drawing.card;
        one.Add(std::move(drawing), true);
        if (!one.Finish(title, card)) return CannotWrite(out, one.Error());
        InputsKept::Keep(out, record);
        return std::wstring();
    };
    size_t done = 0;
    OrderedPool<size_t, Loaded> pool(
        request.jobs,
        [&](unsigned worker, const size_t& i) {
            Loaded loaded;
            if (!occupied[i].empty()) return loaded;
            loaded.record = request.Record();
            if (!ReadSource(files[i], loaded.drawing, loaded.record, loaded.problem)) return loaded;
            if (request.skipExisting && !together) {
                loaded.verdict = InputsKept::Judge(outs[i], loaded.record, &loaded.changedOption);
                if (loaded.verdict == InputsKept::Verdict::UpToDate) return loaded;
            }
            loaded.problem = Load(files[i], request, *readers[worker], loaded.drawing);
            if (loaded.problem.empty() && !together) loaded.failure = writeOne(outs[i], loaded.drawing, loaded.record);
            return loaded;
        },
        [&](const size_t& i, Loaded& loaded) {
            progress.Step(done++, files[i]);
            if (!occupied[i].empty()) {
                progress.Clear();
                Err(files[i] + L": " + occupied[i] + L"\n");
                ++failed;
            } else if (loaded.verdict == InputsKept::Verdict::UpToDate) {
                Out(files[i] + L" -> " + outs[i] + L" (up to date)\n");
                ++upToDate;
            } else if (!loaded.problem.empty()) {
                progress.Clear();
                Err(files[i] + L": " + loaded.problem + L"; left out\n");
                ++leftOut;
            } else if (!loaded.failure.empty()) {
                progress.Clear();
                Err(files[i] + L": " + loaded.failure + L"\n");
                ++failed;
            } else if (together) {
                onlyCard = loaded.drawing.card;
                onlyTitle = loaded.drawing.title;
                const std::string& bytes = loaded.drawing.bytes;
                togetherRecord.Source(files[i], bytes.size(), HashBytes(bytes.data(), bytes.size()));
                together->Add(std::move(loaded.drawing), true);
                ++written;
            } else {
                Out(files[i] + L" -> " + outs[i] + (request.skipExisting ? InputsKept::Note(loaded.verdict, loaded.changedOption) : L"") + L"\n");
                ++written;
            }
        });
    for (size_t i = 0; i < files.size(); ++i) pool.Add(i);
    pool.Finish();
    progress.Clear();
    if (together) {
        // A document of one drawing carries its card; one of several is titled by its name.
        const bool one = written == 1;
        if (written == 0) {
            // Every drawing is counted already, as left out or failed.
            Err(L"scanleaf-card: no drawing to write; " + request.output.file + L" not written\n");
        } else if (!together->Finish(one ? onlyTitle : BaseName(request.output.file),
                                     one ? onlyCard : scanleaf::core::CardValues())) {
            Err(L"scanleaf-card: " + CannotWrite(request.output.file, together->Error()) + L"\n");
            ++failed;
            written = 0;
        } else {
            // Left out drawings are not in it, so only a whole document is judged up to date later.
            if (leftOut == 0) InputsKept::Keep(request.output.file, togetherRecord);
            Out(request.output.file + L": " + std::to_wstring(written) + L" page(s)\n");
        }
    }
    return summary();
}

} // namespace card
