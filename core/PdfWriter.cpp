#include "core/PdfWriter.h"

#include <algorithm>
#include <cmath>

#include <cstdio>

namespace scanleaf::core {

namespace {

// Fixed object numbers; the pages' objects follow, three a page, then the outline's items.
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

// Text as XML content in UTF-8: the markup characters as entities, and the control characters
// that XML 1.0 has no place for as U+FFFD.
std::string XmlText(Text text) {
    for (Unit& c : text)
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') c = Unit(0xFFFD);
    return ToUtf8(MarkupEscaped(text));
}

bool NameStart(Unit c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool NameChar(Unit c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

} // namespace

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

std::string XmpPropertyName(const Text& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const Unit c = name[i];
        const bool plain = i == 0 ? NameStart(c) : NameChar(c);
        // "_x" itself is escaped, so that the name reads back without doubt.
        const bool startsEscape = c == '_' && i + 1 < name.size() && name[i + 1] == 'x';
        if (plain && !startsEscape) {
            out += char(c);
            continue;
        }
        char code[16];
        std::snprintf(code, sizeof code, "_x%04X_", unsigned(std::uint16_t(c)));
        out += code;
    }
    return out.empty() ? "_" : out;
}

std::string XmpPacket(const Text& title, const CardValues& card) {
    std::string xml =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:card=\"" +
        std::string(kCardNamespace) + "\">\n";
    if (!title.empty())
        xml += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(title) +
               "</rdf:li></rdf:Alt></dc:title>\n";
    for (const auto& [name, value] : card) {
        const std::string property = "card:" + XmpPropertyName(name);
        xml += "<" + property + ">" + XmlText(value) + "</" + property + ">\n";
    }
    xml += "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n";
    // Room for an editor to grow the packet in place, as XMP asks.
    for (int i = 0; i < 10; ++i) xml += std::string(99, ' ') + "\n";
    return xml + "<?xpacket end=\"w\"?>";
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

PdfWriter::PdfWriter(ByteSink sink) : sink_(std::move(sink)), offsets_(kFirstPage, 0) {}

bool PdfWriter::PutBytes(const char* bytes, std::size_t size) {
    ok_ = ok_ && sink_(bytes, size);
    offset_ += size;
    return ok_;
}

bool PdfWriter::Put(const std::string& text) { return PutBytes(text.data(), text.size()); }

bool PdfWriter::BeginObject(std::uint32_t number) {
    if (offsets_.size() <= number) offsets_.resize(number + 1, 0);
    offsets_[number] = offset_;
    return Put(std::to_string(number) + " 0 obj\n");
}

bool PdfWriter::Begin() { return Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"); }

bool PdfWriter::AddPage(const PdfPage& page, const std::uint8_t* stream, std::size_t size) {
    const std::uint32_t image = std::uint32_t(offsets_.size() < kFirstPage ? kFirstPage : offsets_.size());
    const std::uint32_t content = image + 1, object = image + 2;
    const std::string w = std::to_string(page.width), h = std::to_string(page.height);
    // The filter gives the code's black pels as 0 (BlackIs1 false, its default), which DeviceGray
    // shows black: the CALS stream's white runs come out white.
    BeginObject(image);
    Put("<< /Type /XObject /Subtype /Image /Width " + w + " /Height " + h +
        " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " + w +
        " /Rows " + h + " >> /Length " + std::to_string(size) + " >>\nstream\n");
    PutBytes(reinterpret_cast<const char*>(stream), size);
    Put("\nendstream\nendobj\n");

    const std::uint32_t unit = PdfUserUnit(page);
    userUnits_ = userUnits_ || unit > 1;
    const std::string draw = "q " + PdfImageMatrix(page, unit) + " cm /Im0 Do Q\n";
    BeginObject(content);
    Put("<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "endstream\nendobj\n");

    const double shownWidth = Points(Turned(page) ? page.height : page.width, page.dpi) / unit;
    const double shownHeight = Points(Turned(page) ? page.width : page.height, page.dpi) / unit;
    BeginObject(object);
    Put("<< /Type /Page /Parent " + Ref(kPages) + " /MediaBox [0 0 " + Number(shownWidth) + " " + Number(shownHeight) +
        "]" + (unit > 1 ? " /UserUnit " + std::to_string(unit) : std::string()) + " /Resources << /XObject << /Im0 " + Ref(image) + " >> >> /Contents " + Ref(content) + " >>\nendobj\n");
    pages_.push_back(object);
    bookmarks_.push_back(page.bookmark);
    return ok_;
}

bool PdfWriter::Finish(const Text& title, const CardValues& card) {
    std::string kids;
    for (std::uint32_t p : pages_) kids += (kids.empty() ? "" : " ") + Ref(p);
    BeginObject(kPages);
    Put("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>\nendobj\n");

    BeginObject(kInfo);
    Put("<< " + (title.empty() ? std::string() : "/Title " + PdfTextString(title) + " ") +
        "/Producer (Scanleaf) >>\nendobj\n");

    const std::string xmp = XmpPacket(title, card);
    BeginObject(kMetadata);
    Put("<< /Type /Metadata /Subtype /XML /Length " + std::to_string(xmp.size()) + " >>\nstream\n" + xmp +
        "\nendstream\nendobj\n");

    // The outline: one item per page that has a bookmark, in page order.
    std::vector<std::size_t> marked;
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (!bookmarks_[i].empty()) marked.push_back(i);
    const std::uint32_t firstItem = std::uint32_t(offsets_.size());
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

    BeginObject(kCatalog);
    Put("<< /Type /Catalog" + std::string(userUnits_ ? " /Version /1.6" : "") + " /Pages " + Ref(kPages) +
        " /Metadata " + Ref(kMetadata) + " /Outlines " + Ref(kOutlines) +
        (marked.empty() ? std::string() : " /PageMode /UseOutlines") + " >>\nendobj\n");

    const std::uint64_t xref = offset_;
    std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets_.size(); ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[i]));
        table += entry;
    }
    Put(table + "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + Ref(kCatalog) + " /Info " +
        Ref(kInfo) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
    return ok_;
}

} // namespace scanleaf::core
