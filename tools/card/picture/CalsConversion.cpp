// The CALS writer of convert --to cals: a bilevel TIFF page of one Group 4 strip keeps its
// stream byte for byte; a fax page is decoded and coded again by the core; every other picture
// the imaging component decodes is encoded by the core, a band at a time. Each file is written
// under a temporary name, its card filled through the plug-in's own write and save, and renamed
// only when every page of its source is complete.
#include "tools/card/picture/CalsConversion.h"
#include "tools/card/picture/Documents.h"
#include "tools/card/cards/PluginCodes.h"

#include "core/cals/CalsImage.h"
#include "core/pdf/PdfPictures.h"
#include "core/cals/CarriedHeader.h"
#include "hostenv/SystemText.h"
#include "cardcore/CardTable.h"
#include "core/tiff/FaxPage.h"
#include "core/fax/Group4.h"
#include "core/fax/Group4Encoder.h"
#include "core/tiff/TiffReader.h"
#include "core/tiff/TiffWriter.h"
#include "core/cals/Xmp.h"
#include "hostenv/Unique.h"
#include "hostenv/LongPath.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/cards/Card.h"
#include "tools/card/cards/TableFile.h"
#include "tools/card/picture/PictureSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>

namespace card {

namespace core = scanleaf::core;

namespace {

// Rows decoded and encoded at a time: memory stays a band, whatever the page's height.
constexpr std::uint32_t kBandBytes = 1 << 20;
// The largest stream kept for other pages that draw the same image; a larger one is decoded again.
constexpr std::size_t kLargestShared = std::size_t(64) << 20;

bool Report(const std::wstring& path, const std::vector<table::Problem>& problems) {
    for (const table::Problem& p : problems) Err(path + L": " + p.where + L": " + p.message + L"\n");
    return false;
}

} // namespace

bool PictureCardRows::Load(const std::wstring& path, const TableReading& how, const Walked& walked) {
    table::Table table;
    std::vector<table::Problem> problems;
    if (!ReadTableFile(path, how, table, problems)) return Report(path, problems);
    size_t source = table.header.size();
    const std::wstring mark = table::kReadOnlyMark;
    for (size_t c = 0; c < table.header.size(); ++c)
        if (Lower(table.header[c]) == Lower(table::kSourceColumn)) source = c;
    if (source == table.header.size())
        return Report(path, {{L"header", L"no SourceFile column: it names each row's picture"}});
    std::set<std::wstring> pictures;
    for (const std::wstring& s : walked.everyone) pictures.insert(Lower(s)); // every shard's
    for (const table::Row& row : table.rows) {
        const std::wstring& given = row.cells[source];
        if (given.empty()) {
            problems.push_back({row.where, L"SourceFile is empty"});
            continue;
        }
        const std::wstring picture = RowSource(given);
        if (!pictures.count(Lower(picture))) {
            problems.push_back({row.where, picture + L" is no picture of this run"});
            continue;
        }
        const auto added = rows_.emplace(Lower(picture), std::vector<NewValue>());
        if (!added.second) {
            problems.push_back({row.where, picture + L" has an earlier row"});
            continue;
        }
        for (size_t c = 0; c < table.header.size(); ++c) {
            const std::wstring& name = table.header[c];
            const bool readOnly = name.size() > mark.size() && name.compare(name.size() - mark.size(), mark.size(), mark) == 0;
            if (c == source || readOnly || Lower(name) == Lower(table::kCardStateColumn) || row.cells[c].empty()) continue;
            added.first->second.push_back({name, row.cells[c]});
        }
    }
    for (const Source& s : walked.sources)
        if (!rows_.count(Lower(s.path))) problems.push_back({L"table", s.path + L" has no row"});
    return problems.empty() || Report(path, problems);
}

std::vector<NewValue> PictureCardRows::ValuesFor(const std::wstring& source, const std::vector<NewValue>& set) const {
    std::vector<NewValue> values;
    const auto row = rows_.find(Lower(source));
    if (row != rows_.end())
        for (const NewValue& v : row->second) {
            bool overridden = false;
            for (const NewValue& s : set) overridden = overridden || Lower(s.name) == Lower(v.name);
            if (!overridden) values.push_back(v);
        }
    values.insert(values.end(), set.begin(), set.end());
    return values;
}

namespace {

// What one page becomes: its picture, and where its stream comes from.
struct PagePlan {
    std::uint32_t width = 0, height = 0, dpi = 0;
    int pelPath = 0, lineProgression = 270;
    bool passThrough = false;     // the TIFF strip as it is
    std::uint64_t stripOffset = 0, stripSize = 0;
    // A fax page that is not one CALS stream as it is: decoded by the core, piece by piece.
    std::shared_ptr<const core::TiffPageInfo> fax;
    // A PDF page's picture, and why a page is left out (no picture, or several).
    std::shared_ptr<const core::PdfPagePicture> pdf;
    std::wstring leftOut;
    core::CardValues carried;     // the card its TIFF page carries as XMP
    core::CarriedHeader header;   // the header it carries, when Scanleaf handed it on
    core::HeaderHome home = core::HeaderHome::AsItWas;
    std::string calsHeader;       // the header its file gets
    std::wstring note;            // said on its line
    std::wstring output;
    bool shared = false;          // its PDF image is drawn on other pages too: coded once
    std::wstring title;           // the name its page carries (its XMP title, or a PDF page's bookmark)
    bool couldCarry = false;      // a PDF or TIFF page, which carries its drawing's header when handed on
    bool newCard = false;         // ... and came without one
};

// A PDF read whole, and what its pages point into, for as long as its files are written.
struct PdfSource {
    std::string bytes;
    core::PdfDocument document;
};

// What the line of a page says of how its header came home.
std::wstring HomeNote(core::HeaderHome home) {
    switch (home) {
    case core::HeaderHome::AsItWas: return L" (the drawing it was handed on as)";
    case core::HeaderHome::RecordsEdited:
        return L" (its header records were edited since it was handed on: the header is made of them, the picture's size, "
               L"resolution and orientation winning)";
    case core::HeaderHome::PictureChanged:
        return L" (its picture is no longer the one its header names: rpelcnt, rdensty and rorient made the picture's)";
    case core::HeaderHome::Mended: return L" (the drawing it was handed on as, its header mended as any drawing's must be)";
    }
    return std::wstring();
}

class SourceFile {
public:
    explicit SourceFile(const std::wstring& path)
        : file_(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool Valid() const { return file_.Valid(); }
    std::uint64_t Size() const {
        LARGE_INTEGER size{};
        return GetFileSizeEx(file_.Get(), &size) ? std::uint64_t(size.QuadPart) : 0;
    }
    bool Read(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(offset);
        if (!SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN)) return false;
        while (size > 0) {
            DWORD got = 0;
            const DWORD want = DWORD(std::min<std::size_t>(size, 1 << 24));
            if (!ReadFile(file_.Get(), out, want, &got, nullptr) || got == 0) return false;
            out += got;
            size -= got;
        }
        return true;
    }

private:
    scanleaf::FileHandle file_;
};

} // namespace

class CalsConverter::Engine {
public:
    Engine(IVorFileFormat* format, const CalsOptions& request, const PictureCardRows& table)
        : format_(format), request_(request), table_(table) {}

    using Result = CalsConverter::Result;

    // The pages a source holds, read before any output is named; 0 with `problem` when it is refused.
    std::uint32_t Pages(const std::wstring& source, std::wstring& problem, std::vector<std::wstring>& titles) {
        std::vector<PagePlan> pages;
        problem = Plan(source, {}, pages);
        titles.clear();
        for (const PagePlan& page : pages) titles.push_back(page.title);
        return problem.empty() ? std::uint32_t(pages.size()) : 0;
    }

    // `names`: the outputs the plan gave the source's pages.
    Result Convert(const std::wstring& source, const std::vector<std::wstring>& names) {
        Result result;
        std::vector<PagePlan> pages;
        std::wstring problem = Plan(source, names, pages);
        const std::vector<NewValue> values = table_.ValuesFor(source, request_.values);
        scanleaf::core::InputRecord record = Record(values);
        std::uint64_t size = 0, hash = 0;
        const bool identified = problem.empty() && IdentifyFile(source, size, hash);
        if (identified) record.Source(source, size, hash);
        InputsKept::Verdict verdict = InputsKept::Verdict::Missing;
        std::wstring changedOption;
        if (identified && request_.skipExisting) {
            for (const PagePlan& page : pages) {
                if (!page.leftOut.empty()) continue;
                const InputsKept::Verdict v = InputsKept::Judge(page.output, record, &changedOption);
                if (v != InputsKept::Verdict::UpToDate || verdict == InputsKept::Verdict::Missing) verdict = v;
                if (v != InputsKept::Verdict::UpToDate) break;
            }
            if (verdict == InputsKept::Verdict::UpToDate) {
                for (const PagePlan& page : pages)
                    if (page.leftOut.empty()) result.lines += source + L" -> " + page.output + L" (up to date)\n";
                result.upToDate = true;
                return result;
            }
        }
        std::vector<std::unique_ptr<AtomicFile>> files;
        for (size_t p = 0; p < pages.size() && problem.empty(); ++p) {
            files.push_back(pages[p].leftOut.empty() ? std::make_unique<AtomicFile>(pages[p].output) : nullptr);
            if (!files.back()) continue;
            problem = Write(source, p, pages[p], *files.back());
            if (!pages[p].leftOut.empty()) {
                // Its picture proved to be no drawing as it was decoded: left out as any such page.
                files.back().reset();
                problem.clear();
                continue;
            }
            // A header that came home is the card; its card's values changed since by another
            // program are written too, where the vault's settings serve them, unless its records
            // were edited: they are newer than the card written beside them.
            const bool homed = !pages[p].header.Empty();
            const bool recordsWin = homed && (!vault_ || pages[p].home == core::HeaderHome::RecordsEdited);
            const core::CardValues& carried = recordsWin ? core::CardValues() : pages[p].carried;
            if (problem.empty() && (!values.empty() || !carried.empty()))
                problem = FillCard(files.back()->PartialPath(), values, carried, homed, pages[p].note);
            if (!problem.empty() && pages.size() > 1) problem = L"page " + std::to_wstring(p + 1) + L": " + problem;
        }
        if (problem.empty())
            for (size_t p = 0; p < files.size() && problem.empty(); ++p)
                if (files[p] && !files[p]->Commit()) problem = CannotWrite(pages[p].output, GetLastError());
        if (!problem.empty()) {
            result.refused = source + L": " + problem + L"; nothing written\n";
            return result;
        }
        const std::wstring note = request_.skipExisting ? InputsKept::Note(verdict, changedOption) : std::wstring();
        for (const PagePlan& page : pages) {
            if (!page.leftOut.empty()) {
                result.leftOut += source + L": " + page.leftOut + L"; left out\n";
                ++result.pagesLeftOut;
                continue;
            }
            if (identified) InputsKept::Keep(page.output, record);
            result.lines += source + L" -> " + page.output + page.note + note + L"\n";
            ++result.written;
            result.newCards += page.newCard;
        }
        return result;
    }

private:
    // What changes a source's files, for --skip-existing.
    scanleaf::core::InputRecord Record(const std::vector<NewValue>& values) const {
        scanleaf::core::InputRecord record;
        record.Option(L"--threshold", std::to_wstring(request_.threshold));
        record.Option(L"--dpi", std::to_wstring(request_.dpi));
        for (const NewValue& v : values) record.Option(L"value " + v.name, v.text);
        return record;
    }

    // Each page's size, resolution, orientation and target, or why the source is refused. With no
    // names, only the pages are counted (and checked).
    std::wstring Plan(const std::wstring& source, const std::vector<std::wstring>& names, std::vector<PagePlan>& pages) {
        SourceFile file(source);
        if (!file.Valid()) return L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
        const std::uint64_t size = file.Size();
        std::uint8_t start[5] = {};
        if (size >= 5 && file.Read(0, 5, start) && std::memcmp(start, "%PDF-", 5) == 0) return PlanPdf(source, names, pages);
        const core::TiffFileInfo tiff = core::ReadTiffDirectories(
            size, [&](std::uint64_t at, std::size_t n, std::uint8_t* out) { return file.Read(at, n, out); });
        if (tiff.tiff && !tiff.problem.empty()) return L"not a sound TIFF file: " + FromUtf8(tiff.problem);
        std::uint32_t frames = 0;
        if (!tiff.tiff || !AllCoresOwn(tiff)) {
            const HRESULT hr = picture_.Open(source);
            if (FAILED(hr)) return L"not a picture that Windows can read: " + DescribeHresult(hr);
            frames = picture_.Frames();
        } else {
            frames = std::uint32_t(tiff.pages.size());
        }
        if (frames == 0) return L"holds no picture";
        for (std::uint32_t f = 0; f < frames; ++f) {
            PagePlan page;
            const core::TiffPageInfo* info = tiff.tiff && f < tiff.pages.size() ? &tiff.pages[f] : nullptr;
            double dpiX = 0, dpiY = 0;
            if (info) {
                const std::string lie = core::TiffPageProblem(*info, size);
                if (!lie.empty()) return FromUtf8(lie) + (frames > 1 ? L" (page " + std::to_wstring(f + 1) + L")" : L"");
                page.width = info->width;
                page.height = info->height;
                page.couldCarry = true;
                page.passThrough = core::IsCalsStream(*info);
                if (page.passThrough) page.note = L" (its Group 4 strip kept)";
                page.stripOffset = info->stripOffsets[0];
                page.stripSize = info->stripByteCounts[0];
                // Fax pages are decoded by the core, which names a coding error; Windows' decoders
                // hand back what they make of one without a word.
                if (!page.passThrough && core::IsFaxPage(*info)) page.fax = std::make_shared<core::TiffPageInfo>(*info);
                core::TiffResolution(*info, dpiX, dpiY);
                core::CalsOrientation(info->orientation, page.pelPath, page.lineProgression);
                const std::wstring card = Carried(file, *info, page);
                if (!card.empty()) return card + (frames > 1 ? L" (page " + std::to_wstring(f + 1) + L")" : L"");
            }
            if (!page.passThrough && !page.fax) {
                PictureFrame frame;
                const HRESULT hr = picture_.Frame(f, frame);
                if (FAILED(hr)) return L"page " + std::to_wstring(f + 1) + L" cannot be read: " + DescribeHresult(hr);
                page.width = frame.Width();
                page.height = frame.Height();
                if (!info) frame.Resolution(dpiX, dpiY);
                if (frame.Kind() != PelKind::Bilevel && request_.threshold < 0)
                    return std::wstring(frame.Kind() == PelKind::Grey ? L"grey" : L"colour") +
                           L" pels: --threshold N makes pels below N per cent of full lightness black";
            }
            const std::wstring problem = Finish(dpiX, dpiY, names, frames, f, page);
            if (!problem.empty()) return problem;
            pages.push_back(page);
        }
        return std::wstring();
    }

    // A PDF's pages: each one's picture as the core reads it. A page of no picture or several is
    // left out by name; any other problem refuses the document.
    std::wstring PlanPdf(const std::wstring& source, const std::vector<std::wstring>& names, std::vector<PagePlan>& pages) {
        pdf_ = std::make_unique<PdfSource>();
        shared_.clear();
        std::string& bytes = pdf_->bytes;
        core::PdfDocument& document = pdf_->document;
        if (!ReadWholeFile(source, bytes)) return L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
        if (!document.Open(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            return L"not a PDF that can be read: " + FromUtf8(document.Problem());
        std::vector<core::PdfPageInfo> infos;
        std::string problem;
        if (!document.Pages(infos, problem)) return L"its pages cannot be read: " + FromUtf8(problem);
        if (infos.empty()) return L"holds no page";
        const std::uint32_t frames = std::uint32_t(infos.size());
        const std::wstring repaired = document.Repaired().empty() ? std::wstring() : L" (" + FromUtf8(document.Repaired()) + L")";
        const std::map<const core::PdfObject*, std::string> bookmarks = document.Bookmarks();
        bool any = false;
        for (std::uint32_t f = 0; f < frames; ++f) {
            const std::wstring where = frames > 1 ? L"page " + std::to_wstring(f + 1) + L": " : L"";
            const std::size_t forgiven = document.Forgiven().size();
            auto picture = std::make_shared<core::PdfPagePicture>(core::ReadPdfPagePicture(document, infos[f], request_.threshold));
            PagePlan page;
            if (const auto bookmark = bookmarks.find(infos[f].page); bookmark != bookmarks.end())
                page.title = core::PdfText(bookmark->second);
            if (picture->noDrawing) {
                page.leftOut = where + FromUtf8(picture->problem);
                if (!names.empty() && names.size() == frames) page.output = names[f];
                pages.push_back(page);
                continue;
            }
            if (!picture->problem.empty()) return where + FromUtf8(picture->problem);
            page.width = picture->width;
            page.height = picture->height;
            page.couldCarry = true;
            page.pelPath = picture->pelPath;
            page.lineProgression = picture->lineProgression;
            if (const std::wstring carried = CarriedIn(picture->xmp, page); !carried.empty()) return where + carried;
            const std::wstring pageProblem = Finish(picture->dpiX, picture->dpiY, names, frames, f, page);
            if (!pageProblem.empty()) return where + pageProblem;
            page.note += repaired;
            for (std::size_t n = forgiven; n < document.Forgiven().size(); ++n) page.note += L" (" + FromUtf8(document.Forgiven()[n]) + L")";
            page.pdf = std::move(picture);
            pages.push_back(page);
            any = true;
        }
        if (!any) return pages.size() == 1 ? pages[0].leftOut : L"no page holds one picture";
        // An image that several pages draw is decoded once, for the first of them.
        std::map<const core::PdfObject*, int> drawn;
        for (const PagePlan& page : pages)
            if (page.pdf && page.pdf->image) ++drawn[page.pdf->image];
        for (PagePlan& page : pages) page.shared = page.pdf && page.pdf->image && drawn[page.pdf->image] > 1;
        return std::wstring();
    }

    // What every page needs besides its picture: a size that can be a drawing, its density, its
    // header and its output.
    std::wstring Finish(double dpiX, double dpiY, const std::vector<std::wstring>& names, std::uint32_t frames, std::uint32_t f,
                        PagePlan& page) {
        if (page.width == 0 || page.height == 0) return L"a size of 0 pels";
        if (std::uint64_t(page.width) * page.height > core::kMaxPicturePels || page.width > core::kMaxG4Width)
            return L"claims " + std::to_wstring(page.width) + L" by " + std::to_wstring(page.height) +
                   L" pels, more than any drawing holds";
        const std::wstring density = Density(dpiX, dpiY, page);
        if (!density.empty()) return density;
        if (page.header.Empty()) {
            page.calsHeader = core::NewCalsHeader(page.width, page.height, page.dpi, page.pelPath, page.lineProgression);
            // A page of a kind that carries its drawing's header, which came without one (a
            // program that re-saved it dropped it): its card starts anew, and says so.
            if (page.couldCarry) {
                page.note += L" (no header came with it: a new card)";
                page.newCard = true;
            }
        } else {
            std::string why;
            std::vector<std::string> mended;
            const core::PagePicture picture{page.width, page.height, page.dpi, page.pelPath, page.lineProgression};
            if (!core::HomeHeader(page.header, picture, scanleaf::AnsiCodePage(), page.calsHeader, page.home, why, &mended))
                return FromUtf8(why);
            page.note = HomeNote(page.home);
            for (const std::string& m : mended) page.note += L" (" + FromUtf8(m) + L")";
        }
        if (!names.empty()) {
            if (names.size() != frames) return L"changed while the run was planned: its pages are no longer " + std::to_wstring(names.size());
            page.output = names[f];
        }
        return std::wstring();
    }

    // The pels per inch of a page: the one it states, or where it states none it can be read by,
    // --dpi's; a stated one that --dpi would change is named. A header that came home keeps its
    // own density where the picture states that.
    std::wstring Density(double x, double y, PagePlan& page) const {
        if (!page.header.Empty()) {
            const std::uint32_t own = core::HeaderPicture(reinterpret_cast<const unsigned char*>(page.header.bytes.data())).dpi;
            if (x == y && std::lround(x) == long(own) && std::fabs(x - own) < 0.01) {
                page.dpi = own;
                return std::wstring();
            }
        }
        std::string why;
        const std::uint32_t stated = core::DrawingDensity(x, y, why);
        page.dpi = stated ? stated : request_.dpi;
        if (page.dpi == 0) return FromUtf8(why) + L": --dpi N says its pels per inch";
        if (stated && request_.dpi && request_.dpi != stated)
            page.note += L" (it states " + std::to_wstring(stated) + L" dpi, which it keeps; --dpi " +
                         std::to_wstring(request_.dpi) + L" is for pictures that state none)";
        return std::wstring();
    }

    // The card and header in the page's XMP packet (none without one); why they cannot be read, or empty.
    static std::wstring Carried(const SourceFile& file, const core::TiffPageInfo& info, PagePlan& page) {
        constexpr std::uint32_t kLargestPacket = 64u << 20;
        if (info.xmpSize == 0) return std::wstring();
        if (info.xmpSize > kLargestPacket)
            return L"its XMP packet of " + std::to_wstring(info.xmpSize) + L" bytes is larger than is read";
        std::string packet(info.xmpSize, '\0');
        if (!file.Read(info.xmpOffset, packet.size(), reinterpret_cast<std::uint8_t*>(packet.data())))
            return L"its XMP packet cannot be read";
        return CarriedIn(packet, page);
    }

    // The card and the header an XMP packet carries; why it cannot be read, or empty.
    static std::wstring CarriedIn(const std::string& packet, PagePlan& page) {
        if (const std::wstring title = core::XmpTitle(packet); !title.empty()) page.title = title;
        std::string problem;
        page.carried = core::XmpCard(packet, problem);
        if (problem.empty()) page.header = core::XmpHeader(packet, problem);
        return problem.empty() ? std::wstring() : FromUtf8(problem);
    }

    // Whether every page is the core's to read, so that Windows' decoders are not asked.
    static bool AllCoresOwn(const core::TiffFileInfo& tiff) {
        for (const core::TiffPageInfo& page : tiff.pages)
            if (!core::IsCalsStream(page) && !core::IsFaxPage(page)) return false;
        return !tiff.pages.empty();
    }


    std::wstring Write(const std::wstring& source, size_t index, PagePlan& page, AtomicFile& out) {
        if (!out.IsOpen()) return CannotWrite(page.output, GetLastError());
        if (!out.Write(page.calsHeader)) return CannotWrite(page.output, GetLastError());
        const std::wstring problem = page.pdf         ? WritePdfPicture(page, out)
                                     : page.passThrough ? CopyStrip(source, page, out)
                                     : page.fax         ? EncodeFax(source, page, out)
                                                        : Encode(index, page, out);
        if (!problem.empty()) return problem;
        return out.Close() ? std::wstring() : CannotWrite(page.output, GetLastError());
    }

    // The strip as it is, once the decoder has found every row in it.
    std::wstring CopyStrip(const std::wstring& source, PagePlan& page, AtomicFile& out) {
        SourceFile file(source);
        std::vector<std::uint8_t> strip;
        try {
            strip.resize(static_cast<std::size_t>(page.stripSize));
        } catch (const std::bad_alloc&) {
            return L"its strip of " + std::to_wstring(page.stripSize) + L" bytes does not fit in memory";
        }
        if (!file.Valid() || !file.Read(page.stripOffset, strip.size(), strip.data())) return L"its strip cannot be read";
        auto write = [&](const std::vector<std::uint8_t>& bytes) {
            return out.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size()) ? std::wstring()
                                                                                        : L"cannot write " + page.output;
        };
        // The drawing that was handed on comes back with its own stream, as it was.
        if (!page.header.Empty() && page.home == core::HeaderHome::AsItWas) return write(strip);
        core::Group4Decoder decoder(strip.data(), strip.size(), page.width);
        while (decoder.Rows() < page.height && decoder.NextRow(nullptr)) {
        }
        if (decoder.Rows() < page.height)
            return L"its Group 4 strip holds " + std::to_wstring(decoder.Rows()) + L" of " +
                   std::to_wstring(page.height) + L" rows (" + FromUtf8(core::G4StopText(decoder.Stop())) + L")";
        if (!decoder.NextRow(nullptr)) return write(strip);
        // More rows than ImageLength names: the page's own rows, coded again, as readers show it.
        core::Group4Decoder again(strip.data(), strip.size(), page.width);
        page.note = L" (coded again from its first " + std::to_wstring(page.height) +
                    L" rows: its strip holds more than ImageLength names)";
        auto next = [&again, &page](std::uint8_t* row) { return again.Rows() < page.height && again.NextRow(row); };
        return CodeRows(page.width, again.RowBytes(), next, out) ? std::wstring() : L"cannot write " + page.output;
    }

    // A PDF page's picture, decoded only now: its Group 4 stream as it is where it is a CALS
    // stream already (or the stream of the drawing that was handed on), else its rows coded by the
    // core. A picture that proves to be no drawing sets `leftOut`. An image other pages draw too
    // is coded once.
    std::wstring WritePdfPicture(PagePlan& page, AtomicFile& out) {
        const core::PdfPagePicture& picture = *page.pdf;
        core::PdfDocument& document = pdf_->document;
        const bool own = !page.header.Empty() && page.home == core::HeaderHome::AsItWas && picture.MayKeep();
        // The stream is the image's, and so is what is said of it: the same for every page that
        // draws the image and comes home the same way.
        const std::pair<const core::PdfObject*, bool> key(picture.image, own);
        auto say = [&page](const std::wstring& note) {
            if (page.header.Empty()) page.note = note + page.note;
        };
        auto write = [&](const std::string& bytes, const std::wstring& note) {
            say(note);
            if (page.shared && bytes.size() <= kLargestShared) shared_[key] = {bytes, note};
            return out.Write(bytes.data(), bytes.size()) ? std::wstring() : L"cannot write " + page.output;
        };
        if (page.shared) {
            const auto coded = shared_.find(key);
            if (coded != shared_.end()) {
                say(coded->second.note);
                return out.Write(coded->second.bytes) ? std::wstring() : L"cannot write " + page.output;
            }
        }
        std::string bytes, note, problem;
        if (own) {
            if (!core::PdfCodedData(document, picture, bytes, problem)) return FromUtf8(problem);
            return write(bytes, std::wstring());
        }
        if (core::PdfKeptGroup4(document, picture, bytes, note, problem)) return write(bytes, L" (its Group 4 stream kept)");
        if (!problem.empty()) return FromUtf8(problem);
        const std::wstring codedAgain = note.empty() ? std::wstring() : L" (" + FromUtf8(note) + L")";
        say(codedAgain);
        if (picture.coding == core::PdfPagePicture::Coding::Jpeg) {
            // Windows decodes the JPEG; --threshold makes it bilevel.
            if (!core::PdfCodedData(document, picture, bytes, problem)) return FromUtf8(problem);
            PictureFile jpeg;
            const HRESULT hr = jpeg.OpenBytes(bytes);
            if (FAILED(hr) || jpeg.Frames() == 0) return L"its JPEG cannot be decoded: " + DescribeHresult(FAILED(hr) ? hr : E_FAIL);
            return Encode(jpeg, 0, page, out);
        }
        core::PdfPictureRows rows(document, picture);
        StreamCopy coded;
        StreamCopy* keep = page.shared ? &coded : nullptr;
        const bool written = CodeRows(page.width, rows.RowBytes(), [&rows](std::uint8_t* row) { return rows.NextRow(row); }, out, keep);
        if (rows.LeftOut()) {
            page.leftOut = FromUtf8(rows.Problem());
            return FromUtf8(rows.Problem());
        }
        if (!rows.Problem().empty()) return FromUtf8(rows.Problem());
        if (keep && coded.whole) shared_[key] = {std::move(coded.bytes), codedAgain};
        return written ? std::wstring() : L"cannot write " + page.output;
    }

    // Every row `next` gives, coded as one Group 4 stream into `out` a band at a time; false when
    // a write fails.
    // A copy of a stream as it is written, while it stays within kLargestShared.
    struct StreamCopy {
        std::string bytes;
        bool whole = true;
    };

    // `copy` (when given) gets the stream too.
    template <class Next>
    static bool CodeRows(std::uint32_t width, std::size_t rowBytes, Next next, AtomicFile& out, StreamCopy* copy = nullptr) {
        core::Group4Encoder encoder(width);
        std::vector<std::uint8_t> row(rowBytes);
        auto flush = [&] {
            std::vector<std::uint8_t>& bytes = encoder.Bytes();
            if (copy && copy->whole && copy->bytes.size() + bytes.size() <= kLargestShared) {
                copy->bytes.append(bytes.begin(), bytes.end());
            } else if (copy) {
                copy->whole = false;
                std::string().swap(copy->bytes);
            }
            const bool ok = out.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            bytes.clear();
            return ok;
        };
        while (next(row.data())) {
            encoder.AddRow(row.data());
            if (encoder.Bytes().size() >= kBandBytes && !flush()) return false;
        }
        encoder.Finish();
        return flush();
    }

    // A fax page (Group 4 of several strips, tiles, another fill order or 0 as black; Group 3;
    // Modified Huffman): its rows as the core decodes them, coded again as one Group 4 stream; the
    // first coding error refuses it.
    std::wstring EncodeFax(const std::wstring& source, const PagePlan& page, AtomicFile& out) {
        SourceFile file(source);
        if (!file.Valid()) return L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
        core::FaxPageDecoder decoder(*page.fax, [&file](std::uint64_t at, std::size_t n, std::uint8_t* bytes) {
            return file.Read(at, n, bytes);
        }, request_.threshold);
        const bool written =
            CodeRows(page.width, decoder.RowBytes(), [&decoder](std::uint8_t* row) { return decoder.NextRow(row); }, out);
        if (!decoder.Problem().empty()) return L"its fax page cannot be decoded: " + FromUtf8(decoder.Problem());
        return written ? std::wstring() : L"cannot write " + page.output;
    }

    std::wstring Encode(size_t index, const PagePlan& page, AtomicFile& out) { return Encode(picture_, index, page, out); }

    // The frame's rows a band at a time, thresholded where they are not bilevel.
    std::wstring Encode(PictureFile& picture, size_t index, const PagePlan& page, AtomicFile& out) {
        PictureFrame frame;
        HRESULT hr = picture.Frame(std::uint32_t(index), frame);
        if (FAILED(hr)) return L"cannot be read: " + DescribeHresult(hr);
        if (frame.Width() != page.width || frame.Height() != page.height)
            return L"its picture is " + std::to_wstring(frame.Width()) + L" by " + std::to_wstring(frame.Height()) +
                   L" pels, not the " + std::to_wstring(page.width) + L" by " + std::to_wstring(page.height) + L" it says";
        core::Group4Encoder encoder(page.width);
        const std::size_t stride = ((std::size_t(page.width) + 7) / 8 + 3) & ~std::size_t(3); // rows of whole 32-bit words, as the component copies them
        const std::uint32_t band = std::uint32_t(std::max<std::size_t>(1, kBandBytes / stride));
        std::vector<std::uint8_t> rows(stride * std::min(band, page.height));
        bool black = false; // a thresholded page that comes out blank is named, not written
        for (std::uint32_t y = 0; y < page.height; y += band) {
            const std::uint32_t count = std::min(band, page.height - y);
            hr = frame.ReadRows(y, count, rows.data(), stride, request_.threshold);
            if (FAILED(hr)) return L"rows from " + std::to_wstring(y + 1) + L" cannot be read: " + DescribeHresult(hr);
            for (std::uint32_t r = 0; r < count && !black; ++r)
                for (std::size_t b = 0; b < encoder.RowBytes() && !black; ++b) black = rows[r * stride + b] != 0;
            if (y + count >= page.height && !black && frame.Kind() != PelKind::Bilevel)
                return L"every pel is lighter than --threshold " + std::to_wstring(request_.threshold) +
                       L" per cent: the drawing would be blank";
            for (std::uint32_t r = 0; r < count; ++r) encoder.AddRow(rows.data() + r * stride);
            if (y + count >= page.height) encoder.Finish();
            std::vector<std::uint8_t>& bytes = encoder.Bytes();
            if (!out.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size())) return L"cannot write " + page.output;
            bytes.clear();
        }
        return std::wstring();
    }

    // The values written and saved through the plug-in, then read back: a name it does not
    // serve, a read-only one, or a value that does not fit its slot refuses the source.
    // `given` (--set, --table) over what the picture carried; a carried value that the new header
    // already holds (its size, its density) is no change.
    // With a header that came home (`homed`), a carried variable the settings do not serve, or
    // a read-only one (made of others), is left to the header; the carried values written are
    // named in `note`.
    std::wstring FillCard(const std::wstring& path, const std::vector<NewValue>& given, const core::CardValues& carried,
                          bool homed, std::wstring& note) {
        std::vector<CardEntry> card;
        HRESULT hr = CardReader(format_).Read(path, card);
        if (FAILED(hr)) return L"its card cannot be read: " + DescribeHresult(hr);
        std::vector<NewValue> values;
        std::wstring edited;
        for (const auto& [name, value] : carried) {
            auto same = [&name = name](const auto& other) { return Lower(other.name) == Lower(name); };
            if (std::any_of(given.begin(), given.end(), same)) continue;
            const auto now = std::find_if(card.begin(), card.end(), same);
            if (now != card.end() && now->value == value) continue;
            if (homed && (now == card.end() || now->readOnly)) continue;
            values.push_back({name, value});
            edited += (edited.empty() ? L"" : L", ") + name;
        }
        if (homed && !edited.empty()) note += L" (its card was edited since it was handed on: " + edited + L")";
        values.insert(values.end(), given.begin(), given.end());
        if (values.empty()) return std::wstring();
        std::wstring problems;
        auto problem = [&problems](const std::wstring& text) { problems += (problems.empty() ? L"" : L"; ") + text; };
        auto says = [&values](const EditProblem& p) {
            const NewValue& v = values[p.value];
            switch (p.fault) {
            case EditFault::NamedTwice: return v.name + L": named twice";
            case EditFault::NotAVariable: return v.name + L": not a variable of the card";
            case EditFault::ReadOnly: return v.name + L": read-only";
            case EditFault::CodePage: return v.name + L": " + CodePageProblem(v.text);
            case EditFault::DoesNotFit:
                return v.name + L": " + NotStoredText(v.text, p.stored);
            case EditFault::TrialFailed: break;
            }
            return v.name + L": " + DescribeHresult(p.hr);
        };
        for (const EditProblem& p : CardEdit::CheckNames(card, values)) problem(says(p));
        if (!problems.empty()) return problems;
        // The file is new and not yet in its place: its own save is the trial.
        CardEdit edit(format_);
        hr = edit.Save(path, values, 0);
        if (FAILED(hr)) return L"its card cannot be saved: " + DescribeHresult(hr);
        std::vector<EditProblem> unlike;
        hr = edit.ReadBack(path, values, unlike);
        if (FAILED(hr)) return L"its card cannot be read back: " + DescribeHresult(hr);
        for (const EditProblem& p : unlike) problem(says(p));
        return problems;
    }

    IVorFileFormat* format_;
    // The PDF being converted, and the streams of its images that several pages draw.
    std::unique_ptr<PdfSource> pdf_;
    struct Shared {
        std::string bytes;
        std::wstring note;
    };
    std::map<std::pair<const core::PdfObject*, bool>, Shared> shared_;
    // The plug-in reads a card only where the host's shared folder is set.
    const bool vault_ = VaultIsSet();
    const CalsOptions& request_;
    const PictureCardRows& table_;
    PictureFile picture_;
};

const std::vector<std::wstring> kPictureExtensions = {L"tif", L"tiff", L"png", L"bmp", L"gif", L"jpg", L"jpeg", L"pdf"};

CalsConverter::CalsConverter(IVorFileFormat* format, const CalsOptions& options, const PictureCardRows& rows)
    : engine_(std::make_unique<Engine>(format, options, rows)) {}

CalsConverter::~CalsConverter() = default;

// Memory a source needs that the process cannot get refuses that source alone: the run goes on,
// and what its files had begun is removed as they unwind.
std::uint32_t CalsConverter::Pages(const std::wstring& source, std::wstring& problem, std::vector<std::wstring>& titles) {
    try {
        return engine_->Pages(source, problem, titles);
    } catch (const std::bad_alloc&) {
        problem = L"does not fit in this process's memory";
    }
    return 0;
}

CalsConverter::Result CalsConverter::Convert(const std::wstring& source, const std::vector<std::wstring>& names) {
    try {
        return engine_->Convert(source, names);
    } catch (const std::bad_alloc&) {
        Result result;
        result.refused = source + L": does not fit in this process's memory; nothing written\n";
        return result;
    }
}

} // namespace card
