// Rebuilt records and header images, byte for byte; keeping records inside their slots.
#include "navigator/HeaderCheck.h"
#include "core/cals/HeaderRecord.h"
#include "hostenv/SystemText.h"
#include "navigator/TagFinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace scanleaf;

namespace {

// The cut in one of the system's code pages.
std::size_t CharBoundaryCut(const char* bytes, std::size_t length, std::size_t maxBytes, UINT codePage) {
    return core::CharBoundaryCut(bytes, length, maxBytes, WindowsCodePage(codePage));
}

Tag HeaderTag(std::wstring name, std::wstring value) {
    Tag tag;
    tag.name = std::move(name);
    tag.value = std::move(value);
    tag.valueWidth = 126 - static_cast<int>(tag.name.size());
    return tag;
}

std::string Slot(const std::string& text, char fill) { return text + std::string(128 - text.size(), fill); }

// Lays one record into the middle of three slots, so that a write past either end shows.
std::string Record(const TagFinder& finder, const Tag& tag) {
    std::vector<unsigned char> buffer(3 * 128, 0xA5);
    finder.WriteRecord(tag, buffer.data() + 128);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(buffer[i], 0xA5) << "before the slot, at " << i;
        EXPECT_EQ(buffer[256 + i], 0xA5) << "after the slot, at " << i;
    }
    return std::string(buffer.begin() + 128, buffer.begin() + 256);
}

TEST(WriteRecord, LaysNameColonSpaceValueAndTheFillByte) {
    const std::string hundred(100, 'v');
    const std::wstring notes(200, L'n');
    const std::string name126(126, 'a'), name127(127, 'b'), name128(128, 'c');
    Tag sub = HeaderTag(L"date", L"20240305 and more");
    sub.subTags = {{L"yy", 3, 4}, {L"dd", 7, 8}};
    sub.valueWidth = 8;
    Tag noWidth = HeaderTag(L"x", L"value");
    noWidth.valueWidth = -5;

    const struct {
        Tag tag;
        unsigned char fill;
        std::string expected;
    } cases[] = {
        {HeaderTag(L"rtype", L"1"), ' ', Slot("rtype: 1", ' ')},
        {HeaderTag(L"rtype", L"1"), 0, Slot("rtype: 1", '\0')},
        {HeaderTag(L"rtype", L""), '#', Slot("rtype: ", '#')},
        {HeaderTag(L"abc", L"d:e\r\n  "), ' ', Slot("abc: d:e\r\n  ", ' ')}, // laid unchanged
        {HeaderTag(L"notes", notes), ' ', "notes: " + std::string(121, 'n')},
        {HeaderTag(L"", L"x"), ' ', Slot(": x", ' ')},
        {sub, ' ', Slot("date: 20240305", ' ')}, // cut at the last sub-field's end
        {noWidth, ' ', Slot("x: ", ' ')},
        {HeaderTag(std::wstring(126, L'a'), L"lost"), ' ', name126 + ": "},
        // No room left for the value, nor for the space: the slot still ends at 128 bytes.
        {HeaderTag(std::wstring(127, L'b'), L"lost"), ' ', name127 + ":"},
        {HeaderTag(std::wstring(128, L'c'), L"lost"), ' ', name128},
        {HeaderTag(L"latin", L"\u00e9t\u00e9"), ' ', Slot("latin: \xe9t\xe9", ' ')},
    };
    for (const auto& c : cases) {
        TagFinder finder;
        finder.fillByte = c.fill;
        EXPECT_EQ(Record(finder, c.tag), c.expected) << testing::PrintToString(c.expected);
    }
}

TEST(CharBoundaryCut, NeverSplitsADoubleByteCharacter) {
    // Code page 932: kana of one byte, kanji of two, under a prefix of 0 to 3 ASCII bytes so
    // that the slot's end falls on every kind of position.
    for (int prefix = 0; prefix < 4; ++prefix) {
        std::wstring text = std::wstring(prefix, L'a') + L"name: ";
        for (int i = 0; i < 70; ++i) text += (i % 5 == 4) ? L"\uff71" : L"\u6f22"; // half-width a, kanji
        int n = WideCharToMultiByte(932, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        ASSERT_GT(n, 0) << "code page 932 missing";
        std::string bytes(n, '\0');
        WideCharToMultiByte(932, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
        bytes.resize(n - 1);
        ASSERT_GT(bytes.size(), 128u);

        std::size_t cut = CharBoundaryCut(bytes.data(), bytes.size(), 128, 932);
        EXPECT_LE(cut, 128u);
        EXPECT_GE(cut, 127u);
        // The kept bytes decode to whole characters: a prefix of the text.
        int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(cut), nullptr, 0);
        ASSERT_GT(wide, 0);
        std::wstring back(wide, L'\0');
        MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(cut), &back[0], wide);
        EXPECT_EQ(back, text.substr(0, back.size())) << "prefix " << prefix;
        // Nothing that would still fit was dropped.
        std::size_t next = cut + (IsDBCSLeadByteEx(932, static_cast<unsigned char>(bytes[cut])) ? 2 : 1);
        EXPECT_GT(next, 128u);
    }
}

TEST(CharBoundaryCut, TextThatFitsIsKeptAndUtf8SequencesStayWhole) {
    EXPECT_EQ(CharBoundaryCut("abc", 3, 128, 1252), 3u);
    std::string latin(130, 'x');
    EXPECT_EQ(CharBoundaryCut(latin.data(), latin.size(), 128, 1252), 128u);
    // U+20AC is three bytes in UTF-8: 126 ASCII bytes leave room for none of it.
    std::string utf8 = std::string(126, 'a') + "\xe2\x82\xac" + "b";
    EXPECT_EQ(CharBoundaryCut(utf8.data(), utf8.size(), 128, CP_UTF8), 126u);
    EXPECT_EQ(CharBoundaryCut(utf8.data(), utf8.size(), 129, CP_UTF8), 129u);
}

TEST(BuildHeader, TakesSlotsInListOrderSkippingDerivedTags) {
    TagFinder finder;
    finder.fillByte = ' ';
    finder.tags.push_back(HeaderTag(L"srcdocid", L"ABC-1"));
    finder.tags.push_back(HeaderTag(L"rpelcnt", L"001728,002200"));
    for (const wchar_t* derived : {L"width", L"height", L"colordepth"}) {
        Tag tag = HeaderTag(derived, L"1");
        tag.inHeader = false;
        tag.readOnly = true;
        finder.tags.push_back(tag);
    }
    finder.tags.push_back(HeaderTag(L"rtype", L"1"));

    std::vector<unsigned char> header(2048, 0);
    finder.BuildHeader(header.data());
    std::string expected = Slot("srcdocid: ABC-1", ' ') + Slot("rpelcnt: 001728,002200", ' ') + Slot("rtype: 1", ' ');
    expected += std::string(2048 - expected.size(), ' ');
    EXPECT_EQ(std::string(header.begin(), header.end()), expected);
}

TEST(BuildHeader, FillsEverySlotOfAnEmptyListAndStopsAtTheParsedArea) {
    TagFinder empty;
    empty.fillByte = 0;
    std::vector<unsigned char> header(2048, 'x');
    empty.BuildHeader(header.data());
    EXPECT_EQ(header, std::vector<unsigned char>(2048, 0));

    TagFinder many;
    many.fillByte = ' ';
    for (int i = 0; i < 20; ++i) many.tags.push_back(HeaderTag(L"t" + std::to_wstring(i), L"v"));
    many.BuildHeader(header.data());
    EXPECT_EQ(std::string(header.begin() + 10 * 128, header.begin() + 10 * 128 + 8), "t10: v  ");
    EXPECT_EQ(std::string(header.begin() + 1408, header.end()), std::string(640, ' '));
}

TEST(SameRecordNames, ComparesTheHeaderTagsWithTheRecordsOnDisk) {
    TagFinder finder;
    finder.tags.push_back(HeaderTag(L"srcdocid", L"a"));
    finder.tags.push_back(HeaderTag(L"rpelcnt", L"1,1"));
    Tag width = HeaderTag(L"width", L"1");
    width.inHeader = false;
    finder.tags.push_back(width);
    auto header = [](std::vector<std::string> slots) {
        std::string bytes;
        for (auto& s : slots) bytes += Slot(s, ' ');
        bytes += std::string(2048 - bytes.size(), ' ');
        return bytes;
    };
    auto same = [&](const std::string& bytes) {
        return SameRecordNames(reinterpret_cast<const unsigned char*>(bytes.data()), finder);
    };
    EXPECT_TRUE(same(header({"srcdocid: a", "rpelcnt: 1,1"})));
    EXPECT_TRUE(same(header({"SRCDOCID : other", "padding", "rpelcnt:9,9"}))); // values and padding don't matter
    EXPECT_FALSE(same(header({"srcdocid: a"})));
    EXPECT_FALSE(same(header({"rpelcnt: 1,1", "srcdocid: a"})));
    EXPECT_FALSE(same(header({"srcdocid: a", "rpelcnt: 1,1", "notes: x"})));
    EXPECT_FALSE(same(std::string(2048, '\x89')));
    EXPECT_FALSE(same(std::string(2048, '\0')));

    // A header laid from the list reads back with the list's names.
    std::vector<unsigned char> built(2048);
    finder.BuildHeader(built.data());
    EXPECT_EQ(RecordNames(built.data()), (std::vector<std::wstring>{L"srcdocid", L"rpelcnt"}));
}

} // namespace
