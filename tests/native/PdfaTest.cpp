// PDF/A and the card in XMP: packets that come back as the card they were written from (and
// other writers' forms of it), packets that cannot be read named, the pages a part cannot hold,
// the grey profile as ICC lays one out, and documents with what PDF/A asks that Preflight (PDF/A-1
// only) does not check: every stream's length exact, the identifier, the output intent, the part,
// a schema naming every card property, and a card on every page's image.
#include "core/pdf/IccProfile.h"
#include "core/pdf/PdfWriter.h"
#include "tests/native/Libtiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using namespace scanleaf::core;

TEST(Xmp, CardsComeBackAsWritten) {
    const CardValues cards[] = {
        {},
        {{SL_T("notes"), SL_T("a < b & \"c\" 'd' >")}},
        {{SL_T("2nd sheet"), SL_T("")}, {SL_T("Gr\u00f6\u00dfe"), SL_T("\u56f3\u9762 \u2713")}, {SL_T("_x"), SL_T(" x ")}},
        {{SL_T("a(b)\\c"), SL_T("line\nbreak\ttab")}, {SL_T("rtitl"), SL_T("NONE")}},
    };
    for (const CardValues& card : cards) {
        for (bool padded : {true, false}) {
            std::string problem = "not cleared";
            EXPECT_EQ(card, XmpCard(XmpPacket(SL_T("title <&>"), card, XmpPdfa(), padded), problem));
            EXPECT_EQ("", problem);
        }
    }
}

TEST(Xmp, OtherWritersFormsAndTheirFaults) {
    const std::string ns = "xmlns:c=\"urn:scanleaf:card:1.0/\"";
    const struct {
        const char* what;
        std::string packet;
        CardValues card;
        const char* problem; // "" when it reads
    } cases[] = {
        {"another prefix, attributes and an empty element",
         "<rdf:Description " + ns + " c:notes='x &amp; y' c:rtitl=\"A&#x2713;&#65;\"><c:srcdocid/></rdf:Description>",
         {{SL_T("notes"), SL_T("x & y")}, {SL_T("rtitl"), SL_T("A\u2713A")}, {SL_T("srcdocid"), SL_T("")}}, ""},
        {"no card namespace", "<rdf:Description xmlns:c=\"urn:other/\"><c:notes>x</c:notes></rdf:Description>", {}, ""},
        {"a comment and text that look like properties",
         "<x " + ns + "><!-- <c:a>1</c:a> --><dc:title>see c:b=\"2\"</dc:title><c:c>3</c:c></x>", {{SL_T("c"), SL_T("3")}}, ""},
        {"a property twice", "<x " + ns + "><c:a>1</c:a><c:a>2</c:a></x>", {}, "the XMP property c:a is given twice"},
        {"a structured value", "<x " + ns + "><c:a><rdf:Alt><rdf:li>1</rdf:li></rdf:Alt></c:a></x>", {},
         "the XMP property c:a is no simple text value"},
        {"a name no variable is written as", "<x " + ns + "><c:_x0041_>1</c:_x0041_></x>", {},
         "the XMP property c:_x0041_ names no variable"},
        {"not closed", "<x " + ns + "><c:a>1</x>", {}, "the XMP property c:a is not closed"},
        {"an unknown entity", "<x " + ns + "><c:a>&nbsp;</c:a></x>", {}, "the XMP property c:a is no simple text value"},
        {"no UTF-8", "<x " + ns + "><c:a>\xE9</c:a></x>", {}, "the XMP property c:a is no UTF-8 text"},
        {"cut inside a tag", "<x " + ns + "><c:a b=", {}, "the XMP packet is no XML"},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_EQ(c.card, XmpCard(c.packet, problem)) << c.what;
        EXPECT_EQ(c.problem, problem) << c.what;
    }
}

TEST(Pdfa, PagesAPartCannotHoldAreNamed) {
    const struct {
        std::uint32_t width, height, dpi;
        Pdfa pdfa;
        const char* problem; // the start of it; "" for none
    } cases[] = {
        {28800, 600, 144, Pdfa::Part1b, ""},                    // exactly 200 inches
        {28801, 600, 144, Pdfa::Part1b, "larger than 200 inches"},
        {28801, 600, 144, Pdfa::Part2b, ""},                    // in user units
        {28801, 600, 144, Pdfa::None, ""},
        {8, 100, 200, Pdfa::Part2b, "narrower than"},           // 2.88 points
        {9, 100, 200, Pdfa::Part1b, ""},                        // 3.24
        {60000, 12, 100, Pdfa::Part2b, "narrower than"},        // 8.64 points, 2.88 units of 3
        {8, 100, 200, Pdfa::None, ""},
    };
    for (const auto& c : cases) {
        PagePicture page;
        page.width = c.width;
        page.height = c.height;
        page.dpi = c.dpi;
        const std::string problem = PdfPageProblem(page, c.pdfa);
        EXPECT_EQ(0u, problem.find(c.problem)) << c.width << "x" << c.height << ": " << problem;
        EXPECT_EQ(*c.problem == 0, problem.empty()) << c.width << "x" << c.height;
    }
}

std::uint32_t Big32(const std::string& s, std::size_t at) {
    return std::uint32_t(std::uint8_t(s[at])) << 24 | std::uint32_t(std::uint8_t(s[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 8 | std::uint8_t(s[at + 3]);
}

TEST(IccProfile, LaidOutAsIccAsks) {
    const std::string& icc = GreyIccProfile();
    ASSERT_GE(icc.size(), 132u);
    EXPECT_EQ(icc.size(), Big32(icc, 0));
    EXPECT_EQ(0x02100000u, Big32(icc, 8));
    EXPECT_EQ("mntrGRAYXYZ ", icc.substr(12, 12));
    EXPECT_EQ("acsp", icc.substr(36, 4));
    const std::uint32_t count = Big32(icc, 128);
    std::string signatures;
    for (std::uint32_t t = 0; t < count; ++t) {
        const std::size_t entry = 132 + 12 * t;
        const std::uint32_t offset = Big32(icc, entry + 4), size = Big32(icc, entry + 8);
        signatures += icc.substr(entry, 4) + " ";
        EXPECT_EQ(0u, offset % 4) << t;
        EXPECT_GE(offset, 132 + 12 * count);
        EXPECT_LE(std::uint64_t(offset) + size, icc.size()) << t;
    }
    EXPECT_EQ("desc cprt wtpt kTRC ", signatures);
}

struct Written {
    std::string pdf;
    std::vector<bool> added;
};

Written WriteDocument(Pdfa pdfa, const std::vector<PdfPage>& pages, const CardValues& card) {
    const libtiff::Rows rows(30, std::vector<std::uint8_t>(8, 0x0F));
    const std::vector<std::uint8_t> stream = libtiff::Encode(rows, 64);
    Written out;
    PdfWriter writer(
        [&out](const char* bytes, std::size_t size) {
            out.pdf.append(bytes, size);
            return true;
        },
        pdfa);
    writer.Begin();
    for (PdfPage page : pages) {
        page.height = 30;
        out.added.push_back(writer.AddPage(page, stream.data(), stream.size()));
    }
    writer.Finish(SL_T("Title \u2713"), card);
    return out;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Every stream's /Length is the count of bytes between its "stream" line and "\nendstream".
void ExpectExactLengths(const std::string& pdf) {
    std::size_t streams = 0;
    for (std::size_t at = pdf.find("\nstream\n"); at != std::string::npos; at = pdf.find("\nstream\n", at + 1)) {
        const std::size_t length = pdf.rfind("/Length ", at);
        ASSERT_NE(std::string::npos, length);
        const std::size_t size = std::stoul(pdf.substr(length + 8));
        EXPECT_EQ("\nendstream\n", pdf.substr(at + 8 + size, 11)) << "the stream at " << at;
        ++streams;
    }
    EXPECT_GT(streams, 0u);
}

TEST(Pdfa, DocumentsCarryWhatPdfaAsks) {
    PdfPage small, large;
    small.width = large.width = 64;
    small.dpi = 200;
    large.width = 28801;
    large.dpi = 144;
    small.title = SL_T("one");
    small.card = {{SL_T("notes"), SL_T("first")}, {SL_T("2nd name"), SL_T("x")}};
    large.card = {{SL_T("notes"), SL_T("second")}, {SL_T("rtitl"), SL_T("y")}};
    for (Pdfa pdfa : {Pdfa::None, Pdfa::Part1b, Pdfa::Part2b}) {
        SCOPED_TRACE(int(pdfa));
        const Written w = WriteDocument(pdfa, {small, large, small}, {{SL_T("doc"), SL_T("z")}});
        const std::string& pdf = w.pdf;
        ExpectExactLengths(pdf);
        // The document's identifier, both halves alike, in every kind.
        const std::size_t id = pdf.find("/ID [<");
        ASSERT_NE(std::string::npos, id);
        EXPECT_EQ(pdf.substr(id + 5, 34), pdf.substr(id + 40, 34));
        EXPECT_EQ(std::string::npos, pdf.find("/Interpolate"));
        // Each image its card, the page longer than PDF/A-1 holds refused there and nowhere else.
        EXPECT_EQ((std::vector<bool>{true, pdfa != Pdfa::Part1b, true}), w.added);
        EXPECT_EQ(2u, Count(pdf, " card:notes=\"first\""));
        EXPECT_EQ(pdfa == Pdfa::Part1b ? 0u : 1u, Count(pdf, " card:notes=\"second\""));
        EXPECT_EQ(pdfa == Pdfa::Part1b ? 2u : 3u, Count(pdf, "/Subtype /Image"));
        // A reference to a packet from each image and from the catalog.
        EXPECT_EQ(Count(pdf, "/Subtype /Image") + 1, Count(pdf, "/Metadata ") - Count(pdf, "/Type /Metadata "));
        EXPECT_EQ(0u, pdf.find(pdfa == Pdfa::Part2b   ? "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n"
                               : pdfa == Pdfa::Part1b ? "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"
                                                      : "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n"));
        // PDF/A asks for a cross-reference table; a document of no part has the shorter stream.
        EXPECT_EQ(pdfa != Pdfa::None, pdf.find("\nxref\n0 ") != std::string::npos);
        if (pdfa == Pdfa::None) {
            EXPECT_EQ(std::string::npos, pdf.find("pdfaid"));
            EXPECT_EQ(std::string::npos, pdf.find("/OutputIntents"));
            continue;
        }
        EXPECT_NE(std::string::npos, pdf.find(std::string("<pdfaid:part>") + (pdfa == Pdfa::Part1b ? "1" : "2") +
                                              "</pdfaid:part>\n<pdfaid:conformance>B</pdfaid:conformance>"));
        EXPECT_NE(std::string::npos, pdf.find("<pdf:Producer>Scanleaf</pdf:Producer>"));
        EXPECT_NE(std::string::npos, pdf.find("/Producer (Scanleaf)"));
        EXPECT_NE(std::string::npos, pdf.find("/OutputIntents ["));
        EXPECT_NE(std::string::npos, pdf.find("/N 1 /Length " + std::to_string(GreyIccProfile().size()) + " >>\nstream\n" + GreyIccProfile()));
        // The schema names every card property of the document once, none that it lacks.
        for (const char* name : {"notes", "_x0032_nd_x0020_name", "doc"})
            EXPECT_EQ(1u, Count(pdf, std::string("<pdfaProperty:name>") + name + "</pdfaProperty:name>")) << name;
        EXPECT_EQ(pdfa == Pdfa::Part1b ? 0u : 1u, Count(pdf, "<pdfaProperty:name>rtitl</pdfaProperty:name>"));
        EXPECT_EQ(pdfa == Pdfa::Part1b ? 3u : 4u, Count(pdf, "<pdfaProperty:name>"));
        libtiff::TempPath path;
        std::ofstream(path.c_str(), std::ios::binary) << pdf;
        EXPECT_EQ(0, std::system((std::string("qpdf --check ") + path.c_str() + " >/dev/null 2>&1").c_str()));
    }
}

} // namespace
