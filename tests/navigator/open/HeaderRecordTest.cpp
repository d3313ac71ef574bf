// Record slots as text: decoding up to the first NUL, the split at the first colon, blanks.
#include "navigator/HeaderRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace scanleaf;
using namespace scanleaf::core;

namespace {

std::vector<unsigned char> Slot(const std::string& text, unsigned char fill) {
    std::vector<unsigned char> slot(kSlotSize, fill);
    std::copy(text.begin(), text.end(), slot.begin());
    return slot;
}

struct SplitCase {
    const char* label;
    std::string text;
    unsigned char fill;
    bool isRecord;
    std::wstring name;
    std::wstring value;
};

} // namespace

TEST(RecordSlot, SlotsSplitIntoNameAndValue) {
    const SplitCase cases[] = {
        {"plain", "rtype: 1", ' ', true, L"rtype", L"1"},
        {"further colons belong to the value", "abc: d:e", ' ', true, L"abc", L"d:e"},
        {"blanks around both", "  abc :  x1   ", 0, true, L"abc", L"x1"},
        {"NUL padding", "abc: 1", 0, true, L"abc", L"1"},
        {"space padding", "abc: 1", ' ', true, L"abc", L"1"},
        {"CR LF before the padding", "abc: 1\r\n", ' ', true, L"abc", L"1"},
        {"tabs, vertical tab, form feed", "\tabc\v:\f1\t", ' ', true, L"abc", L"1"},
        {"empty name", ": value", ' ', true, L"", L"value"},
        {"empty value", "name:", ' ', true, L"name", L""},
        {"colon alone", ":", 0, true, L"", L""},
        {"upper case kept here", "RPELCNT: 001728,002200", ' ', true, L"RPELCNT", L"001728,002200"},
        {"text after a NUL is not read", std::string("abc", 3) + '\0' + "x: 1", ' ', false, L"", L""},
        {"no colon", "free text", ' ', false, L"", L""},
        {"spaces only", "", ' ', false, L"", L""},
        {"NUL bytes only", "", 0, false, L"", L""},
    };
    for (const SplitCase& c : cases) {
        std::vector<unsigned char> slot = Slot(c.text, c.fill);
        std::wstring name = L"untouched";
        std::wstring value = L"untouched";
        bool isRecord = SplitRecord(DecodeSlot(slot.data()), name, value);
        EXPECT_EQ(c.isRecord, isRecord) << c.label;
        if (c.isRecord) {
            EXPECT_EQ(c.name, name) << c.label;
            EXPECT_EQ(c.value, value) << c.label;
        } else {
            EXPECT_EQ(L"untouched", name) << c.label;
        }
    }
}

TEST(RecordSlot, SlotWithoutNulIsTakenWhole) {
    std::string text = "n:" + std::string(126, 'v');
    std::vector<unsigned char> slot = Slot(text, ' ');
    // The byte after the slot must not be read: put a non-NUL there.
    slot.push_back('X');
    std::wstring decoded = DecodeSlot(slot.data());
    ASSERT_EQ(128u, decoded.size());
    std::wstring name, value;
    ASSERT_TRUE(SplitRecord(decoded, name, value));
    EXPECT_EQ(L"n", name);
    EXPECT_EQ(std::wstring(126, L'v'), value);
}

TEST(RecordSlot, BytesDecodeWithTheThreadCodePage) {
    // The tests run with code page 1252: 0xE9 is e acute, 0x80 the euro sign.
    std::vector<unsigned char> slot = Slot("caf\xE9: \x80", ' ');
    std::wstring name, value;
    ASSERT_TRUE(SplitRecord(DecodeSlot(slot.data()), name, value));
    EXPECT_EQ(L"caf\u00E9", name);
    EXPECT_EQ(L"\u20AC", value);
}

TEST(RecordSlot, TrimBlanksStripsOnlyTheEnds) {
    EXPECT_EQ(L"a b", TrimBlanks(L" \t a b \r\n"));
    EXPECT_EQ(L"", TrimBlanks(L" \t\r\n\v\f"));
    EXPECT_EQ(L"", TrimBlanks(L""));
}
