// A batch run's plan: output names that no two sources share and no source has, whatever the
// sources are; shards that take every source once; records that tell every change apart.
#include "cardcore/BatchPlan.h"
#include "core/native/StandIns.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace {

namespace core = scanleaf::core;
using core::Text;

const core::LowerCaser& Lower() { return core::StandInLowerCaser(); }

std::string Narrow(const Text& text) { return core::ToUtf8(text); }

std::vector<Text> Flat(const std::vector<std::vector<Text>>& names) {
    std::vector<Text> all;
    for (const auto& n : names) all.insert(all.end(), n.begin(), n.end());
    return all;
}

TEST(BatchPlan, NamesOfTheCasesThatOnceCollided) {
    const core::OutputNaming folder{SL_T("O:\\out"), SL_T(""), SL_T(".cal")};
    const struct {
        const char* what;
        std::vector<core::PlannedSource> sources;
        core::OutputNaming naming;
        std::vector<Text> expected;
    } cases[] = {
        {"a page-named picture before a picture of several pages",
         {{SL_T("S:\\in\\multi-p001.tif"), 1}, {SL_T("S:\\in\\multi.tif"), 3}},
         folder,
         {SL_T("O:\\out\\multi-p001.cal"), SL_T("O:\\out\\multi (2)-p001.cal"), SL_T("O:\\out\\multi (2)-p002.cal"),
          SL_T("O:\\out\\multi (2)-p003.cal")}},
        {"the same stem in two folders, and in other case",
         {{SL_T("S:\\a\\Plan.tif"), 1}, {SL_T("S:\\b\\plan.png"), 1}, {SL_T("S:\\c\\PLAN.bmp"), 1}},
         folder,
         {SL_T("O:\\out\\Plan.cal"), SL_T("O:\\out\\plan (2).cal"), SL_T("O:\\out\\PLAN (3).cal")}},
        {"an earlier source already named like a numbered one",
         {{SL_T("S:\\a (2).tif"), 1}, {SL_T("S:\\a.tif"), 1}, {SL_T("S:\\x\\a.tif"), 1}},
         folder,
         {SL_T("O:\\out\\a (2).cal"), SL_T("O:\\out\\a.cal"), SL_T("O:\\out\\a (3).cal")}},
        {"an output that would be a source",
         {{SL_T("O:\\out\\d.cal"), 1}, {SL_T("O:\\out\\D.tif"), 1}},
         folder,
         {SL_T("O:\\out\\d (2).cal"), SL_T("O:\\out\\D (3).cal")}},
        {"-o naming the one output of several pages",
         {{SL_T("S:\\scan.tif"), 2}},
         {SL_T(""), SL_T("O:\\one"), SL_T(".CAL")},
         {SL_T("O:\\one-p001.CAL"), SL_T("O:\\one-p002.CAL")}},
        {"a folder given with its separator",
         {{SL_T("S:\\m.tif"), 1}},
         {SL_T("m1\\m2\\"), SL_T(""), SL_T(".pdf")},
         {SL_T("m1\\m2\\m.pdf")}},
        {"a drive's root", {{SL_T("S:\\x\\r.tif"), 1}}, {SL_T("O:\\"), SL_T(""), SL_T(".cal")}, {SL_T("O:\\r.cal")}},
        {"no pages (a refused source) names nothing", {{SL_T("S:\\bad.tif"), 0}, {SL_T("S:\\bad.png"), 1}}, folder,
         {SL_T("O:\\out\\bad.cal")}},
        {"pages that carry their names, one of them twice",
         {{SL_T("S:\\all.pdf"), 3, {SL_T("Plan A"), SL_T(""), SL_T("plan a")}}},
         folder,
         {SL_T("O:\\out\\Plan A.cal"), SL_T("O:\\out\\all-p002.cal"), SL_T("O:\\out\\all-p003.cal")}},
        {"a carried name another source's output has",
         {{SL_T("S:\\x.tif"), 1}, {SL_T("S:\\all.pdf"), 2, {SL_T("x"), SL_T("y")}}},
         folder,
         {SL_T("O:\\out\\x.cal"), SL_T("O:\\out\\x (2).cal"), SL_T("O:\\out\\y (2).cal")}},
        {"carried names that are no file names",
         {{SL_T("S:\\all.pdf"), 3, {SL_T("..\\..\\evil"), SL_T("CON"), SL_T(" . ")}}},
         folder,
         {SL_T("O:\\out\\_.._evil.cal"), SL_T("O:\\out\\_CON.cal"), SL_T("O:\\out\\all-p003.cal")}},
        {"one page keeps its source's name", {{SL_T("S:\\one.pdf"), 1, {SL_T("Title")}}}, folder, {SL_T("O:\\out\\one.cal")}},
        {"-o naming the one output keeps the page numbers",
         {{SL_T("S:\\scan.pdf"), 2, {SL_T("a"), SL_T("b")}}},
         {SL_T(""), SL_T("O:\\one"), SL_T(".cal")},
         {SL_T("O:\\one-p001.cal"), SL_T("O:\\one-p002.cal")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<Text> names = Flat(core::PlanOutputNames(c.sources, c.naming, Lower()));
        ASSERT_EQ(c.expected.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(Narrow(c.expected[i]), Narrow(names[i]));
    }
}

TEST(BatchPlan, TitlesAsFileNames) {
    const struct {
        Text title, name;
    } cases[] = {
        {SL_T("A3-000471 rev. B"), SL_T("A3-000471 rev. B")},
        {SL_T("a/b\\c:d*e?f\"g<h>i|j"), SL_T("a_b_c_d_e_f_g_h_i_j")},
        {SL_T("  ..hidden. "), SL_T("hidden")},
        {SL_T("tab\there"), SL_T("tab_here")},
        {SL_T("nul.txt"), SL_T("_nul.txt")},
        {SL_T("Com1"), SL_T("_Com1")},
        {SL_T("console"), SL_T("console")},
        {SL_T(" ... "), SL_T("")},
        {Text(200, core::Unit('x')), Text(120, core::Unit('x'))},
        {Text(119, core::Unit('x')) + Text(1, core::Unit(0xD83D)) + Text(1, core::Unit(0xDE00)), Text(119, core::Unit('x'))},
    };
    for (const auto& c : cases) EXPECT_EQ(Narrow(c.name), Narrow(core::FileNameOf(c.title))) << Narrow(c.title);
}

// Random sources as archives hold them: pictures of several pages, names that differ in case
// only, the same stem in several folders, names that look like page names or numbered names,
// and outputs that fall into a source's folder.
TEST(BatchPlan, RandomSourcesNeverShareAnOutputNorNameASource) {
    std::mt19937 random(20261208);
    const Text stems[] = {SL_T("a"), SL_T("A"), SL_T("a-p001"), SL_T("A-P002"), SL_T("a (2)"), SL_T("b"), SL_T("b-p1")};
    const Text folders[] = {SL_T("S:\\x"), SL_T("S:\\X"), SL_T("S:\\y"), SL_T("O:\\out")};
    const Text extensions[] = {SL_T(".tif"), SL_T(".TIF"), SL_T(".png"), SL_T(".cal")};
    for (int round = 0; round < 400; ++round) {
        std::vector<core::PlannedSource> sources;
        std::set<Text> given;
        const int count = 1 + int(random() % 12);
        for (int i = 0; i < count; ++i) {
            const Text path = folders[random() % 4] + SL_T("\\") + stems[random() % 7] + extensions[random() % 4];
            if (!given.insert(Lower().Lower(path)).second) continue; // the walk gives a file once
            sources.push_back({path, std::uint32_t(random() % 4)});
        }
        const core::OutputNaming naming{SL_T("O:\\out"), SL_T(""), SL_T(".cal")};
        const auto names = core::PlanOutputNames(sources, naming, Lower());
        ASSERT_EQ(sources.size(), names.size());
        std::set<Text> seen;
        for (size_t i = 0; i < sources.size(); ++i) {
            ASSERT_EQ(sources[i].outputs, names[i].size());
            const Text stem = SL_T("O:\\out\\") + core::BaseName(sources[i].path);
            for (const Text& name : names[i]) {
                const Text key = Lower().Lower(name);
                EXPECT_TRUE(seen.insert(key).second) << "twice: " << Narrow(name) << " (round " << round << ")";
                EXPECT_FALSE(given.count(key)) << "a source: " << Narrow(name);
                EXPECT_EQ(0u, name.find(stem)) << Narrow(name) << " is not named after " << Narrow(sources[i].path);
            }
        }
        // The same sources give the same names: nothing but the list decides them.
        EXPECT_TRUE(names == core::PlanOutputNames(sources, naming, Lower()));
    }
}

TEST(BatchPlan, ShardsTakeEverySourceOnce) {
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        const std::uint32_t n = 1 + random() % 9;
        std::vector<Text> paths;
        for (int i = 0; i < 200; ++i)
            paths.push_back(SL_T("sub") + core::Decimal(random() % 5) + SL_T("\\Drawing-") + core::Decimal(random()) + SL_T(".cal"));
        size_t taken = 0;
        for (const Text& path : paths) {
            int shards = 0;
            for (std::uint32_t k = 1; k <= n; ++k) shards += core::Shard{k, n}.Takes(path, Lower());
            EXPECT_EQ(1, shards) << Narrow(path) << " in " << n << " shards";
            // Case and the slash's direction do not move a source to another shard.
            Text other = Lower().Lower(path);
            for (auto& c : other)
                if (c == '\\') c = '/';
            EXPECT_EQ(core::ShardHash(path, Lower()), core::ShardHash(other, Lower()));
            taken += core::Shard{1, n}.Takes(path, Lower());
        }
        // Shards are near equal in size (200 sources: far from all in one).
        if (n > 1) {
            EXPECT_LT(taken, 200u * 2 / n + 20);
        }
    }
    // The hash is fixed: every machine and every version splits alike.
    EXPECT_EQ(0xcbf29ce484222325ull, core::ShardHash(SL_T(""), Lower()));
    EXPECT_EQ(core::ShardHash(SL_T("a\\b.cal"), Lower()), core::ShardHash(SL_T("A/B.CAL"), Lower()));
}

TEST(BatchPlan, ShardTextIsKOfN) {
    const struct {
        const char* text;
        bool ok;
        std::uint32_t k, n;
    } cases[] = {{"1/1", true, 1, 1},   {"3/8", true, 3, 8},    {"8/8", true, 8, 8},   {"100000/100000", true, 100000, 100000},
                 {"9/8", false, 0, 0},  {"0/8", false, 0, 0},   {"1/0", false, 0, 0},  {"1/", false, 0, 0},
                 {"/2", false, 0, 0},   {"100001/100001", false, 0, 0}, {" 1/2", false, 0, 0}, {"1/100000", true, 1, 100000},
                 {"-1/2", false, 0, 0}, {"a/b", false, 0, 0}};
    for (const auto& c : cases) {
        core::Shard shard;
        EXPECT_EQ(c.ok, core::ParseShard(core::Ascii(c.text), shard)) << c.text;
        if (c.ok) {
            EXPECT_TRUE(shard.index == c.k && shard.count == c.n) << c.text;
        }
    }
}

TEST(BatchPlan, RecordsTellEveryChangeApart) {
    auto record = [](const Text& option, const Text& path, std::uint64_t size, std::uint64_t hash) {
        core::InputRecord r;
        r.Option(SL_T("--title"), option);
        r.Source(path, size, hash);
        return r.Bytes();
    };
    const std::string base = record(SL_T("title"), SL_T("C:\\a.cal"), 100, 1);
    const std::string changed[] = {
        record(SL_T("titles"), SL_T("C:\\a.cal"), 100, 1), record(SL_T("title"), SL_T("C:\\b.cal"), 100, 1),
        record(SL_T("title"), SL_T("C:\\a.cal"), 101, 1),  record(SL_T("title"), SL_T("C:\\a.cal"), 100, 2),
        // A value cannot pass for another field or another line.
        record(SL_T("title\tC:\\a.cal"), SL_T(""), 100, 1), record(SL_T("title\nsource"), SL_T("C:\\a.cal"), 100, 1)};
    for (const std::string& c : changed) EXPECT_NE(base, c);
    core::InputRecord r;
    r.Option(SL_T("x"), SL_T("50%\t\n"));
    EXPECT_EQ("scanleaf-card inputs 1\noption\tx\t50%25%09%0A\n", r.Bytes());
    // The content hash is zlib's CRC-32 over its Adler-32 (as Python's zlib gives them): pieces or
    // whole, the same; nothing hashed is zlib's starting values.
    core::ContentHash whole, pieces, none;
    whole.Add("header and stream", 17);
    pieces.Add("header ", 7);
    pieces.Add("", 0);
    pieces.Add("and stream", 10);
    EXPECT_EQ(0x5C34636E390D0669ull, whole.Value());
    EXPECT_EQ(whole.Value(), pieces.Value());
    EXPECT_EQ(0x0000000000000001ull, none.Value());
}

// The rows a resumable run keeps: every field survives any byte, and a line spoilt anywhere is
// not taken for a row.
TEST(BatchPlan, KeptRowsReadBackAndSpoiltLinesAreNone) {
    core::KeptRow row;
    row.path = SL_T("Z:\\scans\\50%\\a\tb.cal");
    row.size = 18446744073709551615ull;
    row.hash = 0x0123456789abcdefull;
    row.row = std::string("a,\"b\r\nc\"\t%41\0z", 14);
    const std::string line = core::FormatKeptRow(row);
    EXPECT_EQ(std::string::npos, line.find_first_of("\r\n"));
    core::KeptRow read;
    ASSERT_TRUE(core::ParseKeptRow(line, read));
    EXPECT_TRUE(read.path == row.path && read.size == row.size && read.hash == row.hash && read.row == row.row);
    const std::string spoilt[] = {
        "",
        line.substr(0, line.size() / 2),                        // cut short
        "row\tZ:\\a.cal\t12\t0123456789abcdef",                  // no row field
        "row\tZ:\\a.cal\t12\t0123456789abcde\tx",               // a hash of 15 digits
        "row\tZ:\\a.cal\t-1\t0123456789abcdef\tx",              // no size
        "row\tZ:\\a.cal\t18446744073709551616\t0123456789abcdef\tx", // a size past 64 bits
        "row\t\t12\t0123456789abcdef\tx",                       // no path
        "row\tZ:\\a%4.cal\t12\t0123456789abcdef\tx",            // an escape cut short
        "run\tZ:\\a.cal\t12\t0123456789abcdef\tx",
        core::FormatRunLine(SL_T("verify")),
    };
    for (const std::string& s : spoilt) EXPECT_FALSE(core::ParseKeptRow(s, read)) << s;
    core::Text run;
    ASSERT_TRUE(core::ParseRunLine(core::FormatRunLine(SL_T("export\t1.2.0\tsettings none")), run));
    EXPECT_TRUE(run == SL_T("export\t1.2.0\tsettings none"));
    EXPECT_FALSE(core::ParseRunLine(line, run));
    EXPECT_FALSE(core::ParseRunLine("scanleaf-card rows 2\tverify", run));
}

// What --skip-existing says made an output again: the option that was added, removed or changed
// is named before any source, since adding an option adds a line before the sources.
TEST(BatchPlan, RecordsComparedNameTheOptionThatChanged) {
    auto record = [](std::vector<std::pair<const char*, const char*>> options, const char* hash, const char* tool) {
        core::InputRecord r;
        for (const auto& o : options) r.Option(core::FromUtf8(o.first), core::FromUtf8(o.second));
        r.Source(SL_T("S:\\d.cal"), 10, std::stoull(hash, nullptr, 16));
        return r.Bytes() + "tool\t" + tool + "\noutput\t100\n";
    };
    const std::string base = record({{"--to", "pdf"}, {"--title", ""}}, "1", "1.1.0");
    const struct {
        const char* what;
        std::string now;
        core::RecordChange::Kind kind;
        const char* option;
    } cases[] = {
        {"the same", base, core::RecordChange::Same, ""},
        {"an option added before the sources", record({{"--to", "pdf"}, {"--title", ""}, {"--pdfa", "1b"}}, "1", "1.1.0"),
         core::RecordChange::Option, "--pdfa"},
        {"an option added and a source changed", record({{"--to", "pdf"}, {"--title", ""}, {"value notes", "x"}}, "2", "1.1.0"),
         core::RecordChange::Option, "value notes"},
        {"an option's value", record({{"--to", "tiff"}, {"--title", ""}}, "1", "1.1.0"), core::RecordChange::Option, "--to"},
        {"an option taken away", record({{"--to", "pdf"}}, "1", "1.1.0"), core::RecordChange::Option, "--title"},
        {"a source", record({{"--to", "pdf"}, {"--title", ""}}, "2", "1.1.0"), core::RecordChange::Source, ""},
        {"the tool", record({{"--to", "pdf"}, {"--title", ""}}, "1", "1.2.0"), core::RecordChange::Tool, ""},
        {"the output", base.substr(0, base.size() - 4) + "99\n", core::RecordChange::Output, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const core::RecordChange change = core::CompareRecords(base, c.now);
        EXPECT_EQ(c.kind, change.kind);
        EXPECT_EQ(c.option, Narrow(change.option));
    }
}

} // namespace

namespace {
std::map<std::string, std::string> schedulerVariables;
Text SchedulerVariable(const char* name) {
    const auto found = schedulerVariables.find(name);
    return found == schedulerVariables.end() ? Text() : core::Ascii(found->second);
}
} // namespace

// --shard auto reads the scheduler's variables: a Slurm array of any start and step, or a
// Kubernetes indexed Job's index from 0 with the count given; anything else is refused by name.
TEST(BatchPlan, AutoShardIsTheSchedulersTask) {
    using Vars = std::map<std::string, std::string>;
    const Vars slurm = {{"SLURM_ARRAY_TASK_ID", "7"}, {"SLURM_ARRAY_TASK_MIN", "5"}, {"SLURM_ARRAY_TASK_COUNT", "3"}};
    auto with = [](Vars vars, const std::string& name, const std::string& value) {
        vars[name] = value;
        return vars;
    };
    const struct {
        const char* text;
        Vars vars;
        const char* shard; // null: refused with `problem` in the message
        const char* problem;
    } cases[] = {
        {"2/3", {}, "2/3", nullptr},
        {"auto", slurm, "3/3", nullptr},
        {"auto", with(with(slurm, "SLURM_ARRAY_TASK_STEP", "2"), "SLURM_ARRAY_TASK_ID", "9"), "3/3", nullptr},
        {"auto/3", slurm, "3/3", nullptr},
        {"auto/4", slurm, nullptr, "the Slurm array has 3 tasks"},
        {"auto", with(slurm, "SLURM_ARRAY_TASK_ID", "4"), nullptr, "is not SLURM_ARRAY_TASK_MIN 5"},
        {"auto", with(slurm, "SLURM_ARRAY_TASK_ID", "8"), nullptr, "give the array as MIN-MAX"}, // "5,6,8"
        {"auto", with(with(slurm, "SLURM_ARRAY_TASK_STEP", "2"), "SLURM_ARRAY_TASK_ID", "8"), nullptr, "steps of 2"},
        {"auto", with(slurm, "SLURM_ARRAY_TASK_ID", "x"), nullptr, "whole numbers"},
        {"auto/16", {{"JOB_COMPLETION_INDEX", "0"}}, "1/16", nullptr},
        {"auto/16", {{"JOB_COMPLETION_INDEX", "15"}}, "16/16", nullptr},
        {"auto/16", {{"JOB_COMPLETION_INDEX", "16"}}, nullptr, "0 to 15"},
        {"auto", {{"JOB_COMPLETION_INDEX", "2"}}, nullptr, "--shard auto/N"},
        {"auto", {}, nullptr, "SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_MIN and SLURM_ARRAY_TASK_COUNT"},
        {"auto", {{"SLURM_ARRAY_TASK_ID", "1"}}, nullptr, "JOB_COMPLETION_INDEX"},
        {"auto/0", slurm, nullptr, "N from 1"},
        {"automatic", slurm, nullptr, "is not K/N"},
        {"auto", with(slurm, "SLURM_ARRAY_TASK_COUNT", "100001"), nullptr, "not from 1 to 100000"},
    };
    for (const auto& c : cases) {
        schedulerVariables = c.vars;
        core::Shard shard;
        const std::string problem = core::ResolveShard(core::Ascii(c.text), SchedulerVariable, shard);
        if (c.shard) {
            EXPECT_EQ("", problem) << c.text;
            EXPECT_TRUE(core::ShardText(shard) == core::Ascii(c.shard)) << c.text;
        } else {
            EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.text << ": " << problem;
        }
    }
}
