// The card tool never claims more than it did: each command on the inputs that once fooled it
// (a file of another format, a value or date too long for its slot, a style that does not
// exist, a half-bad request, an undone journal, a table imported twice, a broken settings
// file), with its exit code, what it says, and which files' bytes changed.
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>

using namespace testsupport;

namespace {

const char kSettings[] =
    "[srcdocid]\nTagnames=drawingno;sheet;revision\nTagpositions=1-12;14-16;18-19\n"
    "[dstdocid]\nTagnames=scandate;scannedby\nTagpositions=1-10;12-40\n"
    "[rtype]\nReadonly=1\n[rpelcnt]\nReadonly=1\n";

// Public: the steps' own set-up reaches the table and the settings.
class Promises : public testing::Test {
public:
    void SetUp() override {
        settings.WriteSettings(kSettings);
        for (const char* name : {"a", "b"})
            WriteBytes(files.File(Widen(name) + L".cal"),
                       MakeCalsImage({"srcdocid: A3-000471-00 001 B", "dstdocid: 2024-01-01 anna", "rtype: 1",
                                      "rpelcnt: 001728,002200", "notes: NONE"}));
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\foreign.png").c_str(), files.File(L"photo.cal").c_str(), FALSE));
    }
    // The step's arguments with {a}, {b}, {photo}, {folder}, {table}, {journal} and {page} filled in.
    std::wstring Expand(std::wstring args) const {
        const std::map<std::wstring, std::wstring> names = {
            {L"{a}", files.File(L"a.cal")},          {L"{b}", files.File(L"b.cal")},
            {L"{photo}", files.File(L"photo.cal")},  {L"{folder}", files.Path()},
            {L"{table}", scratch.File(L"cards.csv")}, {L"{journal}", scratch.File(L"cards.journal")},
            {L"{page}", scratch.File(L"page.html")},  {L"{pdf}", scratch.File(L"out.pdf")},
            {L"{out}", scratch.Path()}};
        for (const auto& n : names)
            for (size_t at; (at = args.find(n.first)) != std::wstring::npos;) args.replace(at, n.first.size(), Quoted(n.second));
        return args;
    }
    void WriteTable(const std::string& text) const {
        std::wstring table = Expand(Widen(text));
        for (size_t at; (at = table.find(L'"')) != std::wstring::npos;) table.erase(at, 1); // paths bare in a cell
        const std::string bytes = Narrow(table);
        WriteBytes(scratch.File(L"cards.csv"), std::vector<unsigned char>(bytes.begin(), bytes.end()));
    }
    std::map<std::string, std::vector<unsigned char>> Snapshot() const {
        std::map<std::string, std::vector<unsigned char>> bytes;
        for (const char* name : {"a", "b", "photo"}) bytes[name] = ReadBytes(files.File(Widen(name) + L".cal"));
        return bytes;
    }

    HostSettings settings;
    TempFolder files;
    TempFolder scratch;
};

struct Step {
    std::function<void(Promises&)> before; // may be empty
    const wchar_t* args;
    DWORD exit;
    std::vector<std::string> says;  // each in standard output or error
    std::vector<std::string> never; // none of these
    std::string changes;            // the files whose bytes this step changes: "a", "ab", ""
    bool backToStart = false;       // every file as the scenario found it
};

struct Scenario {
    const char* what;
    std::vector<Step> steps;
};

const std::string kStylesThatFit = "the styles that fit: 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 101, 102, 103, 104, 105, 110, "
                                   "111, 112, 120 (--style N)";

TEST_F(Promises, EachCommandOnTheInputsThatOnceFooledIt) {
    const auto exported = [](Promises& p) {
        std::string table = ReadText(p.scratch.File(L"cards.csv"));
        for (size_t at; (at = table.find("A3-000471-00,")) != std::string::npos;) table.replace(at, 13, "A3-000999-00,");
        WriteBytes(p.scratch.File(L"cards.csv"), std::vector<unsigned char>(table.begin(), table.end()));
    };
    const Scenario scenarios[] = {
        {"a file of another format",
         {{{}, L"show {photo}", 1, {"photo.cal: not a CALS file: its first 2048 bytes are not a text header"}, {"[ro]"}, ""},
          {{}, L"set {photo} notes=x", 1, {"photo.cal: not a CALS file"}, {"saved"}, ""},
          {{}, L"export {folder}", 1, {"photo.cal: not a CALS file", "export: files 3, exported 2, failed 1"}, {"PNG", "IHDR"}, ""},
          {[](Promises& p) { p.WriteTable("SourceFile,notes\r\n{photo},x\r\n"); },
           L"import {table}", 1, {"row 2: ", "photo.cal: not a CALS file", "1 problem(s); no file was changed"}, {}, ""},
          {{}, L"verify {folder}", 1, {"photo.cal: not CALS: not a CALS file", "not CALS 1"}, {}, ""},
          {{}, L"render -o {page}.png {photo}", 1, {"photo.cal: not a CALS file"}, {}, ""},
          {{}, L"sheet -o {page} {photo} {a}", 1, {"photo.cal: not a CALS file", "; left out", "left out (not CALS) 1"}, {}, ""},
          {{}, L"convert --to pdf -o {page}.pdf {photo}", 1, {"photo.cal: not a CALS file", "; left out", "left out 1"}, {}, ""}}},
        {"a value too long for its slot",
         {{{}, L"set {a} sheet=123456", 1, {"sheet: \"123456\" does not fit its slot: \"123\" would be stored"}, {"saved"}, ""},
          {{}, L"set {a} --date scandate=2024-03-05", 1,
           {"scandate: 2024-03-05 in date style 0 is \"Mar 05 2024 12:00 AM\", which does not fit its slot: \"Mar 05 202\" "
            "would be stored; " + kStylesThatFit},
           {"saved"}, ""},
          {{}, L"set {a} revision=", 1, {"revision: an empty value is stored as \"NONE\", which does not fit its slot: \"NO\""}, {}, ""},
          {{}, L"set {a} --date scandate=2024-03-05 --style 120 drawingno=A3-1", 0, {"2 value(s) saved"}, {}, "a"}}},
        {"a date style that does not exist",
         {{{}, L"set {a} --date scandate=2024-03-05 --style 999", 1, {"--style 999: no such date style (the styles: 0, 1,"}, {"saved"}, ""},
          {{}, L"set {a} --date scandate=5.3.2024", 2,
           {"scanleaf-card: not a date (YYYY-MM-DD[THH:MM[:SS]]): \"5.3.2024\"\n",
            "usage: scanleaf-card set [--date NAME=YYYY-MM-DD[THH:MM[:SS]]]... [--style N] FILE NAME=VALUE...  "
            "(scanleaf-card help set for more)\n"},
           {"import [--dry-run]"}, ""}}},
        {"a half-bad request",
         {{{}, L"set {a} rtype=2 bogus=1 notes=X notes=Y", 1,
           {"rtype: read-only: the request changes \"1\" to \"2\"", "bogus: not a variable of", "notes: named twice",
            "3 problem(s); the file was not changed"},
           {"saved"}, ""}}},
        {"an undone journal",
         {{[](Promises& p) { p.WriteTable("SourceFile,notes\r\n{a},one\r\n{b},two\r\n"); },
           L"import {table}", 0, {"files read 2, changed 2, unchanged 0, failed 0"}, {}, "ab"},
          {{}, L"undo {journal}", 0, {"undo: files 2, restored 2, changed since the import 0"}, {}, "ab", true},
          {{}, L"undo {journal}", 0, {"cards.journal: already undone; nothing to do"}, {"changed since"}, ""},
          {{}, L"import {table}", 0, {"is kept as ", "cards.undone-1.journal", "changed 2"}, {"it exists"}, "ab"},
          {{}, L"undo {journal}", 0, {"restored 2"}, {}, "ab", true}}},
        {"a table imported twice",
         {{{}, L"export -o {table} {a} {b}", 0, {"export: files 2, exported 2, failed 0"}, {"changed"}, ""},
          {exported, L"import {table}", 0, {"files read 2, changed 2, unchanged 0, failed 0"}, {}, "ab"},
          {{}, L"import {table}", 0, {"files read 2, changed 0, unchanged 2, failed 0"}, {"read-only", "problem"}, ""},
          {{}, L"import --dry-run {table}", 0, {"import (dry run): files read 2, would change 0, unchanged 2"}, {}, ""}}},
        {"an empty cell that clears",
         {{{}, L"set {a} notes=hello", 0, {"1 value(s) saved"}, {}, "a"},
          {[](Promises& p) { p.WriteTable("SourceFile,notes\r\n{a},\r\n"); },
           L"import --empty-clears {table}", 0, {"files read 1, changed 1, unchanged 0, failed 0"}, {"does not fit"}, "a"},
          {{}, L"show {a}", 0, {"  notes            NONE\n"}, {}, ""}}},
        {"a broken settings file",
         {{[](Promises& p) {
               p.settings.WriteSettings("[srcdocid]\nTagnames=drawingno\nTagpositions=5-3\n[rtype\nReadonly=1\n"
                                        "[dstdocid]\nTagname=scandate\nTagnames=a;b;c\nTagpositions=1-4\n");
           },
           L"show {a}", 1, {"a.cal: the settings file ", "FileFormats\\Scanleaf.ini refuses a record of this file; "
                                                         "scanleaf-card check shows what to mend (0x80004005)"},
           {}, ""},
          {{}, L"check", 1,
           {"line 3: error   [srcdocid] sub-field \"drawingno\" at \"5-3\": start 5 is after end 3\n",
            "line 4: error   [srcdocid] the section header [rtype has no \"]\": it is not read as a section, and its keys "
            "count for [srcdocid]\n",
            "line 5: error   [srcdocid] Readonly counts for [srcdocid], under the unclosed header above it\n",
            "line 7: warning [dstdocid] unknown key \"Tagname\" is ignored",
            "line 8: warning [dstdocid] 2 surplus name(s) without a position are ignored: \"b\", \"c\"\n",
            "2 section(s), 3 error(s), 2 warning(s)"},
           {}, ""}}},
        {"headers that cannot be drawn as they say",
         {{[](Promises& p) {
               WriteBytes(p.files.File(L"a.cal"), MakeCalsImage({"rtype: 1", "rpelcnt: 000064,000002", "rdensty: 0001"}));
               WriteBytes(p.files.File(L"b.cal"), MakeCalsImage({"rtype: 1", "rpelcnt: 000064,000002", "rorient: 045,270"}));
           },
           L"convert --to pdf --no-check -o {pdf} {a} {b}", 1,
           {"a.cal: rdensty 0001 gives no density from 50 to 2400 dpi", "b.cal: rorient 045,270 is none of the eight"},
           {"written 1", "written 2"}, ""},
          {{}, L"render -o {out} {b}", 1, {"b.cal: rorient 045,270 is none of the eight orientations; nothing written"},
           {"->"}, ""},
          {{}, L"sheet -o {page} {b}", 1, {"b.cal: rorient 045,270 is none of the eight orientations; shown as stored"},
           {}, ""},
          {{}, L"verify {a} {b}", 1,
           {"a.cal: damaged: rdensty 0001 gives no density from 50 to 2400 dpi", "b.cal: damaged: rorient 045,270 is none of the eight orientations"},
           {": sound"}, ""},
          {{}, L"verify --format csv {b}", 1, {"b.cal,damaged,yes,64,2,", "rorient 045,270 is none of the eight orientations"}, {}, ""},
          {{}, L"verify --format json {b}", 1, {"\"Status\":\"damaged\"", "rorient 045,270 is none of the eight orientations"}, {}, ""},
          {[](Promises& p) {
               WriteBytes(p.files.File(L"a.cal"), MakeCalsImage({"rtype: 1", "rpelcnt: 000064,000002"}, ' ', 0));
           },
           L"convert --to tiff --no-check -o {out} {a}", 1, {"a.cal: no image data after its header"}, {"->"}, ""}}},
        {"usage errors in one line",
         {{{}, L"", 2, {"usage: scanleaf-card [--dll PATH] COMMAND ...  (scanleaf-card --help lists the commands)\n"}, {"info  "}, ""},
          {{}, L"verify --frobnicate {a}", 2, {"usage: scanleaf-card verify "}, {"render ["}, ""}}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.what);
        settings.WriteSettings(kSettings);
        DeleteFileW(scratch.File(L"cards.journal").c_str());
        DeleteFileW(scratch.File(L"cards.undone-1.journal").c_str());
        const auto start = Snapshot();
        for (const Step& step : scenario.steps) {
            if (step.before) step.before(*this);
            const auto before = Snapshot();
            const ToolRun run = Card(Expand(step.args), scratch);
            const std::string said = run.out + run.err;
            const std::string context = Narrow(step.args) + "\n" + said;
            EXPECT_EQ(step.exit, run.exitCode) << context;
            for (const std::string& s : step.says) EXPECT_NE(std::string::npos, said.find(s)) << s << "\n" << context;
            for (const std::string& s : step.never) EXPECT_EQ(std::string::npos, said.find(s)) << s << "\n" << context;
            const auto after = Snapshot();
            for (const auto& file : after) {
                const bool changed = step.changes.find(file.first) != std::string::npos;
                EXPECT_EQ(changed, file.second != before.at(file.first)) << file.first << ": " << context;
            }
            if (step.backToStart) {
                EXPECT_EQ(start, after) << context;
            }
        }
        for (const char* name : {"a", "b"}) WriteBytes(files.File(Widen(name) + L".cal"), start.at(name));
    }
}

// The rule that tells a CALS file, on what real writers write and on other formats named .cal.
TEST_F(Promises, WritersFilesAreCalsAndOtherFormatsAreNot) {
    TempFolder mixed;
    const std::wstring samples = ProgramFolder() + L"\\samples\\";
    const struct {
        const wchar_t* sample;
        const wchar_t* as;
    } copies[] = {{L"imagemagick-64x48.cal", L"im.cal"}, {L"graphicsmagick-97x61.cal", L"gm.cal"},
                  {L"gdal-300x200.cal", L"gdal.cal"},    {L"foreign.png", L"png.cal"},
                  {L"foreign.tif", L"tif.cal"},          {L"foreign.pdf", L"pdf.cal"},
                  {L"foreign.zip", L"zip.cal"}};
    for (const auto& c : copies)
        ASSERT_TRUE(CopyFileW((samples + c.sample).c_str(), mixed.File(c.as).c_str(), FALSE)) << Narrow(c.sample);
    std::mt19937 random(7);
    std::vector<unsigned char> noise(5000);
    for (unsigned char& b : noise) b = static_cast<unsigned char>(random());
    WriteBytes(mixed.File(L"random.cal"), noise);

    ToolRun run = Card(L"verify " + Quoted(mixed.Path()), scratch);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("verify: files 8, sound 3, damaged 0, not type 1 0, not CALS 5")) << run.out << run.err;
    for (const char* name : {"png", "tif", "pdf", "zip", "random"})
        EXPECT_NE(std::string::npos, run.out.find(std::string(name) + ".cal: not CALS: not a CALS file")) << run.out;
    run = Card(L"show " + Quoted(mixed.File(L"im.cal")) + L" " + Quoted(mixed.File(L"gm.cal")) + L" " +
                   Quoted(mixed.File(L"gdal.cal")),
               scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("  rpelcnt     [ro] 000300,000200")) << run.out;
}

} // namespace
