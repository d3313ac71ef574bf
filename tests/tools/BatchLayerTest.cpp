// The batch layer on the system's own file calls: -o read as a file, a folder or a usage error;
// folders made to any depth or refused with the reason; the one walk's order, its missing
// operands and its shards; and the record of an output's inputs, each change told by its verdict.
#include "tests/support/TestSupport.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using card::InputsKept;
using Verdict = card::InputsKept::Verdict;

void Touch(const std::wstring& path, const std::string& bytes = "x") {
    testsupport::WriteBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

// Every batch command's closing line: counts in the order declared, those of an option not
// given left out, those shown only when any; a failing count, or nothing done, makes exit 1.
TEST(BatchLayer, TheClosingLineAndItsExitCode) {
    const struct {
        size_t sound, damaged, missing;
        bool resume, nothing;
        const char* line;
        int exitCode;
    } cases[] = {
        {2, 0, 0, false, false, "verify: files 2, sound 2, damaged 0\n", 0},
        {1, 1, 0, false, false, "verify: files 2, sound 1, damaged 1\n", 1},
        {1, 0, 3, false, false, "verify: files 1, sound 1, damaged 0, not found 3\n", 1},
        {0, 0, 0, true, true, "verify: files 0, sound 0, damaged 0, kept 0\n", 1},
        {4, 0, 0, true, false, "verify: files 4, sound 4, damaged 0, kept 0\n", 0},
    };
    for (const auto& c : cases) {
        card::Tally tally(L"verify");
        size_t& files = tally.Count(L"files");
        tally.Count(L"sound") = c.sound;
        tally.Count(L"damaged", true) = c.damaged;
        tally.Count(L"not found", true, card::Tally::IfAny) = c.missing;
        tally.Count(L"kept", false, c.resume ? card::Tally::Always : card::Tally::Never);
        files = c.sound + c.damaged; // set after it was declared: the line reads it at the end
        EXPECT_EQ(c.line, testsupport::Narrow(tally.Line()));
        EXPECT_EQ(c.exitCode, tally.ExitCode(c.nothing)) << c.line;
    }
}

// A drawing is read whole in one piece at its size, and hashed in memory as a file is hashed
// from the disk: a difference would never let an output be judged up to date.
TEST(BatchLayer, AFileReadWholeIsHashedAsItIsIdentified) {
    testsupport::TempFolder folder;
    for (size_t size : {size_t(0), size_t(1), size_t(2047), size_t(65536), size_t(65537), size_t(200001)}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 7) & 0xFF);
        const std::wstring path = folder.File(L"d" + std::to_wstring(size) + L".cal");
        Touch(path, bytes);
        std::string read = "left over";
        ASSERT_TRUE(card::ReadWholeFile(path, read)) << size;
        EXPECT_EQ(bytes, read) << size;
        std::uint64_t fileSize = 0, fileHash = 0;
        ASSERT_TRUE(card::IdentifyFile(path, fileSize, fileHash)) << size;
        EXPECT_EQ(size, fileSize);
        EXPECT_EQ(card::HashBytes(read.data(), read.size()), fileHash) << size;
    }
    std::string read;
    EXPECT_FALSE(card::ReadWholeFile(folder.File(L"none.cal"), read));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(BatchLayer, OutputTargetsAreAFileAFolderOrAUsageError) {
    testsupport::TempFolder folder;
    CreateDirectoryW(folder.File(L"made.pdf").c_str(), nullptr);
    const struct {
        std::wstring given;
        std::vector<std::wstring> files;
        bool folders;
        const wchar_t* file;  // the one output, or null
        const wchar_t* error; // a usage error, or null
    } cases[] = {
        {L"all.PDF", {L".pdf"}, true, L"all.PDF", nullptr},
        {L"x.tiff", {L".tif", L".tiff"}, true, L"x.tiff", nullptr},
        {L"x.pdf", {L".tif", L".tiff"}, true, nullptr, L"-o x.pdf names a pdf file, but --to tiff writes .tif, .tiff files or into a folder"},
        {L"", {L".png"}, true, nullptr, nullptr},
        {L"thumbs", {L".png"}, true, nullptr, nullptr},
        {L"release-1.2", {L".png"}, true, nullptr, nullptr}, // an extension no command writes: a folder
        {folder.File(L"made.pdf"), {L".tif"}, true, nullptr, nullptr}, // a folder that exists keeps its name
        {L"page.pdf", {L".html", L".htm"}, false, nullptr, L"-o page.pdf names a pdf file, but --to tiff writes .html, .htm files"},
        {L"pages", {L".html", L".htm"}, false, nullptr, L"--to tiff needs -o naming a file ending in .html, not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testsupport::Narrow(c.given));
        card::OutputTarget target;
        std::wstring error;
        const bool ok = card::ReadOutputTarget(c.given, c.files, L"--to tiff", target, error, c.folders);
        EXPECT_EQ(c.error == nullptr, ok);
        EXPECT_EQ(testsupport::Narrow(c.error ? c.error : L""), testsupport::Narrow(error));
        if (!ok) continue;
        EXPECT_EQ(c.file != nullptr, target.Single());
        if (c.file) {
            EXPECT_EQ(c.file, target.file);
        } else {
            EXPECT_EQ(c.given.empty() ? L"." : c.given, target.folder);
        }
    }
}

TEST(BatchLayer, FoldersAreMadeToAnyDepthOrRefusedWithTheReason) {
    testsupport::TempFolder folder;
    const std::wstring deep = folder.File(L"a\\b\\c\\d");
    EXPECT_EQ(L"", card::MakeFolders(deep));
    EXPECT_TRUE(card::IsFolder(deep));
    EXPECT_EQ(L"", card::MakeFolders(deep)); // there already
    Touch(folder.File(L"file"));
    EXPECT_EQ(L"cannot make the folder " + folder.File(L"file") + L": a file has that name",
              card::MakeFolders(folder.File(L"file")));
    const std::wstring under = card::MakeFolders(folder.File(L"file\\sub"));
    EXPECT_EQ(0u, under.find(L"cannot make the folder " + folder.File(L"file"))) << testsupport::Narrow(under);
    // What stands in an output's way, with --overwrite named only where it helps.
    EXPECT_EQ(folder.File(L"a") + L" is a folder; name another output", card::InTheWay(folder.File(L"a"), true, true));
    EXPECT_EQ(folder.File(L"file") + L" exists; --overwrite replaces it", card::InTheWay(folder.File(L"file"), false, true));
    EXPECT_EQ(folder.File(L"file") + L" exists", card::InTheWay(folder.File(L"file"), false, false));
    EXPECT_EQ(L"", card::InTheWay(folder.File(L"file"), true, true));
    EXPECT_EQ(L"", card::InTheWay(folder.File(L"none"), false, true));
}

TEST(BatchLayer, OneWalkInOneOrderEachFileOnce) {
    testsupport::TempFolder folder;
    const std::wstring root = folder.File(L"in");
    ASSERT_EQ(L"", card::MakeFolders(root + L"\\Sub\\deeper"));
    for (const wchar_t* name : {L"b.cal", L"A.CAL", L"c.txt", L"Sub\\a.cal", L"Sub\\deeper\\z.cal", L"sub2.cal"})
        Touch(root + L"\\" + name);
    card::WalkRequest request{{root, root + L"\\b.cal", folder.File(L"missing.cal")}, {L"cal"}, true, {}};
    const card::Walked walked = card::Walk(request);
    std::vector<std::wstring> got;
    for (const card::Source& s : walked.sources) got.push_back(s.path.substr(root.size() + 1));
    // Case-blind by the whole path; b.cal given twice is one source.
    EXPECT_EQ((std::vector<std::wstring>{L"A.CAL", L"b.cal", L"sub2.cal", L"Sub\\a.cal", L"Sub\\deeper\\z.cal"}), got);
    EXPECT_EQ(std::vector<std::wstring>{folder.File(L"missing.cal")}, walked.missing);
    EXPECT_EQ(L"Sub\\deeper\\z.cal", walked.sources[4].relative);
    // Shards split the same walk into disjoint parts that cover it.
    std::multiset<std::wstring> joined;
    for (std::uint32_t k = 1; k <= 3; ++k) {
        request.shard = {k, 3};
        const card::Walked share = card::Walk(request);
        EXPECT_EQ(walked.sources.size(), share.sources.size() + share.otherShards);
        for (const card::Source& s : share.sources) joined.insert(s.path);
    }
    EXPECT_EQ(walked.sources.size(), joined.size());
    EXPECT_EQ(joined.size(), std::set<std::wstring>(joined.begin(), joined.end()).size());
}

TEST(BatchLayer, TheKeptRecordTellsEveryChange) {
    testsupport::TempFolder folder;
    const std::wstring output = folder.File(L"out\\a.pdf");
    ASSERT_EQ(L"", card::MakeFolders(folder.File(L"out")));
    auto record = [](const wchar_t* title, std::uint64_t hash) {
        scanleaf::core::InputRecord r;
        r.Option(L"--title", title);
        r.Source(L"C:\\a.cal", 10, hash);
        return r;
    };
    EXPECT_EQ(Verdict::Missing, InputsKept::Judge(output, record(L"t", 1)));
    Touch(output, "pdf");
    EXPECT_EQ(Verdict::NoRecord, InputsKept::Judge(output, record(L"t", 1)));
    ASSERT_TRUE(InputsKept::Keep(output, record(L"t", 1)));
    EXPECT_EQ(folder.File(L"out\\.scanleaf\\a.pdf.inputs"), InputsKept::RecordPath(output));
    EXPECT_TRUE(GetFileAttributesW(folder.File(L"out\\.scanleaf").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    const struct {
        Verdict verdict;
        scanleaf::core::InputRecord record;
    } cases[] = {{Verdict::UpToDate, record(L"t", 1)},
                 {Verdict::SourceChanged, record(L"t", 2)},
                 {Verdict::OptionChanged, record(L"other", 1)}};
    for (const auto& c : cases) EXPECT_EQ(int(c.verdict), int(InputsKept::Judge(output, c.record)));
    // A source more or fewer is a source changed too.
    scanleaf::core::InputRecord more = record(L"t", 1);
    more.Source(L"C:\\b.cal", 1, 1);
    EXPECT_EQ(Verdict::SourceChanged, InputsKept::Judge(output, more));
    // The output changed after it was made.
    Touch(output, "pdf, changed");
    EXPECT_EQ(Verdict::OutputChanged, InputsKept::Judge(output, record(L"t", 1)));
    // Another version's record.
    ASSERT_TRUE(InputsKept::Keep(output, record(L"t", 1)));
    std::vector<unsigned char> kept = testsupport::ReadBytes(InputsKept::RecordPath(output));
    std::string text(kept.begin(), kept.end());
    const size_t tool = text.find("tool\t");
    ASSERT_NE(std::string::npos, tool);
    text.replace(tool, text.find('\n', tool) - tool, "tool\t0.0.1");
    Touch(InputsKept::RecordPath(output), text);
    EXPECT_EQ(Verdict::OtherVersion, InputsKept::Judge(output, record(L"t", 1)));
    // A folder in the output's place is no output.
    EXPECT_EQ(Verdict::Missing, InputsKept::Judge(folder.File(L"out"), record(L"t", 1)));
}

// Jobs keep their first records in a folder that none has made yet, all at once: every record
// is written (a job that lost the race to make the folder once took it for a file and kept none).
TEST(BatchLayer, JobsKeepingRecordsAtOnceAllKeepThem) {
    testsupport::TempFolder folder;
    scanleaf::core::InputRecord record;
    record.Source(L"C:\\a.cal", 1, 1);
    for (int round = 0; round < 40; ++round) {
        const std::wstring out = folder.File(L"out" + std::to_wstring(round));
        ASSERT_EQ(L"", card::MakeFolders(out));
        std::atomic<int> ready{0};
        std::vector<std::thread> jobs;
        std::atomic<int> kept{0};
        for (int j = 0; j < 4; ++j)
            jobs.emplace_back([&, j] {
                ++ready;
                while (ready < 4) {
                }
                kept += InputsKept::Keep(out + L"\\d" + std::to_wstring(j) + L".pdf", record);
            });
        for (std::thread& t : jobs) t.join();
        ASSERT_EQ(4, kept.load()) << "round " << round;
    }
}

} // namespace
