#include "core/pdf/PdfWriter.h"

#include "core/pdf/IccProfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace scanleaf::core {

namespace {

// Fixed object numbers; the pages' objects follow (the image, its XMP, the contents, the page),
// then the outline's items and PDF/A's output intent.
constexpr std::uint32_t kCatalog = 1, kPages = 2, kInfo = 3, kMetadata = 4, kOutlines = 5, kFirstPage = 6;

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Ref(std::uint32_t object) { return std::to_string(object) + " 0 R"; }

double Points(std::uint32_t pels, double dpi) { return double(pels) * 72.0 / dpi; }

bool Turned(const PagePicture& page) { return page.pelPath == 90 || page.pelPath == 270; }

// PDF's smallest page side, in units.
constexpr double kSmallest = 3;

double ShownWidth(const PagePicture& page) { return Points(Turned(page) ? page.height : page.width, page.dpi); }
double ShownHeight(const PagePicture& page) { return Points(Turned(page) ? page.width : page.height, page.dpi); }

// FNV-1a, from two starting points: the file's identifier, from all its bytes.
constexpr std::uint64_t kFnvPrime = 0x100000001B3ull;
constexpr std::uint64_t kFnvStarts[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};

} // namespace

std::string PdfPageProblem(const PagePicture& page, Pdfa pdfa) {
    if (pdfa == Pdfa::None) return std::string();
    const std::uint32_t unit = PdfUserUnit(page);
    if (pdfa == Pdfa::Part1b && unit > 1)
        return "larger than 200 inches, which PDF/A-1 cannot hold (PDF/A-2 can: --pdfa 2b)";
    if (std::min(ShownWidth(page), ShownHeight(page)) / unit < kSmallest)
        return "narrower than PDF/A's smallest page side (3 points)";
    return std::string();
}

std::string PdfTextString(const Text& text) {
    bool ascii = true;
    for (Unit c : text) ascii = ascii && c >= 0x20 && c < 0x7F;
    if (ascii) {
        std::string out = "(";
        for (Unit c : text) {
            if (c == '(' || c == ')' || c == '\\') out += '\\';
            out += char(c);
        }
        return out + ")";
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned u = unsigned(std::uint16_t(text[i]));
        // A surrogate without its partner is no character: U+FFFD, as the XMP's UTF-8 has it.
        const bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
        const bool paired = high && i + 1 < text.size() && std::uint16_t(text[i + 1]) >= 0xDC00 &&
                            std::uint16_t(text[i + 1]) <= 0xDFFF;
        if ((high && !paired) || low) u = 0xFFFD;
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 0xF];
        if (paired) {
            const unsigned next = unsigned(std::uint16_t(text[++i]));
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(next >> shift) & 0xF];
        }
    }
    return out + ">";
}

std::uint32_t PdfUserUnit(const PagePicture& page) {
    const double longest = Points(std::max(page.width, page.height), page.dpi);
    constexpr double kLargest = 14400;
    return longest <= kLargest ? 1 : std::uint32_t(std::ceil(longest / kLargest));
}

std::string PdfImageMatrix(const PagePicture& page, std::uint32_t unit) {
    const double k = 72.0 / page.dpi / unit;
    const double w = double(page.width) * k, h = double(page.height) * k;
    const bool pelsBack = page.pelPath == 180 || page.pelPath == 90;
    const int lines = (page.pelPath + page.lineProgression) % 360;
    const bool linesBack = lines == 90 || lines == 180;
    // Image space: u along a line (pel 0 at u = 0), v up the picture (line 0 at v = 1).
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    if (!Turned(page)) {
        a = pelsBack ? -w : w;
        e = pelsBack ? w : 0;
        d = linesBack ? -h : h;
        f = linesBack ? h : 0;
    } else { // the shown picture is height pels wide and width pels high
        c = linesBack ? h : -h;
        e = linesBack ? 0 : h;
        b = pelsBack ? w : -w;
        f = pelsBack ? 0 : w;
    }
    return Number(a) + " " + Number(b) + " " + Number(c) + " " + Number(d) + " " + Number(e) + " " + Number(f);
}

PdfWriter::PdfWriter(ByteSink sink, Pdfa pdfa)
    : sink_(std::move(sink)), pdfa_(pdfa), hash_{kFnvStarts[0], kFnvStarts[1]}, offsets_(kFirstPage, 0) {}

void PdfWriter::Hash(const char* bytes, std::size_t size) {
    std::uint64_t a = hash_[0], b = hash_[1];
    for (std::size_t i = 0; i < size; ++i) {
        a = (a ^ static_cast<unsigned char>(bytes[i])) * kFnvPrime;
        b = (b ^ static_cast<unsigned char>(bytes[i])) * kFnvPrime;
    }
    hash_[0] = a;
    hash_[1] = b;
}

bool PdfWriter::PutBytes(const char* bytes, std::size_t size, bool sampled) {
    ok_ = ok_ && sink_(bytes, size);
    offset_ += size;
    if (!sampled) {
        Hash(bytes, size);
    } else {
        // A picture's stream counts by its size and its ends: the cards, titles and sizes around
        // it tell documents apart, and a whole scan need not pass through the hash.
        const std::string length = std::to_string(size);
        Hash(length.data(), length.size());
        Hash(bytes, std::min<std::size_t>(size, 64));
        if (size > 64) Hash(bytes + size - std::min<std::size_t>(size - 64, 64), std::min<std::size_t>(size - 64, 64));
    }
    return ok_;
}

bool PdfWriter::Put(const std::string& text) { return PutBytes(text.data(), text.size()); }

bool PdfWriter::BeginObject(std::uint32_t number) {
    if (offsets_.size() <= number) offsets_.resize(number + 1, 0);
    offsets_[number] = offset_;
    return Put(std::to_string(number) + " 0 obj\n");
}

std::uint32_t PdfWriter::NextObject() const { return std::uint32_t(std::max<std::size_t>(offsets_.size(), kFirstPage)); }

bool PdfWriter::PutStream(std::uint32_t number, const std::string& entries, const char* data, std::size_t size,
                          bool picture) {
    // The length counts the data alone: the line ends around it belong to the keywords.
    BeginObject(number);
    Put("<< " + entries + (entries.empty() ? "" : " ") + "/Length " + std::to_string(size) + " >>\nstream\n");
    PutBytes(data, size, picture);
    return Put("\nendstream\nendobj\n");
}

void PdfWriter::Describe(const CardValues& card) {
    for (const auto& entry : card) {
        const std::string name = XmpPropertyName(entry.first);
        if (std::find(described_.begin(), described_.end(), name) == described_.end()) described_.push_back(name);
    }
}

std::string PdfWriter::FileId() const {
    char text[40];
    std::snprintf(text, sizeof text, "<%016llX%016llX>", static_cast<unsigned long long>(hash_[0]),
                  static_cast<unsigned long long>(hash_[1]));
    return text;
}

// PDF/A-2 rests on PDF 1.7, PDF/A-1 on 1.4; the others on 1.5 for a cross-reference stream, raised
// to 1.6 by the catalog for user units.
bool PdfWriter::Begin() {
    const char* version = pdfa_ == Pdfa::Part2b ? "%PDF-1.7" : pdfa_ == Pdfa::Part1b ? "%PDF-1.4" : "%PDF-1.5";
    return Put(std::string(version) + "\n%\xE2\xE3\xCF\xD3\n");
}

bool PdfWriter::AddPage(const PdfPage& page, const std::uint8_t* stream, std::size_t size) {
    if (!PdfPageProblem(page, pdfa_).empty()) return false;
    const std::uint32_t image = NextObject();
    const bool carded = !page.card.empty() || !page.title.empty() || !page.header.Empty();
    const std::uint32_t metadata = image + 1;
    const std::string w = std::to_string(page.width), h = std::to_string(page.height);
    // The filter gives the code's black pels as 0 (BlackIs1 false, its default), which DeviceGray
    // shows black: the CALS stream's white runs come out white.
    PutStream(image,
              "/Subtype /Image /Width " + w + " /Height " + h +
                  " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " +
                  w + " /Rows " + h + " >>" + (carded ? " /Metadata " + Ref(metadata) : std::string()),
              reinterpret_cast<const char*>(stream), size, true);
    if (carded) {
        // The drawing's own card travels with its image, whatever the document's packet says.
        const std::string xmp = XmpPacket(page.title, page.card, XmpPdfa(), false, page.header);
        PutStream(metadata, "/Type /Metadata /Subtype /XML", xmp.data(), xmp.size());
        Describe(page.card);
        headers_ = headers_ || !page.header.Empty();
    }

    const std::uint32_t unit = PdfUserUnit(page);
    userUnits_ = userUnits_ || unit > 1;
    const std::string draw = "q " + PdfImageMatrix(page, unit) + " cm /Im0 Do Q";
    std::uint32_t& content = contents_[draw];
    if (!content) {
        content = NextObject();
        PutStream(content, "", draw.data(), draw.size());
    }

    const std::uint32_t object = NextObject();
    BeginObject(object);
    Put("<< /Type /Page /Parent " + Ref(kPages) + " /MediaBox [0 0 " + Number(ShownWidth(page) / unit) + " " +
        Number(ShownHeight(page) / unit) + "]" + (unit > 1 ? " /UserUnit " + std::to_string(unit) : std::string()) +
        " /Resources << /XObject << /Im0 " + Ref(image) + " >> >> /Contents " + Ref(content) + " >>\nendobj\n");
    pages_.push_back(object);
    bookmarks_.push_back(page.bookmark);
    return ok_;
}

bool PdfWriter::Finish(const Text& title, const CardValues& card) {
    std::string kids;
    for (std::uint32_t p : pages_) kids += (kids.empty() ? "" : " ") + Ref(p);
    BeginObject(kPages);
    Put("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>\nendobj\n");

    // The information dictionary and the packet say the same of the title and the producer.
    static const char kProducer[] = "Scanleaf";
    BeginObject(kInfo);
    Put("<< " + (title.empty() ? std::string() : "/Title " + PdfTextString(title) + " ") + "/Producer (" + kProducer +
        ") >>\nendobj\n");

    XmpPdfa pdfa;
    if (pdfa_ != Pdfa::None) {
        Describe(card);
        pdfa = {pdfa_, kProducer, described_, headers_};
    }
    const std::string xmp = XmpPacket(title, card, pdfa);
    PutStream(kMetadata, "/Type /Metadata /Subtype /XML", xmp.data(), xmp.size());

    // The outline: one item per page that has a bookmark, in page order.
    std::vector<std::size_t> marked;
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (!bookmarks_[i].empty()) marked.push_back(i);
    const std::uint32_t firstItem = NextObject();
    BeginObject(kOutlines);
    if (marked.empty())
        Put("<< /Type /Outlines /Count 0 >>\nendobj\n");
    else
        Put("<< /Type /Outlines /First " + Ref(firstItem) + " /Last " + Ref(firstItem + std::uint32_t(marked.size()) - 1) +
            " /Count " + std::to_string(marked.size()) + " >>\nendobj\n");
    for (std::size_t i = 0; i < marked.size(); ++i) {
        const std::uint32_t item = firstItem + std::uint32_t(i);
        BeginObject(item);
        Put("<< /Title " + PdfTextString(bookmarks_[marked[i]]) + " /Parent " + Ref(kOutlines) +
            (i ? " /Prev " + Ref(item - 1) : std::string()) +
            (i + 1 < marked.size() ? " /Next " + Ref(item + 1) : std::string()) + " /Dest [" + Ref(pages_[marked[i]]) +
            " /Fit] >>\nendobj\n");
    }

    // PDF/A's output intent: the grey profile that the pages' DeviceGray is meant for.
    std::string intents;
    if (pdfa_ != Pdfa::None) {
        const std::uint32_t intent = NextObject(), profile = intent + 1;
        BeginObject(intent);
        Put(std::string("<< /Type /OutputIntent /S /GTS_PDFA1 /OutputConditionIdentifier (Custom) /OutputCondition (") +
            kGreyProfileName + ") /Info (" + kGreyProfileName + ") /DestOutputProfile " + Ref(profile) + " >>\nendobj\n");
        PutStream(profile, "/N 1", GreyIccProfile().data(), GreyIccProfile().size());
        intents = " /OutputIntents [" + Ref(intent) + "]";
    }

    BeginObject(kCatalog);
    Put("<< /Type /Catalog" + std::string(userUnits_ && pdfa_ == Pdfa::None ? " /Version /1.6" : "") + " /Pages " +
        Ref(kPages) + " /Metadata " + Ref(kMetadata) + " /Outlines " + Ref(kOutlines) + intents +
        (marked.empty() ? std::string() : " /PageMode /UseOutlines") + " >>\nendobj\n");

    // The identifier: both halves the same, since this is the file's first version.
    const std::string id = FileId();
    const std::string trailer = "/Root " + Ref(kCatalog) + " /Info " + Ref(kInfo) + " /ID [" + id + " " + id + "]";
    if (pdfa_ == Pdfa::None) {
        // A cross-reference stream: an offset in as few bytes as the file needs, 5 bytes an object
        // where the table takes 20. The stream's own entry is its offset.
        const std::uint32_t number = NextObject();
        offsets_.resize(number + 1, 0);
        offsets_[number] = offset_;
        int width = 1;
        while (width < 8 && (offset_ >> (8 * width)) != 0) ++width;
        std::string entries;
        for (std::size_t i = 0; i < offsets_.size(); ++i) {
            entries += char(i == 0 ? 0 : 1);
            for (int b = width - 1; b >= 0; --b) entries += char(i == 0 ? 0 : (offsets_[i] >> (8 * b)) & 0xFF);
        }
        const std::uint64_t xref = offset_;
        PutStream(number, "/Type /XRef /Size " + std::to_string(offsets_.size()) + " /W [1 " + std::to_string(width) + " 0] " + trailer,
                  entries.data(), entries.size());
        Put("startxref\n" + std::to_string(xref) + "\n%%EOF\n");
        return ok_;
    }
    const std::uint64_t xref = offset_;
    std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets_.size(); ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[i]));
        table += entry;
    }
    Put(table + "trailer\n<< /Size " + std::to_string(offsets_.size()) + " " + trailer + " >>\nstartxref\n" +
        std::to_string(xref) + "\n%%EOF\n");
    return ok_;
}

} // namespace scanleaf::core
