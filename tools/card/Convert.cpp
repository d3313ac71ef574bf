// convert: drawings handed on as PDF or TIFF with their Group 4 streams unchanged, each decoded
// in full first (unless --no-check) so that nothing damaged leaves, the card carried along; and
// (ConvertCals) pictures made CALS files.
#include "core/CalsImage.h"
#include "hostenv/LongPath.h"
#include "core/PdfWriter.h"
#include "core/TiffWriter.h"
#include "tools/card/Card.h"
#include "tools/card/Commands.h"
#include "tools/card/ConvertCals.h"
#include "tools/card/Drawing.h"
#include "tools/card/Files.h"
#include "tools/card/Jobs.h"
#include "tools/card/HeaderFile.h"
#include "tools/card/Output.h"
#include "tools/card/Progress.h"
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
    bool overwrite = false;
    bool check = true;
    std::wstring output;
    std::wstring title; // the variable that titles a drawing; empty: its file name
    std::vector<std::wstring> paths;
};

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() > end.size() && Lower(text.substr(text.size() - end.size())) == end;
}

bool ParseRequest(const Arguments& a, ConvertRequest& request) {
    for (const wchar_t* other : {L"--set", L"--table", L"--threshold", L"--dpi"})
        if (a.Has(other)) return UsageError(std::wstring(other) + L" is for --to cals"), false;
    request.pdf = a.Value(L"--to") == L"pdf";
    request.recursive = a.Has(L"--recursive");
    request.skipExisting = a.Has(L"--skip-existing");
    request.overwrite = a.Has(L"--overwrite");
    request.check = !a.Has(L"--no-check");
    if (!ReadJobs(a, request.jobs)) return false;
    request.output = a.Value(L"-o");
    request.title = a.Value(L"--title");
    request.paths = a.operands;
    return true;
}

// A name ending as the format's documents do.
bool IsDocumentName(const std::wstring& name, bool pdf) {
    return pdf ? EndsWith(name, L".pdf") : EndsWith(name, L".tif") || EndsWith(name, L".tiff");
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

// Why the drawing cannot be handed on; empty when it can.
std::wstring Load(const std::wstring& path, const ConvertRequest& request, CardReader& reader, Drawing& drawing) {
    if (!ReadWholeFile(path, drawing.bytes)) return L"cannot be read";
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
    Document(const std::wstring& path, bool pdf)
        : file_(path), pdf_(pdf), pdfWriter_(Sink()), tiffWriter_(Sink()) {
        if (pdf_) ok_ = file_.IsOpen() && pdfWriter_.Begin();
        ok_ = ok_ && file_.IsOpen();
    }
    bool Ok() const { return ok_; }
    void Add(Drawing drawing, bool bookmark) {
        if (pdf_) {
            const scanleaf::core::PdfPage page{drawing.Picture(), bookmark ? drawing.title : std::wstring()};
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
        return ok_ && file_.Commit();
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
};

bool Exists(const std::wstring& path) { return GetFileAttributesW(scanleaf::FileSystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

int Convert(const std::vector<std::wstring>& args, const Options& options) {
    Arguments a;
    std::wstring to;
    if (!ReadArguments(L"convert", args, a)) return kUsageError;
    if (!a.Has(L"--to")) return UsageError(L"convert needs --to pdf, --to tiff or --to cals");
    if (!ReadChoice(a, L"--to", {L"pdf", L"tiff", L"cals"}, L"pdf", to)) return kUsageError;
    if (to == L"cals") return ConvertToCals(a, options);
    ConvertRequest request;
    if (!ParseRequest(a, request)) return kUsageError;
    toolsupport::Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    const std::vector<std::wstring> files = CollectCalsFilesInPathOrder(plugin.Format(), request.paths, request.recursive);
    if (files.empty()) {
        Err(L"scanleaf-card: no CALS files found\n");
        return 1;
    }
    const bool combined = !request.output.empty() && IsDocumentName(request.output, request.pdf);
    const std::wstring folder = combined ? std::wstring() : (request.output.empty() ? L"." : request.output);
    if (!combined && !IsFolder(folder) && !CreateDirectoryW(scanleaf::FileSystemPath(folder).c_str(), nullptr)) {
        Err(L"scanleaf-card: cannot make the folder " + folder + L"\n");
        return 1;
    }
    // One document of them all is up to date when it is newer than every drawing; an older one
    // is made again.
    if (combined && request.skipExisting &&
        std::all_of(files.begin(), files.end(), [&](const std::wstring& f) { return IsUpToDate(request.output, f); })) {
        Out(request.output + L": up to date\n");
        return 0;
    }
    if (combined && Exists(request.output) && !request.overwrite && !request.skipExisting) {
        Err(request.output + L": exists; --overwrite replaces it\n");
        return 1;
    }
    const std::wstring extension = request.pdf ? L".pdf" : L".tif";
    std::unique_ptr<Document> together;
    if (combined) {
        together = std::make_unique<Document>(request.output, request.pdf);
        if (!together->Ok()) {
            Err(L"scanleaf-card: cannot write " + request.output + L"\n");
            return 1;
        }
    }
    // The names first, in path order, so that every job count names alike.
    OutputNames names;
    std::vector<std::wstring> outs(files.size());
    for (size_t i = 0; i < files.size() && !together; ++i) outs[i] = names.Take(folder + L"\\" + BaseName(files[i]), extension);
    size_t written = 0, leftOut = 0, failed = 0, upToDate = 0;
    scanleaf::core::CardValues onlyCard;
    std::wstring onlyTitle;
    Progress progress(files.size());
    // Drawings are read, decoded and their cards read on the jobs' threads, which also write a
    // document a drawing; one document of them all is written here, in path order.
    struct Loaded {
        bool upToDate = false;
        std::wstring problem; // left out
        std::wstring failure; // its document not written
        Drawing drawing;      // for the one document
    };
    const auto readers = CardReaders(plugin.Format(), request.jobs);
    auto writeOne = [&](const std::wstring& out, Drawing& drawing) {
        if (Exists(out) && !request.overwrite && !request.skipExisting) return out + L" exists; --overwrite replaces it";
        Document one(out, request.pdf);
        const std::wstring title = drawing.title;
        const scanleaf::core::CardValues card = drawing.card;
        one.Add(std::move(drawing), true);
        return one.Finish(title, card) ? std::wstring() : L"cannot write " + out;
    };
    size_t done = 0;
    OrderedPool<size_t, Loaded> pool(
        request.jobs,
        [&](unsigned worker, const size_t& i) {
            Loaded loaded;
            loaded.upToDate = request.skipExisting && !together && IsUpToDate(outs[i], files[i]);
            if (!loaded.upToDate) loaded.problem = Load(files[i], request, *readers[worker], loaded.drawing);
            if (!loaded.upToDate && loaded.problem.empty() && !together) loaded.failure = writeOne(outs[i], loaded.drawing);
            return loaded;
        },
        [&](const size_t& i, Loaded& loaded) {
            progress.Step(done++, files[i]);
            if (loaded.upToDate) {
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
                together->Add(std::move(loaded.drawing), true);
                ++written;
            } else {
                Out(files[i] + L" -> " + outs[i] + L"\n");
                ++written;
            }
        });
    for (size_t i = 0; i < files.size(); ++i) pool.Add(i);
    pool.Finish();
    progress.Clear();
    if (together) {
        // A document of one drawing carries its card; one of several is titled by its name.
        const bool one = written == 1;
        if (written == 0 || !together->Finish(one ? onlyTitle : BaseName(request.output), one ? onlyCard : scanleaf::core::CardValues())) {
            Err(written == 0 ? L"scanleaf-card: no drawing to write; " + request.output + L" not written\n"
                             : L"scanleaf-card: cannot write " + request.output + L"\n");
            ++failed;
            written = 0;
        } else {
            Out(request.output + L": " + std::to_wstring(written) + L" page(s)\n");
        }
    }
    Err(L"convert: files " + std::to_wstring(files.size()) + L", written " + std::to_wstring(written) +
        (request.skipExisting ? L", up to date " + std::to_wstring(upToDate) : L"") + L", left out " + std::to_wstring(leftOut) + L", failed " + std::to_wstring(failed) + L"\n");
    return leftOut || failed ? 1 : 0;
}

} // namespace card
