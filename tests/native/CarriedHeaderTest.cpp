// A header as it travels in XMP and comes home: the bytes and records back as written (other
// writers' forms of the packet too), the bytes unchanged while records and picture agree, a header
// made of edited records with the picture's own records winning, and what cannot be carried named.
#include "core/cals/CarriedHeader.h"
#include "core/cals/CalsImage.h"
#include "core/tiff/TiffReader.h"
#include "core/native/StandIns.h"

#include <gtest/gtest.h>

namespace {

using namespace scanleaf::core;

std::string Header(const std::vector<std::string>& records, char pad = ' ') {
    std::string header;
    for (const std::string& r : records) header += r + std::string(kSlotSize - r.size(), pad);
    return header + std::string(kHeaderSize - header.size(), pad);
}

const std::string kPlain = Header({"srcdocid: A3 <&> 1", "docls: 3", "RTYPE: 1", "rorient: 090,270", "rpelcnt: 97,61", "rdensty: 300"});

CarriedHeader Carried(const std::string& header) {
    return CarryHeader(reinterpret_cast<const unsigned char*>(header.data()), StandInCodePage(1252));
}

PagePicture Picture(std::uint32_t w, std::uint32_t h, std::uint32_t dpi, int path, int lines) {
    PagePicture p;
    p.width = w, p.height = h, p.dpi = dpi, p.pelPath = path, p.lineProgression = lines;
    return p;
}

TEST(CarriedHeader, ComesBackFromItsPacketAsWritten) {
    const std::string headers[] = {kPlain, Header({"rtype:\t1\t", "notes: caf\xE9"}, '\0'), std::string(kHeaderSize, ' ')};
    for (const std::string& header : headers) {
        const CarriedHeader carried = Carried(header);
        for (bool padded : {true, false}) {
            std::string problem = "not cleared";
            const CarriedHeader back = XmpHeader(XmpPacket(SL_T("t"), {{SL_T("a"), SL_T("b")}}, XmpPdfa(), padded, carried), problem);
            EXPECT_EQ("", problem);
            EXPECT_EQ(header, back.bytes);
            EXPECT_EQ(carried.records, back.records);
        }
    }
    EXPECT_EQ((std::vector<Text>{SL_T("rtype:\t1"), SL_T("notes: caf\u00e9")}), Carried(headers[1]).records);
    // Another writer's packet: its own prefixes, an empty item, the bytes wrapped.
    const std::string bytes = XmpPacket(SL_T(""), {}, XmpPdfa(), false, Carried(headers[1]));
    const std::size_t at = bytes.find(" cals:bytes=\"") + 13;
    const std::string base64 = bytes.substr(at, bytes.find('"', at) - at);
    const std::string other = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><r:RDF xmlns:r='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                              "<r:Description xmlns:h='urn:scanleaf:cals-header:1.0/'><h:bytes>" +
                              base64.substr(0, 100) + "\n  " + base64.substr(100) +
                              "</h:bytes><h:records><r:Seq><r:li>a: 1</r:li><r:li/><r:li>b &amp; c</r:li></r:Seq></h:records>"
                              "</r:Description></r:RDF></x:xmpmeta>";
    std::string problem;
    const CarriedHeader back = XmpHeader(other, problem);
    EXPECT_EQ("", problem);
    EXPECT_EQ(headers[1], back.bytes);
    EXPECT_EQ((std::vector<Text>{SL_T("a: 1"), SL_T(""), SL_T("b & c")}), back.records);
}

// The bytes travel by their sum where the records in the standard layout make them, as they are
// where not; either way they come back exactly, and records edited since are known as edited.
TEST(CarriedHeader, TravelsInItsShortestExactForm) {
    std::string gap = kPlain, tab = kPlain, high = kPlain, nul = kPlain, lf = kPlain, cr = kPlain;
    gap.replace(128, 128, std::string(128, ' ')); // a blank slot between records
    tab[200] = '\t';
    high[20] = '\xE9';
    nul[2047] = '\0';
    lf[132] = '\n';
    cr[132] = '\r';
    const struct {
        const char* name;
        std::string header;
        bool bySum;
        bool byLines; // the records one a line, else as an array
    } cases[] = {
        {"records in the standard layout", kPlain, true, true},
        {"all blank", std::string(kHeaderSize, ' '), true, false},
        {"a blank slot between records", gap, false, true},
        {"a tab after a record", tab, false, true},
        {"a character past ASCII", high, false, true},
        {"a NUL in the padding", nul, false, true},
        {"a line feed in a record", lf, false, false},
        {"a carriage return in a record", cr, false, true},
    };
    for (const auto& c : cases) {
        const CarriedHeader carried = Carried(c.header);
        const std::string packet = XmpPacket(SL_T("t"), {}, XmpPdfa(), false, carried);
        EXPECT_EQ(c.bySum, packet.find(" cals:sum=\"") != std::string::npos) << c.name;
        EXPECT_EQ(!c.bySum, packet.find(" cals:bytes=\"") != std::string::npos) << c.name;
        EXPECT_EQ(c.byLines, packet.find("<cals:lines>") != std::string::npos) << c.name;
        std::string problem;
        const CarriedHeader back = XmpHeader(packet, problem);
        EXPECT_EQ("", problem) << c.name;
        EXPECT_EQ(c.header, back.bytes) << c.name;
        EXPECT_EQ(carried.records, back.records) << c.name;
        EXPECT_FALSE(back.edited) << c.name;
    }
    // A plain header's packet is its records and a sum: under a kilobyte.
    EXPECT_LT(XmpPacket(SL_T(""), {}, XmpPdfa(), false, Carried(kPlain)).size(), 1024u);
    // Records edited in a packet of the sum: made again from the records, as another program's edit is.
    std::string packet = XmpPacket(SL_T("t"), {}, XmpPdfa(), false, Carried(kPlain));
    packet.replace(packet.find("docls: 3"), 8, "docls: 4");
    std::string problem;
    const CarriedHeader edited = XmpHeader(packet, problem);
    EXPECT_EQ("", problem);
    EXPECT_TRUE(edited.edited);
    EXPECT_FALSE(edited.Empty());
    std::string header;
    HeaderHome how = HeaderHome::AsItWas;
    ASSERT_TRUE(HomeHeader(edited, Picture(61, 97, 300, 90, 270), StandInCodePage(1252), header, how, problem)) << problem;
    EXPECT_EQ(HeaderHome::RecordsEdited, how);
    EXPECT_NE(std::string::npos, header.find("docls: 4"));
    // A sum that is none is named.
    packet = XmpPacket(SL_T("t"), {}, XmpPdfa(), false, Carried(kPlain));
    packet.replace(packet.find(" cals:sum=\"") + 11, 3, "xyz");
    EXPECT_TRUE(XmpHeader(packet, problem).Empty());
    EXPECT_EQ("its XMP header sum is no sum of 2048 bytes", problem);
}

// Packets of many megabytes shaped to make a search start again and again: each is read or
// refused in one pass (a quadratic search would not end within the test's time).
TEST(CarriedHeader, PacketsOfMegabytesAreReadInOnePass) {
    auto repeated = [](const std::string& head, const std::string& unit) {
        std::string packet = head;
        while (packet.size() < (8u << 20)) packet += unit;
        return packet;
    };
    const std::string ns = "<d xmlns:h='urn:scanleaf:cals-header:1.0/' xmlns:c='urn:scanleaf:card:1.0/' ";
    const struct {
        const char* name;
        std::string packet;
    } cases[] = {
        {"declarations whose quote is never closed", repeated("<d ", " xmlns:a=\"")},
        {"sums whose quote is never closed", repeated(ns + "h:sum='0123456789abcdef'>", " h:sum=\"")},
        {"items without a tag", repeated(ns + "h:sum='0123456789abcdef'><h:records>", ":li") + "</h:records>"},
        {"card attributes whose quote is never closed", repeated(ns + "c:a=\"", " c:b=")},
        {"tags without an end", repeated(ns + ">", "<c:x")},
    };
    for (const auto& c : cases) {
        std::string problem;
        const CarriedHeader header = XmpHeader(c.packet, problem);
        EXPECT_TRUE(header.bytes.empty()) << c.name;
        XmpCard(c.packet, problem);
        XmpTitle(c.packet);
    }
}

TEST(CarriedHeader, PacketsThatCannotBeReadAreNamed) {
    const std::string ns = "<d xmlns:h='urn:scanleaf:cals-header:1.0/'>";
    const struct {
        std::string packet, problem;
    } cases[] = {
        {ns + "<h:bytes>AAAA</h:bytes><h:records></h:records></d>", "its XMP header bytes are no base64 of 2048 bytes"},
        {ns + "<h:bytes>A*AA</h:bytes><h:records></h:records></d>", "its XMP header bytes are no base64 of 2048 bytes"},
        {ns + "<h:bytes>" + std::string(2731, 'A') + "=</h:bytes><h:records><r:li>a<b/></r:li></h:records></d>",
         "its XMP header records hold no simple text"},
        {ns + "<h:bytes>" + std::string(2731, 'A') + "=</h:bytes></d>", ""}, // no records: carries nothing
        {"<d><h:bytes>AAAA</h:bytes></d>", ""},                                     // not the namespace
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_TRUE(XmpHeader(c.packet, problem).Empty()) << c.packet.substr(0, 80);
        EXPECT_EQ(c.problem, problem);
    }
}

TEST(CarriedHeader, ComesHomeAsItWasOrMadeOfItsRecords) {
    const TableCodePage& cp = StandInCodePage(1252);
    const PagePicture own = Picture(97, 61, 300, 90, 270);
    const struct {
        const char* what;
        std::vector<std::string> edit; // records after another program, empty: untouched
        PagePicture picture;
        HeaderHome how;
        std::string header; // expected; empty: kPlain
    } cases[] = {
        {"untouched", {}, own, HeaderHome::AsItWas, ""},
        {"records edited", {"docls: 4", "rpelcnt: 1,1", "notes: new"}, own, HeaderHome::RecordsEdited,
         Header({"docls: 4", "rpelcnt: 000097,000061", "notes: new", "rtype: 1", "rorient: 090,270", "rdensty: 0300"})},
        {"picture turned and larger", {}, Picture(98, 61, 400, 0, 270), HeaderHome::PictureChanged,
         Header({"srcdocid: A3 <&> 1", "docls: 3", "rtype: 1", "rorient: 000,270", "rpelcnt: 000098,000061", "rdensty: 0400"})},
    };
    for (const auto& c : cases) {
        CarriedHeader carried = Carried(kPlain);
        if (!c.edit.empty()) {
            carried.records.clear();
            for (const std::string& r : c.edit) carried.records.push_back(Ascii(r));
        }
        std::string header, problem;
        HeaderHome how = HeaderHome::AsItWas;
        ASSERT_TRUE(HomeHeader(carried, c.picture, cp, header, how, problem)) << c.what << ": " << problem;
        EXPECT_EQ(c.how, how) << c.what;
        EXPECT_EQ(c.header.empty() ? kPlain : c.header, header) << c.what;
        const CalsImageInfo info = ReadImageInfo(reinterpret_cast<const unsigned char*>(header.data()));
        EXPECT_TRUE(info.type1 && info.width == c.picture.width && info.density == c.picture.dpi) << c.what;
    }
    // A header without rdensty gives 200 dpi, and one without rorient 000,270: they agree with such a picture.
    const std::string bare = Header({"rtype: 1", "rpelcnt: 000010,000020", "rdensty: NONE"});
    std::string header, problem;
    HeaderHome how;
    EXPECT_TRUE(HomeHeader(Carried(bare), Picture(10, 20, 200, 0, 270), cp, header, how, problem));
    EXPECT_EQ(HeaderHome::AsItWas, how);
    EXPECT_EQ(bare, header);
}

// A header that lies is held to what the tool writes, each mend named: rtype 1, one record of
// each name; a record the code page cannot hold is named with what it becomes.
TEST(CarriedHeader, HeadersThatLieAreMendedAndSaid) {
    const TableCodePage& cp = StandInCodePage(1252);
    const PagePicture own = Picture(97, 61, 300, 90, 270);
    const std::string rest = "rpelcnt: 000097,000061";
    const struct {
        const char* what;
        std::vector<std::string> records;
        std::vector<std::string> edit; // records changed since, empty: none
        HeaderHome how;
        std::vector<std::string> header, mended;
    } cases[] = {
        {"rtype 2", {"rtype: 2", rest, "rdensty: 0300", "rorient: 090,270"}, {}, HeaderHome::Mended,
         {"rtype: 1", rest, "rdensty: 0300", "rorient: 090,270"}, {"rtype: 2 made rtype: 1"}},
        {"no rtype", {rest, "rdensty: 0300", "rorient: 090,270"}, {}, HeaderHome::Mended,
         {rest, "rdensty: 0300", "rorient: 090,270", "rtype: 1"}, {"no rtype: rtype: 1 added"}},
        {"a second rpelcnt", {"rtype: 1", rest, "rpelcnt: 009999,009999", "rdensty: 0300", "rorient: 090,270"}, {}, HeaderHome::Mended,
         {"rtype: 1", rest, "", "rdensty: 0300", "rorient: 090,270"}, {"a second rpelcnt record (rpelcnt: 009999,009999) dropped"}},
        {"beyond the code page", {"rtype: 1", rest, "rdensty: 0300", "rorient: 090,270"},
         {"rtype: 1", rest, "rdensty: 0300", "rorient: 090,270", "notes: \xCE\xA9"}, HeaderHome::RecordsEdited,
         {"rtype: 1", rest, "rdensty: 0300", "rorient: 090,270", "notes: ?"},
         {"its header record 5 (notes: \xCE\xA9) holds characters this machine's code page cannot: written as notes: ?"}},
    };
    for (const auto& c : cases) {
        CarriedHeader carried = Carried(Header(c.records));
        if (!c.edit.empty()) {
            carried.records.clear();
            for (const std::string& r : c.edit) carried.records.push_back(FromUtf8(r));
        }
        std::string header, problem;
        HeaderHome how = HeaderHome::AsItWas;
        std::vector<std::string> mended;
        ASSERT_TRUE(HomeHeader(carried, own, cp, header, how, problem, &mended)) << c.what << ": " << problem;
        EXPECT_EQ(c.how, how) << c.what;
        EXPECT_EQ(Header(c.header), header) << c.what;
        EXPECT_EQ(c.mended, mended) << c.what;
    }
}

TEST(CarriedHeader, WhatCannotBeMadeIsNamed) {
    const TableCodePage& cp = StandInCodePage(1252);
    const PagePicture own = Picture(97, 61, 300, 90, 270);
    CarriedHeader many = Carried(kPlain), longRecord = Carried(kPlain), full = Carried(kPlain);
    many.records.assign(17, SL_T("a: b"));
    longRecord.records.push_back(Text(129, 'x'));
    full.records.clear();
    for (int r = 0; r < 16; ++r) full.records.push_back(Ascii("a" + std::to_string(r) + ": b"));
    const struct {
        CarriedHeader carried;
        std::string problem;
    } cases[] = {
        {many, "its XMP names 17 header records, more than a header's 16 slots"},
        {longRecord, "its header record 7 is longer than a slot's 128 bytes"},
        {full, "no slot is free for its rtype record"},
    };
    for (const auto& c : cases) {
        std::string header, problem;
        HeaderHome how;
        EXPECT_FALSE(HomeHeader(c.carried, own, cp, header, how, problem));
        EXPECT_EQ(c.problem, problem);
    }
}

TEST(PaletteDark, BlackAndWhiteAsTheyAreOthersByThreshold) {
    const std::uint16_t black[3] = {0, 0, 0}, white[3] = {65535, 65535, 65535}, grey[3] = {0xD3D3, 0xD3D3, 0xD3D3},
                        brown[3] = {0x6500, 0x4300, 0x2100};
    const struct {
        const std::uint16_t *first, *second;
        int threshold;
        bool ok, dark0, dark1;
    } cases[] = {
        {white, black, -1, true, false, true}, {black, white, -1, true, true, false}, {black, black, -1, true, true, true},
        {grey, brown, -1, false, false, false}, {grey, brown, 50, true, false, true}, {brown, grey, 50, true, true, false},
        {grey, brown, 90, true, true, true},    {grey, brown, 10, true, false, false},
    };
    for (const auto& c : cases) {
        bool dark[2] = {};
        std::string problem;
        EXPECT_EQ(c.ok, PaletteDark(c.first, c.second, c.threshold, dark, problem)) << c.threshold;
        if (c.ok) EXPECT_TRUE(dark[0] == c.dark0 && dark[1] == c.dark1) << c.threshold;
        else EXPECT_NE("", problem);
    }
}

} // namespace
