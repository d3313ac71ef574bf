// What a run promises the person at the keyboard: a mistyped value refused before anything is
// written, -o made to any depth, an existing output refused unless told, messages that name their
// cause, whole lines in one log with the summary last, and shards that name as one run names.
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>

using namespace testsupport;

namespace {

const char kSettings[] = "[srcdocid]\nTagnames=drawingno;sheet;revision\nTagpositions=1-12;14-16;18-19\n"
                         "[rtype]\nReadonly=1\n[rpelcnt]\nReadonly=1\n";

// A drawing as ImageMagick writes one: 64 by 48 pels, sound.
std::vector<unsigned char> Drawing() { return ReadBytes(ProgramFolder() + L"\\samples\\imagemagick-64x48.cal"); }

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::set<std::wstring> FilesIn(const std::wstring& folder, const wchar_t* pattern) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.insert(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

class RunPromises : public testing::Test {
public:
    void SetUp() override {
        settings.WriteSettings(kSettings);
        WriteBytes(files.File(L"d.cal"), Drawing());
        std::vector<unsigned char> cut = Drawing();
        cut.resize(2100); // the stream ends after a few lines
        WriteBytes(files.File(L"bad.cal"), cut);
    }
    // {d} the drawing, {out} an empty folder, {deep} a folder three levels below it that does not exist.
    std::wstring Expand(std::wstring args) const {
        const std::map<std::wstring, std::wstring> names = {
            {L"{d}", files.File(L"d.cal")}, {L"{bad}", files.File(L"bad.cal")}, {L"{out}", out.Path()},
            {L"{deep}", out.File(L"m1\\m2\\m3")}};
        for (const auto& n : names)
            for (size_t at; (at = args.find(n.first)) != std::wstring::npos;) {
                // A name with more after it (a file below the folder) is quoted whole.
                size_t end = at + n.first.size();
                while (end < args.size() && args[end] != L' ') ++end;
                const std::wstring rest = args.substr(at + n.first.size(), end - at - n.first.size());
                args.replace(at, end - at, Quoted(n.second + rest));
            }
        return args;
    }

    HostSettings settings;
    TempFolder files;
    TempFolder out;
    TempFolder scratch;
};

TEST_F(RunPromises, EachPromiseOnTheCaseThatBrokeIt) {
    const struct {
        const wchar_t* args;
        DWORD exit;
        std::vector<std::string> says;  // in standard output or error
        std::vector<std::string> never;
        const wchar_t* writes;          // a file the step leaves, below {out}; null: none asked
        bool written = true;            // whether it is there
    } steps[] = {
        // A mistyped level is a usage error, not an operand, and nothing is written.
        {L"convert --to pdf --pdfa 1B -o {out}\\x.pdf {d}", 2, {"--pdfa takes 1b or 2b, not \"1B\""}, {"no such file"},
         L"x.pdf", false},
        {L"convert --to pdf --pdfa 3b -o {out}\\x.pdf {d}", 2, {"--pdfa takes 1b or 2b, not \"3b\""}, {}, L"x.pdf", false},
        {L"convert --to pdf --pdfa 1 -o {out}\\x.pdf {d}", 2, {"--pdfa takes 1b or 2b, not \"1\""}, {}, L"x.pdf", false},
        {L"convert --to pdf --pdfa {d} -o {out}\\y.pdf", 0, {"written 1"}, {}, L"y.pdf"},
        // -o makes the folders of the file it names, and of the folder, to any depth.
        {L"convert --to pdf -o {deep}\\one.pdf {d}", 0, {"written 1"}, {"Path not found"}, L"m1\\m2\\m3\\one.pdf"},
        {L"render -o {out}\\r1\\r2\\x.png {d}", 0, {"render: pictures 1, failed 0"}, {}, L"r1\\r2\\x.png"},
        {L"sheet -o {out}\\s1\\s2\\page.html {d}", 0, {}, {}, L"s1\\s2\\page.html"},
        {L"export -o {out}\\e1\\e2\\cards.csv {d}", 0, {"export: files 1, exported 1"}, {}, L"e1\\e2\\cards.csv"},
        {L"convert --to tiff -o {out}\\t1\\\\ {d}", 0, {"t1\\d.tif"}, {"t1\\\\d.tif"}, L"t1\\d.tif"},
        // A picture that exists is refused unless told; a name of a picture render does not write is no folder.
        {L"render -o {out}\\r1\\r2\\x.png {d}", 1, {"x.png exists; --overwrite replaces it", "failed 1"}, {}, nullptr},
        {L"render --overwrite -o {out}\\r1\\r2\\x.png {d}", 0, {"pictures 1, failed 0"}, {}, nullptr},
        {L"render -o {out}\\one.jpg {d}", 2, {"-o ", "one.jpg names a jpg file, but render writes .png files"}, {},
         L"one.jpg", false},
        // --skip-existing names the option that changed, though a source line follows it.
        {L"convert --to pdf --skip-existing -o {out}\\z.pdf {d}", 0, {"written 1"}, {}, L"z.pdf"},
        {L"convert --to pdf --skip-existing --pdfa 1b -o {out}\\z.pdf {d}", 0, {"an option changed: --pdfa"},
         {"a source changed"}, nullptr},
        // A drawing left out of the one document is counted once.
        {L"convert --to pdf -o {out}\\one.pdf {bad}", 1, {"; left out", "convert: files 1, written 0, left out 1, failed 0"},
         {}, L"one.pdf", false},
        // Messages that name their cause.
        {L"set {d} \"txtfilid=  lead\"", 1, {"txtfilid: \"  lead\" loses its leading blanks"}, {"does not fit"}, nullptr},
        {L"set {d} --date notes=1899-12-30 --style 120", 2, {"is the zero date"}, {"is \"\""}, nullptr},
        {L"set {d} --date notes=1600-12-31", 2, {"is before 1601-01-01"}, {"not a date"}, nullptr},
        {L"set {d} --date notes=2023-02-29", 2, {"no day of the calendar: that month has 28 days"}, {}, nullptr},
        {L"import {out}\\missing.csv", 1, {"cannot be read: ", "(0x80070002)", "import: files read 0"}, {}, nullptr},
        {L"undo {out}\\missing.journal", 1, {"cannot read the journal", "(0x80070002)", "undo: files 0, restored 0"}, {},
         nullptr},
        // Help shows what is required as such.
        {L"help sheet", 0, {"sheet [--recursive] [--jobs N] [--shard K/N|auto[/N]] -o PAGE.html FILE|FOLDER..."}, {"[-o PAGE.html]"},
         nullptr},
        {L"help convert", 0, {" --to pdf|tiff|cals [--pdfa [1b|2b]]"}, {"[--to pdf|tiff|cals]"}, nullptr},
    };
    for (const auto& step : steps) {
        const std::wstring args = Expand(step.args);
        const ToolRun run = Card(args, scratch);
        const std::string said = run.out + run.err, context = Narrow(args) + "\n" + said;
        EXPECT_EQ(step.exit, run.exitCode) << context;
        for (const std::string& s : step.says) EXPECT_NE(std::string::npos, said.find(s)) << s << "\n" << context;
        for (const std::string& s : step.never) EXPECT_EQ(std::string::npos, said.find(s)) << s << "\n" << context;
        if (step.writes) {
            EXPECT_EQ(step.written, IsFile(out.File(step.writes))) << context;
        }
    }
}

// Text verify names the bytes after the end-of-block code, as its table does.
TEST_F(RunPromises, VerifyNamesTrailingBytes) {
    std::vector<unsigned char> bytes = Drawing();
    bytes.insert(bytes.end(), {0x12, 0x34, 0x56});
    WriteBytes(files.File(L"d.cal"), bytes);
    const ToolRun run = Card(L"verify " + Quoted(files.File(L"d.cal")), scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find(": sound, 48 lines, end of block, 3 byte(s) after it\n")) << run.out;
}

// Standard output and error in one log, as a scheduler keeps it: every line is whole, and the
// summary is the last line, for the commands that write to both as they go.
TEST_F(RunPromises, OneLogHoldsWholeLinesWithTheSummaryLast) {
    const std::vector<unsigned char> foreign = ReadBytes(ProgramFolder() + L"\\samples\\foreign.png");
    for (int i = 0; i < 60; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"f%03d.cal", i);
        if (i % 3 == 0)
            WriteBytes(files.File(name), foreign);
        else
            WriteBytes(files.File(name), Drawing());
    }
    DeleteFileW(files.File(L"d.cal").c_str());
    DeleteFileW(files.File(L"bad.cal").c_str());
    const struct {
        std::wstring args;
        const char* summary;
    } runs[] = {
        {L"render --jobs 2 -o " + Quoted(out.File(L"png")) + L" " + Quoted(files.Path()), "render: pictures 40, failed 20"},
        {L"verify --jobs 2 " + Quoted(files.Path()), "verify: files 60, sound 40, damaged 0, not type 1 0, not CALS 20"},
        {L"verify --jobs 2 --format csv " + Quoted(files.Path()), "verify: files 60,"},
        {L"convert --to tiff --jobs 2 -o " + Quoted(out.File(L"tif")) + L" " + Quoted(files.Path()),
         "convert: files 60, written 40, left out 20, failed 0"},
    };
    for (const auto& r : runs) {
        const ToolRun run = CardOneLog(r.args, scratch);
        std::istringstream log(run.out);
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        ASSERT_FALSE(lines.empty()) << Narrow(r.args);
        EXPECT_EQ(0u, lines.back().find(r.summary)) << Narrow(r.args) << "\n" << run.out;
        size_t count = 0;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const std::string& line = lines[i];
            // Each line is about one file and starts with its path; a cut line would hold two.
            const size_t first = line.find(Narrow(files.Path())), second = line.find(Narrow(files.Path()), first + 1);
            if (line.rfind("SourceFile,", 0) == 0) continue;
            EXPECT_NE(std::string::npos, first) << line;
            EXPECT_EQ(std::string::npos, second) << line;
            EXPECT_EQ(std::string::npos, line.find(": files 60")) << line;
            ++count;
        }
        EXPECT_EQ(60u, count) << Narrow(r.args) << "\n" << run.out;
    }
}

// Shards into one folder give the files of one run, named as one run names them.
TEST_F(RunPromises, ShardsIntoOneFolderNameAsOneRun) {
    DeleteFileW(files.File(L"bad.cal").c_str());
    CreateDirectoryW(files.File(L"x").c_str(), nullptr);
    CreateDirectoryW(files.File(L"y").c_str(), nullptr);
    for (const wchar_t* name : {L"plan.ct1", L"plan (2).cal", L"x\\plan.cal", L"y\\PLAN.cal"}) WriteBytes(files.File(name), Drawing());
    const std::wstring all = out.File(L"all"), shards = out.File(L"shards");
    ASSERT_EQ(0u, Card(L"render --recursive -o " + Quoted(all) + L" " + Quoted(files.Path()), scratch).exitCode);
    size_t pictures = 0;
    for (int k = 1; k <= 3; ++k) {
        const ToolRun run = Card(L"render --recursive --shard " + std::to_wstring(k) + L"/3 -o " + Quoted(shards) + L" " +
                                     Quoted(files.Path()),
                                 scratch);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        pictures += std::count(run.out.begin(), run.out.end(), '\n');
    }
    EXPECT_EQ(5u, pictures); // d.cal and the four plans
    EXPECT_EQ(FilesIn(all, L"*.png"), FilesIn(shards, L"*.png"));
    EXPECT_EQ(5u, FilesIn(shards, L"*.png").size());
    // The same drawings handed on as TIFF documents, one a drawing, by three shards.
    ASSERT_EQ(0u, Card(L"convert --to tiff --recursive -o " + Quoted(out.File(L"tif-all")) + L" " + Quoted(files.Path()), scratch)
                      .exitCode);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(0u, Card(L"convert --to tiff --recursive --shard " + std::to_wstring(k) + L"/3 -o " + Quoted(out.File(L"tif")) +
                               L" " + Quoted(files.Path()),
                           scratch)
                          .exitCode);
    EXPECT_EQ(5u, FilesIn(out.File(L"tif"), L"*.tif").size());
    EXPECT_EQ(FilesIn(out.File(L"tif-all"), L"*.tif"), FilesIn(out.File(L"tif"), L"*.tif"));

    // Pictures of one name in several folders, converted by two shards into one folder: all kept,
    // named as one run names them.
    TempFolder scans;
    const std::wstring png = ProgramFolder() + L"\\samples\\foreign.png";
    for (const wchar_t* name : {L"SHEET.png", L"s1\\sheet.png", L"s2\\Sheet.png", L"s3\\sheet.png"}) {
        const std::wstring path = scans.File(name);
        CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(png.c_str(), path.c_str(), FALSE));
    }
    const std::wstring options = L"convert --to cals --threshold 50 --dpi 200 --recursive ";
    ASSERT_EQ(0u, Card(options + L"-o " + Quoted(out.File(L"cals-all")) + L" " + Quoted(scans.Path()), scratch).exitCode);
    std::vector<size_t> shares;
    for (int k = 1; k <= 2; ++k) {
        const ToolRun run = Card(options + L"--shard " + std::to_wstring(k) + L"/2 -o " + Quoted(out.File(L"cals")) + L" " +
                                     Quoted(scans.Path()),
                                 scratch);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        shares.push_back(std::count(run.out.begin(), run.out.end(), '\n'));
    }
    // Both shards wrote (the share is fixed by the relative paths), so their names could have met.
    EXPECT_EQ((std::vector<size_t>{1, 3}), shares);
    EXPECT_EQ(4u, FilesIn(out.File(L"cals"), L"*.cal").size());
    EXPECT_EQ(FilesIn(out.File(L"cals-all"), L"*.cal"), FilesIn(out.File(L"cals"), L"*.cal"));
}

} // namespace

namespace {

// Every batch command ends with its closing line, the last of its log, on every path: no source,
// an operand that names nothing, a refused output, a refused plan, kept rows that cannot be kept.
TEST_F(RunPromises, EveryBatchCommandEndsWithItsSummaryOnEveryPath) {
    TempFolder empty;
    WriteBytes(files.File(L"e.cal"), Drawing());
    CreateDirectoryW(out.File(L"taken.pdf").c_str(), nullptr);
    TempFolder pictures;
    for (const wchar_t* name : {L"p1.png", L"p2.png"})
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\foreign.png").c_str(), pictures.File(name).c_str(), FALSE));
    const std::wstring none = Quoted(empty.Path()), nowhere = Quoted(empty.File(L"nowhere.cal")),
                       two = Quoted(files.File(L"d.cal")) + L" " + Quoted(files.File(L"e.cal")),
                       png = Quoted(ProgramFolder() + L"\\samples\\foreign.png");
    const struct {
        std::wstring args;
        const char* summary; // how the last line starts
    } runs[] = {
        {L"verify " + none, "verify: files 0"},
        {L"verify " + nowhere, "verify: files 0"},
        {L"verify --resume " + Quoted(out.File(L"no\\such\\t.csv")) + L" " + two, "verify: files 0"},
        {L"export " + none, "export: files 0"},
        {L"export --resume " + Quoted(out.File(L"no\\such\\t.csv")) + L" " + two, "export: files 0"},
        {L"render -o " + Quoted(out.Path()) + L" " + none, "render: pictures 0"},
        {L"render -o " + Quoted(out.File(L"one.png")) + L" " + two, "render: pictures 0, failed 2"},
        {L"sheet -o " + Quoted(out.File(L"s.html")) + L" " + nowhere, "sheet: "},
        {L"convert --to pdf -o " + Quoted(out.File(L"taken.pdf")) + L" " + two, "convert: files 2, written 0"},
        {L"convert --to tiff " + nowhere, "convert: files 0"},
        {L"convert --to cals --dpi 200 --threshold 50 -o " + Quoted(out.File(L"one.cal")) + L" " + Quoted(pictures.Path()),
         "convert: pictures 2, CALS files written 0"},
        {L"convert --to cals --dpi 200 --threshold 50 --table " + Quoted(out.File(L"no.csv")) + L" " + png,
         "convert: pictures 1, CALS files written 0"},
        {L"repair " + nowhere, "repair: files 0"},
    };
    for (const auto& r : runs) {
        const ToolRun run = CardOneLog(r.args, scratch);
        const std::string context = Narrow(r.args) + "\n" + run.out;
        EXPECT_EQ(1u, run.exitCode) << context;
        std::string last = run.out;
        while (!last.empty() && last.back() == '\n') last.pop_back();
        last = last.substr(last.find_last_of('\n') + 1);
        EXPECT_EQ(0u, last.find(r.summary)) << context;
    }
}

} // namespace

namespace {

// A shard that the split leaves empty has done its part (exit 0, and says so); a walk that found
// nothing has not (exit 1, "no ... found"). The driver says both, for every batch command.
TEST_F(RunPromises, AShardLeftEmptyHasDoneItsPartAWalkOfNothingHasNot) {
    DeleteFileW(files.File(L"bad.cal").c_str());
    TempFolder scans, empty;
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\foreign.png").c_str(), scans.File(L"sheet.png").c_str(), FALSE));
    const struct {
        std::wstring args; // then the folder
        const wchar_t* what;
        std::wstring folder;
    } commands[] = {
        {L"verify", L"CALS files", files.Path()},
        {L"render -o {out}\\render", L"CALS files", files.Path()},
        {L"export -o {out}\\cards.csv", L"CALS files", files.Path()},
        {L"sheet -o {out}\\page.html", L"CALS files", files.Path()},
        {L"repair --dry-run", L"CALS files", files.Path()},
        {L"convert --to pdf -o {out}\\pdf", L"CALS files", files.Path()},
        {L"convert --to cals --threshold 50 --dpi 200 -o {out}\\cals", L"pictures", scans.Path()},
    };
    for (const auto& c : commands) {
        const std::string what = Narrow(c.what);
        int empties = 0;
        for (int k = 1; k <= 2; ++k) {
            const ToolRun run = Card(Expand(c.args + L" --shard " + std::to_wstring(k) + L"/2 ") + Quoted(c.folder), scratch);
            EXPECT_EQ(0u, run.exitCode) << Narrow(c.args) << " " << k << "/2\n" << run.out << run.err;
            if (run.err.find("--shard " + std::to_string(k) + "/2 takes none of the 1 " + what + " found") != std::string::npos) ++empties;
            EXPECT_EQ(std::string::npos, run.err.find("no " + what + " found")) << run.err;
        }
        EXPECT_EQ(1, empties) << Narrow(c.args);
        const ToolRun none = Card(Expand(c.args + L" ") + Quoted(empty.Path()), scratch);
        EXPECT_EQ(1u, none.exitCode) << Narrow(c.args);
        EXPECT_NE(std::string::npos, none.err.find("scanleaf-card: no " + what + " found\n")) << Narrow(c.args) << "\n" << none.err;
    }
    const ToolRun show = Card(L"show " + Quoted(empty.Path()), scratch);
    EXPECT_EQ(1u, show.exitCode);
    EXPECT_NE(std::string::npos, show.err.find("scanleaf-card: no CALS files found\n")) << show.err;
}

} // namespace
