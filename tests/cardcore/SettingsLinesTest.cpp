// The settings file as a person wrote it: each slip on its line, and where each key stands.
#include "cardcore/SettingsLines.h"

#include <gtest/gtest.h>

namespace {

using namespace scanleaf::core;

std::string Narrow(const Text& text) { return ToUtf8(text); }

TEST(SettingsLines, EverySlipOnItsLine) {
    const struct {
        const char* file;
        std::size_t line;
        bool error;
        const char* section;
        const char* message; // empty: no slip
    } cases[] = {
        {"; a comment\r\n[srcdocid]\r\nTagnames=a;b\r\nTagpositions=1-2;3-4\r\n\r\nReadonly = 1\r\n", 0, false, "", ""},
        {"[srcdocid]\nTagname=a;b\n", 2, false, "srcdocid", "unknown key \"Tagname\""},
        {"[rtype]\nTagnames=a\n[rorient\nReadonly=1\n", 3, true, "rtype", "the section header [rorient has no \"]\""},
        {"[rtype]\nTagnames=a\n[rorient\nReadonly=1\n", 4, true, "rtype", "Readonly counts for [rtype], under the unclosed header"},
        {"[rtype\nReadonly=1\n", 1, true, "", "its keys count for no section"},
        {"Readonly=1\n[rtype]\n", 1, false, "", "the key \"Readonly\" stands before the first section"},
        {"[rtype]\nread only\n", 2, false, "rtype", "neither a section, a key nor a comment"},
        {"[rtype]\n# note\n", 2, false, "rtype", "neither a section, a key nor a comment"},
        {"[rtype] x\n", 1, false, "rtype", "text after the section header's \"]\" is ignored: \" x\""},
        {"[rtype]\nReadonly=1\nREADONLY=0\n", 3, false, "rtype", "a second READONLY in the section is ignored: the one in line 2"},
    };
    for (const auto& c : cases) {
        const SettingsLines read = ReadSettingsLines(FromUtf8(c.file));
        if (!*c.message) {
            EXPECT_TRUE(read.slips.empty()) << c.file << Narrow(read.slips.front().message);
            continue;
        }
        bool found = false;
        for (const SettingsSlip& slip : read.slips) {
            if (Narrow(slip.message).find(c.message) == std::string::npos) continue;
            found = true;
            EXPECT_EQ(c.line, slip.line) << c.file;
            EXPECT_EQ(c.error, slip.error) << c.file;
            EXPECT_EQ(c.section, Narrow(slip.section)) << c.file;
        }
        EXPECT_TRUE(found) << c.file << " lacks: " << c.message;
    }
}

TEST(SettingsLines, KeysAndSectionsByLineWhateverTheirCase) {
    const SettingsLines read = ReadSettingsLines(FromUtf8("[SrcDocId]\r\n  TagNames=a\r\n\r\n[rtype]\r\nReadonly=1"));
    EXPECT_EQ(2u, read.LineOf(SL_T("srcdocid"), SL_T("tagnames")));
    EXPECT_EQ(5u, read.LineOf(SL_T("RTYPE"), SL_T("READONLY")));
    EXPECT_EQ(0u, read.LineOf(SL_T("rtype"), SL_T("tagnames")));
    EXPECT_EQ(4u, read.SectionLine(SL_T("RType")));
}

// A settings file saved as UTF-8 where the plug-in reads a single-byte code page: the first line
// that holds a sequence of two or more bytes; nothing for ASCII, for 8-bit text that is no UTF-8,
// and for a broken sequence.
TEST(SettingsLines, FindsTheFirstLineOfUtf8) {
    const struct {
        std::string bytes;
        std::size_t line;
        const char* text;
    } cases[] = {
        {"[srcdocid]\r\nTagnames=a;b\r\n", 0, ""},
        {"[Gr\xC3\xB6\xC3\x9F" "e]\r\nReadonly=1\r\n", 1, "[Gr\xC3\xB6\xC3\x9F" "e]"},
        {"[a]\r\nTagnames=x;\xE2\x82\xAC;y\r\n[b]\r\nTagnames=\xC3\xA9\n", 2, "Tagnames=x;\xE2\x82\xAC;y"},
        {"[caf\xE9]\r\n", 0, ""},                    // code page 1252: no UTF-8
        {"[a]\r\nTagnames=\xC3\xA9;\xE9\r\n", 0, ""}, // UTF-8 then a byte that is none
        {"[a\xC3]", 0, ""},                           // cut short
        {"[a\xC0\xAF]", 0, ""},                       // an overlong form
        {"[a\xED\xA0\x80]", 0, ""},                   // a surrogate
        {"\xF0\x9F\x93\x90", 1, "\xF0\x9F\x93\x90"},
    };
    for (const auto& c : cases) {
        const Utf8Finding found = FindUtf8(c.bytes);
        EXPECT_EQ(c.line, found.line) << c.bytes;
        EXPECT_EQ(c.text, found.text) << c.bytes;
    }
}

} // namespace
