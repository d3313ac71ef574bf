// scanleaf-card as a user runs it: exit codes, what it prints, what it does to files.
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"

#include "Version.h"

#include <gtest/gtest.h>

#include <string>

using namespace testsupport;

namespace {

class CardToolTest : public testing::Test {
protected:
    void SetUp() override {
        settings.WriteSettings(kCardSettings);
        drawing = files.File(L"drawing.cal");
        WriteBytes(drawing, MakeCalsImage({"srcdocid: 12345678 A", "rtype: 1", "rpelcnt: 001728,002200",
                                           "notes: NONE"}));
    }
    HostSettings settings;
    TempFolder files;
    TempFolder scratch;
    std::wstring drawing;
};

TEST_F(CardToolTest, InfoNamesTheFormatEveryExtensionAndTheGroups) {
    ToolRun run = Card(L"info", scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("product:     KESTRAVO PDM"));
    for (const char* ext : {"cal", "ct1", "ct2", "ct3", "nif", "ct4", "c4", "cg4", "gp4", "mil", "rst"})
        EXPECT_NE(std::string::npos, run.out.find("  " + std::string(ext) + std::string(6 - strlen(ext), ' ') +
                                                  " flags 264 (0x108)"))
            << ext;
    EXPECT_NE(std::string::npos, run.out.find("ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst,cal"));
}

TEST_F(CardToolTest, ShowListsEveryVariableWithValueAndWritability) {
    ToolRun run = Card(L"show " + Quoted(drawing), scratch);
    ASSERT_EQ(0u, run.exitCode) << run.err;
    const char* expected[] = {
        "  srcdocid    [ro] 12345678 A\n", // a record with sub-fields is written through them only
        "  drawingno        12345678\n",
        "  revision         A\n",
        "  rtype       [ro] 1\n",
        "  rpelcnt          001728,002200\n",
        "  width       [ro] 1728\n",
        "  height      [ro] 2200\n",
        "  colordepth  [ro] 1\n",
        "  notes            NONE\n",
    };
    size_t at = 0;
    for (const char* line : expected) {
        size_t found = run.out.find(line, at);
        ASSERT_NE(std::string::npos, found) << "missing or out of order: " << line << "\n" << run.out;
        at = found;
    }
}

TEST_F(CardToolTest, ShowJsonAndOneErrorLinePerFailedFile) {
    std::wstring missing = files.File(L"missing.cal");
    std::wstring tooShort = files.File(L"short.cal");
    WriteBytes(tooShort, std::vector<unsigned char>(900, ' '));
    ToolRun run = Card(L"show --json " + Quoted(missing) + L" " + Quoted(drawing) + L" " + Quoted(tooShort), scratch);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("missing.cal: no such file or folder\n")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("short.cal: damaged: shorter than a CALS header (0x80040229)\n"));
    EXPECT_EQ(0u, run.out.find("[{\"file\":")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\"error\":\"no such file or folder\",\"hresult\":\"0x80070002\""));
    EXPECT_NE(std::string::npos,
              run.out.find("{\"name\":\"width\",\"value\":\"1728\",\"found\":true,\"readOnly\":true}"));
    EXPECT_NE(std::string::npos,
              run.out.find("{\"name\":\"notes\",\"value\":\"NONE\",\"found\":true,\"readOnly\":false}"));
    EXPECT_EQ("]\n", run.out.substr(run.out.size() - 2));
}

TEST_F(CardToolTest, ShowFolderTakesOnlyCalsExtensions) {
    WriteBytes(files.File(L"second.CT1"), MakeCalsImage({"rtype: 1", "rpelcnt: 1,1", "notes: two"}));
    WriteBytes(files.File(L"readme.txt"), MakeCalsImage({"notes: not a drawing"}));
    ToolRun run = Card(L"show " + Quoted(files.Path()), scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("drawing.cal\n"));
    EXPECT_NE(std::string::npos, run.out.find("second.CT1\n"));
    EXPECT_EQ(std::string::npos, run.out.find("readme.txt"));
}

TEST_F(CardToolTest, SetSavesTextAndDatesOnlyWhenTheWholeRequestIsSound) {
    std::vector<unsigned char> before = ReadBytes(drawing);
    ToolRun run = Card(L"set " + Quoted(drawing) +
                           L" drawingno=A1-77 notes=\"new notes\" width=5 rtype=2 nosuch=1 --date revision=2024-03-05 "
                           L"--style 112",
                       scratch);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ("", run.out) << "nothing is saved";
    for (const char* problem : {"width: read-only: the request changes \"1728\" to \"5\"",
                                "rtype: read-only: the request changes \"1\" to \"2\"", "nosuch: not a variable of",
                                "4 problem(s); the file was not changed"})
        EXPECT_NE(std::string::npos, run.err.find(problem)) << problem << "\n" << run.err;
    EXPECT_EQ(before, ReadBytes(drawing));

    run = Card(L"set " + Quoted(drawing) + L" drawingno=A1-77 notes=\"new notes\" --date revision=2024-03-05 --style 1",
               scratch);
    EXPECT_EQ(1u, run.exitCode) << "03/05/24 does not fit the one-character revision";
    EXPECT_NE(std::string::npos, run.err.find("revision: 2024-03-05 in date style 1 is \"03/05/24\", which does not fit "
                                              "its slot: \"0\" would be stored; no date style fits its 1 characters"))
        << run.err;
    run = Card(L"set " + Quoted(drawing) + L" drawingno=A1-77 notes=\"new notes\"", scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("2 value(s) saved"));
    std::vector<unsigned char> bytes = ReadBytes(drawing);
    std::string slot0(bytes.begin(), bytes.begin() + 128);
    EXPECT_EQ(0u, slot0.find("srcdocid: A1-77    A")) << slot0;
    std::string slot3(bytes.begin() + 384, bytes.begin() + 512);
    EXPECT_EQ(0u, slot3.find("notes: new notes   "));
}

TEST_F(CardToolTest, SetRefusesMalformedArgumentsBeforeTouchingTheFile) {
    std::vector<unsigned char> before = ReadBytes(drawing);
    for (const wchar_t* args : {L" notes", L" --date revision=2024-02-30", L" --date revision=5.3.2024",
                                L" --style x notes=1", L""}) {
        ToolRun run = Card(L"set " + Quoted(drawing) + args, scratch);
        EXPECT_EQ(2u, run.exitCode) << testsupport::Narrow(args);
    }
    EXPECT_EQ(before, ReadBytes(drawing));
}

TEST_F(CardToolTest, CheckAcceptsAGoodFileAndReportsWhatWouldFailAnOpen) {
    ToolRun good = Card(L"check", scratch);
    EXPECT_EQ(0u, good.exitCode) << good.out << good.err;
    EXPECT_NE(std::string::npos, good.out.find("2 section(s), 0 error(s), 0 warning(s)"));

    std::wstring bad = files.File(L"bad.ini");
    std::string text =
        "[abc]\nTagnames=a;b;c;d\nTagpositions=5-3;x;1-124;1-123\n"
        "[ok]\nTagnames=one; two;three\nTagpositions=1-2;3-4\nReadonly=yes\n";
    WriteBytes(bad, std::vector<unsigned char>(text.begin(), text.end()));
    ToolRun run = Card(L"check " + Quoted(bad), scratch);
    EXPECT_EQ(1u, run.exitCode);
    const char* lines[] = {
        "error   [abc] sub-field \"a\" at \"5-3\": start 5 is after end 3",
        "error   [abc] sub-field \"b\" at \"x\": no readable position (expected START-END)",
        "error   [abc] sub-field \"c\" at \"1-124\": end 124 is beyond the record's width of 123 characters",
        "warning [ok] sub-field name \" two\" contains blanks",
        "warning [ok] 1 surplus name(s) without a position are ignored",
        "warning [ok] Readonly=yes is read as 0: writable",
        "2 section(s), 3 error(s), 3 warning(s)",
    };
    for (const char* line : lines) EXPECT_NE(std::string::npos, run.out.find(line)) << line << "\n" << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("\"d\"")) << "1-123 fits a record named abc";
}

// A settings file saved as UTF-8 where the plug-in reads code page 1252: the names are other
// characters there, and check says so with how to save the file; 1252 text is left alone.
TEST_F(CardToolTest, CheckNamesASettingsFileSavedAsUtf8) {
    const struct {
        std::string text;
        const char* warning; // null: none about the encoding
    } cases[] = {
        {"[notes]\nReadonly=1\n[Gr\xC3\xB6\xC3\x9F" "e]\nReadonly=1\n",
         "line 3: warning UTF-8 text \"[Gr\xC3\xB6\xC3\x9F" "e]\", which the plug-in reads in the code page 1252 as "
         "\"[Gr\xC3\x83\xC2\xB6\xC3\x83\xC5\xB8" "e]\": save the file as ANSI (code page 1252)"},
        {"\xEF\xBB\xBF[notes]\nReadonly=1\n",
         "line 1: warning the file begins with a UTF-8 byte-order mark, and the plug-in reads the code page 1252: "
         "save the file as ANSI (code page 1252)"},
        {"[caf\xE9]\nReadonly=1\n", nullptr},
    };
    const std::wstring ini = files.File(L"encoded.ini");
    for (const auto& c : cases) {
        WriteBytes(ini, std::vector<unsigned char>(c.text.begin(), c.text.end()));
        const ToolRun run = Card(L"check " + Quoted(ini), scratch);
        if (c.warning) {
            EXPECT_NE(std::string::npos, run.out.find(c.warning)) << run.out;
        } else {
            EXPECT_EQ(std::string::npos, run.out.find("UTF-8")) << run.out;
        }
    }
}

TEST_F(CardToolTest, SettingsShowsAndSetsTheSharedFolder) {
    ToolRun shown = Card(L"settings", scratch);
    EXPECT_EQ(0u, shown.exitCode);
    EXPECT_NE(std::string::npos, shown.out.find(Narrow(settings.SharedFolder())));

    TempFolder other;
    ToolRun set = Card(L"settings --shared-folder " + Quoted(other.Path()), scratch);
    EXPECT_EQ(0u, set.exitCode) << set.err;
    EXPECT_NE(std::string::npos, set.out.find(Narrow(other.Path()) + "\\FileFormats\\Scanleaf.ini (missing"));
}

TEST_F(CardToolTest, RealDrawingsOfImageMagickAndGraphicsMagick) {
    struct Sample {
        const wchar_t* file;
        const char* width;
        const char* height;
    } samples[] = {{L"imagemagick-64x48.cal", "64", "48"}, {L"graphicsmagick-97x61.cal", "97", "61"}};
    for (const Sample& s : samples) {
        std::wstring copy = files.File(s.file);
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\" + s.file).c_str(), copy.c_str(), FALSE));
        ToolRun run = Card(L"show --json " + Quoted(copy), scratch);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        EXPECT_NE(std::string::npos, run.out.find(std::string("{\"name\":\"width\",\"value\":\"") + s.width));
        EXPECT_NE(std::string::npos, run.out.find(std::string("{\"name\":\"height\",\"value\":\"") + s.height));
    }
}

TEST_F(CardToolTest, UnknownCommandIsAUsageError) {
    ToolRun run = Card(L"frobnicate", scratch);
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("usage: scanleaf-card"));
}

} // namespace

namespace {

TEST_F(CardToolTest, VersionIsTheProductVersion) {
    ToolRun run = Card(L"--version", scratch);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(std::string("scanleaf-card ") + SCANLEAF_VERSION_TEXT + "\n", run.out);
}

} // namespace
