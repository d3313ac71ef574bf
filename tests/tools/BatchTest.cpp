// export, import and undo as an administrator uses them on a folder of drawings: what the
// table holds, that nothing is written unless the whole table is sound, and that undo puts
// every byte back.
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

using namespace testsupport;

namespace {

class BatchTest : public testing::Test {
protected:
    void SetUp() override {
        settings.WriteSettings(kCardSettings);
        for (const char* name : {"a", "b", "c"}) {
            std::wstring path = files.File(Widen(name) + L".cal");
            WriteBytes(path, MakeCalsImage({"srcdocid: 12345678 A", "rtype: 1", "rpelcnt: 001728,002200",
                                            std::string("notes: note of ") + name}));
            drawings.push_back(path);
        }
        tablePath = scratch.File(L"cards.csv");
        journalPath = scratch.File(L"cards.journal");
    }
    std::map<std::wstring, std::vector<unsigned char>> Snapshot() const {
        std::map<std::wstring, std::vector<unsigned char>> bytes;
        for (const std::wstring& d : drawings) bytes[d] = ReadBytes(d);
        return bytes;
    }
    ToolRun Run(const std::wstring& arguments) { return Card(arguments, scratch); }
    ToolRun Import(const std::wstring& options = L"") { return Run(L"import " + options + Quoted(tablePath)); }
    void WriteTable(const std::string& text) { WriteBytes(tablePath, std::vector<unsigned char>(text.begin(), text.end())); }
    std::string A() const { return Narrow(drawings[0]); }
    std::string B() const { return Narrow(drawings[1]); }

    HostSettings settings;
    TempFolder files;
    TempFolder scratch;
    std::vector<std::wstring> drawings;
    std::wstring tablePath, journalPath;
};

TEST_F(BatchTest, ExportTableDocumentsItselfAndLeavesFailedFilesOut) {
    WriteBytes(files.File(L"broken.cal"), {'n', 'o', 't'});
    const std::wstring blank = files.File(L"blank.cal"); // a header without records is no CALS file
    WriteBytes(blank, MakeCalsImage({}));
    ToolRun run = Run(L"export -o " + Quoted(tablePath) + L" " + Quoted(files.Path()));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("broken.cal: damaged: shorter than a CALS header (0x80040229)")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("blank.cal: not a CALS file")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("export: files 5, exported 3, failed 2")) << run.err;
    std::string table = ReadText(tablePath);
    EXPECT_EQ(std::string::npos, table.find("blank.cal")) << table;
    EXPECT_EQ(0u, table.find("\xEF\xBB\xBFSourceFile,srcdocid [ro],drawingno,revision,rtype [ro],rpelcnt,width [ro]"))
        << table;
    EXPECT_NE(std::string::npos, table.find(",notes,CardState [ro]\r\n" + A() + ",12345678 A,12345678,A,1,\"001728,002200\",1728,"))
        << table;
    EXPECT_EQ(std::string::npos, table.find("broken"));

    run = Run(L"export --format json " + Quoted(drawings[1]));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_EQ(0u, run.out.find("[\n{\"SourceFile\":\"")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\\\\b.cal\",\"srcdocid [ro]\":\"12345678 A\",\"drawingno\":")) << run.out;
    run = Run(L"export --no-bom " + Quoted(drawings[1]));
    EXPECT_EQ(0u, run.out.find("SourceFile,")) << run.out;
}

TEST_F(BatchTest, RoundTripWithoutEditsChangesNoByteOfAnyWriter) {
    for (const wchar_t* sample : {L"imagemagick-64x48.cal", L"graphicsmagick-97x61.cal"}) {
        drawings.push_back(files.File(sample));
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\" + sample).c_str(), drawings.back().c_str(), FALSE));
    }
    auto before = Snapshot();
    ToolRun run = Run(L"export -o " + Quoted(tablePath) + L" " + Quoted(files.Path()));
    ASSERT_EQ(0u, run.exitCode) << run.err;
    run = Import();
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("files read 5, changed 0, unchanged 5, failed 0")) << run.out;
    EXPECT_EQ(before, Snapshot());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(journalPath.c_str())) << "no change, no journal";
}

TEST_F(BatchTest, DryRunThenImportThenUndoPutsEveryByteBack) {
    auto before = Snapshot();
    WriteTable("SourceFile,drawingno,notes,rtype [ro]\r\n" + A() + ",A3-0471,,1\r\n" + B() +
               ",,\"Rescanned, \"\"twice\"\"\",\r\n");
    ToolRun run = Import(L"--dry-run ");
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find(A() + ": drawingno: \"12345678\" -> \"A3-0471\"")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(B() + ": notes: \"note of b\" -> \"Rescanned, \"twice\"\"")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("2 change(s) in 2 file(s); nothing written")) << run.out;
    EXPECT_EQ(before, Snapshot());

    run = Import();
    ASSERT_EQ(0u, run.exitCode) << run.err;
    auto after = Snapshot();
    for (const std::wstring& d : drawings) {
        EXPECT_EQ(before[d].size(), after[d].size());
        EXPECT_TRUE(std::equal(before[d].begin() + 1408, before[d].end(), after[d].begin() + 1408)) << Narrow(d);
    }
    EXPECT_NE(before[drawings[0]], after[drawings[0]]);
    EXPECT_EQ(before[drawings[2]], after[drawings[2]]);
    ToolRun shown = Run(L"show --json " + Quoted(drawings[1]));
    EXPECT_NE(std::string::npos, shown.out.find("{\"name\":\"notes\",\"value\":\"Rescanned, \\\"twice\\\"\"")) << shown.out;

    run = Run(L"undo " + Quoted(journalPath));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("undo: files 2, restored 2, changed since the import 0")) << run.out;
    EXPECT_EQ(before, Snapshot());
}

TEST_F(BatchTest, BadTablesAreReportedWhereTheyAreAndChangeNothing) {
    WriteBytes(files.File(L"broken.cal"), {'n', 'o', 't'});
    const std::string folder = Narrow(files.Path());
    const struct {
        std::string table;
        std::vector<std::string> messages;
    } cases[] = {
        {"SourceFile,colour\r\n" + A() + ",red\r\n", {"row 2, column colour: not a variable of"}},
        {"SourceFile,rtype\r\n" + A() + ",2\r\n", {"row 2, column rtype: read-only: the table changes \"1\" to \"2\""}},
        {"SourceFile,notes\r\n" + A() + ",\xC4\x81\r\n", {"row 2, column notes: \"", "code page 1252 cannot store"}},
        {"SourceFile,notes\r\n" + folder + "\\missing.cal,x\r\n", {"row 2: " + folder + "\\missing.cal: cannot open file"}},
        {"SourceFile,notes\r\n" + folder + "\\broken.cal,x\r\n", {"row 2: ", "broken.cal: damaged: shorter than a CALS header"}},
        {"SourceFile,notes\r\n" + folder + ",x\r\n", {"a folder, not a CALS file"}},
        {"SourceFile,notes\r\n" + A() + ",x\r\n" + folder + "\\A.CAL,y\r\n", {"row 3: ", "the same file as row 2"}},
        {"Path,notes\r\n" + A() + ",x\r\n", {"header: no SourceFile column"}},
        {"SourceFile,notes\r\n" + A() + "," + std::string(200, 'n') + "\r\n", {"row 2, column notes: ", "does not fit its slot"}},
        {"SourceFile,notes\r\n" + A() + ",\"open\r\n", {"row 2: a quoted cell is not closed"}},
        {"SourceFile,notes\r\n" + A() + ",x,y\r\n", {"row 2: 3 cells, but the header has 2"}},
        {"SourceFile,notes\r\n" + A() + ",\xFF\r\n", {"row 2: invalid UTF-8", "--encoding ansi", "\"CSV UTF-8\""}},
        {"SourceFile,notes,CardState [ro]\r\n" + A() + ",x,1E5\r\n",
         {"row 2, column CardState: \"1E5\" is not a card state written by export"}},
        {"", {"table: the table is empty"}},
        // Every problem is reported, not only the first.
        {"SourceFile,rtype,colour\r\n" + A() + ",2,\r\n" + B() + ",,red\r\n",
         {"row 2, column rtype: read-only", "row 3, column colour: not a variable", "2 problem(s); no file was changed"}},
    };
    auto before = Snapshot();
    for (const auto& c : cases) {
        WriteTable(c.table);
        ToolRun run = Import();
        EXPECT_EQ(1u, run.exitCode) << c.table;
        for (const std::string& m : c.messages) EXPECT_NE(std::string::npos, run.err.find(m)) << m << "\n" << run.err;
        EXPECT_EQ(before, Snapshot()) << c.table;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(journalPath.c_str())) << c.table;
    }
}

// A colleague changes b.cal after the export; the table's old value for it must not come back.
TEST_F(BatchTest, RowsOfFilesChangedSinceTheExportAreRefusedOrSkipped) {
    ASSERT_EQ(0u, Run(L"export -o " + Quoted(tablePath) + L" " + Quoted(files.Path())).exitCode);
    ASSERT_EQ(0u, Run(L"set " + Quoted(drawings[1]) + L" notes=colleague").exitCode);
    std::string table = ReadText(tablePath);
    const size_t aRow = table.find("\n" + A() + ",");
    const size_t revision = table.find("12345678,A,", aRow);
    ASSERT_LT(revision, table.find('\n', aRow + 1));
    table.replace(revision, 11, "12345678,C,"); // only a.cal's revision is edited
    WriteTable(table);
    auto before = Snapshot();

    for (const wchar_t* options : {L"", L"--dry-run "}) {
        ToolRun run = Import(options);
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_NE(std::string::npos,
                  run.err.find("row 3: " + B() + ": changed since the export: export it again, or drop the row"))
            << run.err;
        EXPECT_NE(std::string::npos, run.err.find("1 problem(s); no file was changed")) << run.err;
        EXPECT_EQ(before, Snapshot());
    }
    ToolRun run = Import(L"--skip-changed ");
    ASSERT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find(B() + ": skipped, changed since the export (row 3)")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("changed 1, unchanged 1, failed 0, skipped 1")) << run.out;
    auto after = Snapshot();
    EXPECT_NE(before[drawings[0]], after[drawings[0]]);
    EXPECT_EQ(before[drawings[1]], after[drawings[1]]);
    EXPECT_EQ(before[drawings[2]], after[drawings[2]]);
    EXPECT_NE(std::string::npos, Run(L"show " + Quoted(drawings[0])).out.find("revision         C"));
}

// The two ways spreadsheets commonly save CSV on Windows, and how each is read.
TEST_F(BatchTest, TablesAsSpreadsheetsSaveThem) {
    ASSERT_EQ(0u, Run(L"export --delimiter ; -o " + Quoted(tablePath) + L" " + Quoted(drawings[0])).exitCode);
    EXPECT_EQ(0u, ReadText(tablePath).find("\xEF\xBB\xBFSourceFile;srcdocid [ro];")) << ReadText(tablePath);
    EXPECT_EQ(0u, Import().exitCode) << "an exported semicolon table reads back unchanged";
    const struct {
        std::string table;
        const wchar_t* options;
        const char* notes; // a.cal's notes afterwards; null: refused
        const char* message;
    } cases[] = {
        {"SourceFile;notes\r\n" + A() + ";1,5 mm\r\n", L"", "1,5 mm", ""},
        {"notes;SourceFile\r\n2,5 mm;" + A() + "\r\n", L"--delimiter ; ", "2,5 mm", ""},
        {"SourceFile,notes\r\n" + A() + ",caf\xE9\r\n", L"--encoding ansi ", "caf\xC3\xA9", ""},
        {"SourceFile,notes\r\n" + A() + ",caf\xE9\r\n", L"", nullptr, "read it in the system's ANSI code page"},
        {"\xEF\xBB\xBFSourceFile,notes\r\n" + A() + ",x\r\n", L"--encoding ansi ", nullptr, "it is UTF-8"},
    };
    for (const auto& c : cases) {
        WriteTable(c.table);
        ToolRun run = Import(c.options);
        EXPECT_EQ(c.notes ? 0u : 1u, run.exitCode) << c.table << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        if (c.notes) {
            EXPECT_NE(std::string::npos, Run(L"show --json " + Quoted(drawings[0])).out.find(
                                             std::string("\"notes\",\"value\":\"") + c.notes + "\""));
        }
        DeleteFileW(journalPath.c_str());
    }
}

TEST_F(BatchTest, AnImportStoppedHalfWayLeavesAJournalThatUndoesWhatWasSaved) {
    auto before = Snapshot();
    WriteTable("SourceFile,notes\r\n" + A() + ",one\r\n" + B() + ",two\r\n" + Narrow(drawings[2]) + ",three\r\n");
    // A file that another program keeps read-only is met only when it is saved.
    ASSERT_TRUE(SetFileAttributesW(drawings[1].c_str(), FILE_ATTRIBUTE_READONLY));
    ToolRun run = Import();
    SetFileAttributesW(drawings[1].c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("import stopped at " + B())) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("saved (1):\n  " + A() + "\nnot saved (2):\n  " + B())) << run.err;
    EXPECT_NE(before[drawings[0]], ReadBytes(drawings[0]));
    EXPECT_EQ(before[drawings[1]], ReadBytes(drawings[1]));

    run = Run(L"undo " + Quoted(journalPath));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("2 file(s) the import had not saved")) << run.out;
    EXPECT_EQ(before, Snapshot());
}

TEST_F(BatchTest, UndoRefusesFilesChangedSinceAndDamagedJournals) {
    auto before = Snapshot();
    WriteTable("SourceFile,notes\r\n" + A() + ",one\r\n" + B() + ",two\r\n");
    ASSERT_EQ(0u, Import().exitCode);
    ToolRun again = Import();
    EXPECT_EQ(0u, again.exitCode) << "the same table again changes nothing: " << again.err;
    WriteTable("SourceFile,notes\r\n" + A() + ",three\r\n");
    again = Import();
    EXPECT_EQ(1u, again.exitCode);
    EXPECT_NE(std::string::npos, again.err.find("it exists")) << "an earlier journal is never overwritten";

    std::vector<unsigned char> journal = ReadBytes(journalPath);
    ASSERT_EQ(0u, Run(L"set " + Quoted(drawings[0]) + L" notes=edited").exitCode);
    auto edited = ReadBytes(drawings[0]);
    const struct {
        std::vector<unsigned char> bytes;
        const char* message;
    } damaged[] = {{std::vector<unsigned char>(journal.begin(), journal.end() - 10), "the journal is cut off"},
                   {{'h', 'e', 'l', 'l', 'o', '\n'}, "not an import or repair journal"}};
    for (const auto& d : damaged) {
        std::wstring path = scratch.File(L"damaged.journal");
        WriteBytes(path, d.bytes);
        ToolRun run = Run(L"undo " + Quoted(path));
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_NE(std::string::npos, run.err.find(d.message)) << run.err;
        EXPECT_EQ(edited, ReadBytes(drawings[0]));
        EXPECT_NE(before[drawings[1]], ReadBytes(drawings[1]));
    }
    ToolRun run = Run(L"undo " + Quoted(journalPath));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find(A() + ": changed since the import; left as it is")) << run.err;
    EXPECT_EQ(edited, ReadBytes(drawings[0]));
    EXPECT_EQ(before[drawings[1]], ReadBytes(drawings[1]));
}

} // namespace
