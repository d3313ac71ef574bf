// The help and the manual cannot drift from the parser: every option that a command's table
// gives (and so the parser accepts) is in its help and in its section of docs/card-tool.md; the
// parser takes each option and refuses others in one line.
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"
#include "tools/card/commands/CommandLine.h"
#include "tools/card/commands/Options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// The section of the manual that documents the command: from its "## " heading to the next.
std::string ManualSection(const std::string& manual, const std::string& command) {
    for (size_t at = manual.find("\n## "); at != std::string::npos; at = manual.find("\n## ", at + 1)) {
        const size_t end = manual.find('\n', at + 1);
        const std::string heading = manual.substr(at + 4, end - at - 4);
        // "register, unregister" documents both.
        for (size_t from = 0; from <= heading.size();) {
            size_t comma = heading.find(", ", from);
            if (comma == std::string::npos) comma = heading.size();
            if (heading.substr(from, comma - from) == command) {
                const size_t next = manual.find("\n## ", end);
                return manual.substr(at, next == std::string::npos ? std::string::npos : next - at);
            }
            from = comma + 2;
        }
    }
    return std::string();
}

// The manual's synopsis of each command is the parser's, and the first column of its option
// tables lists exactly the command's options as the help shows them: none missing, none extra,
// none spelt otherwise.
TEST(Help, TheManualsSynopsesAndOptionTablesAreTheParsers) {
    const std::string manual = ReadText(std::wstring(L"Z:") + SCANLEAF_SOURCE_DIR + L"/docs/card-tool.md");
    ASSERT_FALSE(manual.empty());
    for (const card::CommandEntry& command : card::Commands()) {
        const std::string name = Narrow(command.name);
        SCOPED_TRACE(name);
        const std::string section = ManualSection(manual, name);
        ASSERT_FALSE(section.empty());
        EXPECT_NE(std::string::npos, section.find("\n    scanleaf-card " + Narrow(card::Synopsis(command)) + "\n"))
            << "the synopsis is not the parser's: " << Narrow(card::Synopsis(command));
        std::vector<std::string> documented;
        bool inTable = false;
        for (size_t at = 0; at < section.size();) {
            size_t end = section.find('\n', at);
            if (end == std::string::npos) end = section.size();
            const std::string line = section.substr(at, end - at);
            at = end + 1;
            if (line.rfind("| Option |", 0) == 0) {
                inTable = true;
                continue;
            }
            if (!inTable || line.rfind("|---", 0) == 0) continue;
            if (line.rfind("| `", 0) != 0) {
                inTable = false;
                continue;
            }
            std::string cell = line.substr(3, line.find("` |") - 3);
            for (size_t bar; (bar = cell.find("\\|")) != std::string::npos;) cell.replace(bar, 2, "|");
            documented.push_back(cell);
        }
        std::vector<std::string> parsed;
        for (const card::OptionEntry& option : command.options) parsed.push_back(Narrow(card::OptionText(option)));
        std::sort(documented.begin(), documented.end());
        std::sort(parsed.begin(), parsed.end());
        EXPECT_EQ(parsed, documented);
    }
}

TEST(Help, EveryOptionInTheHelpAndTheManual) {
    TempFolder scratch;
    const std::string manual = ReadText(std::wstring(L"Z:") + SCANLEAF_SOURCE_DIR + L"/docs/card-tool.md");
    ASSERT_FALSE(manual.empty());
    const ToolRun list = Card(L"--help", scratch);
    EXPECT_EQ(0u, list.exitCode);
    for (const card::CommandEntry& command : card::Commands()) {
        const std::string name = Narrow(command.name);
        SCOPED_TRACE(name);
        EXPECT_NE(std::string::npos, list.out.find("\n  " + name + " ")) << "listed by --help";
        const ToolRun help = Card(L"help " + std::wstring(command.name), scratch);
        EXPECT_EQ(0u, help.exitCode);
        const ToolRun asked = Card(std::wstring(command.name) + L" --help", scratch);
        EXPECT_EQ(0u, asked.exitCode);
        EXPECT_EQ(help.out, asked.out);
        EXPECT_EQ(0u, help.out.find("usage: scanleaf-card " + Narrow(card::Synopsis(command)) + "\n")) << help.out;
        EXPECT_NE(std::string::npos, help.out.find("exit status: "));
        const std::string section = ManualSection(manual, name);
        ASSERT_FALSE(section.empty()) << "no section in docs/card-tool.md";
        for (const card::OptionEntry& option : command.options) {
            const std::string text = Narrow(card::OptionText(option));
            EXPECT_NE(std::string::npos, help.out.find("  " + text)) << text;
            EXPECT_NE(std::string::npos, help.out.find(Narrow(card::OptionHelp(option)) + "\n")) << text;
            EXPECT_NE(std::string::npos, section.find("`" + Narrow(option.name))) << text << " in the manual";
            // The range a number takes is in the manual too.
            if (option.kind == card::OptionKind::Number && option.low != LONG_MIN) {
                EXPECT_NE(std::string::npos,
                          section.find(std::to_string(option.low) + " to " + std::to_string(option.high)))
                    << text << ": its range in the manual";
            }
        }
    }
}

// The parser as a table: what it takes, and the one line it gives for what it does not.
TEST(Help, TheParserTakesWhatTheTableSaysAndNothingElse) {
    const card::CommandEntry& render = *card::FindCommand(L"render");
    const struct {
        std::vector<std::wstring> args;
        const char* error; // empty: accepted
    } cases[] = {
        {{L"--recursive", L"--size", L"0", L"-o", L"out", L"a.cal", L"b.cal"}, ""},
        {{L"-", L"-5"}, ""}, // a lone "-" and a negative number are operands
        {{L"a.cal", L"--bogus"}, "render has no option --bogus"},
        {{L"a.cal", L"--size"}, "--size needs a value (N)"},
        {{}, "render needs FILE|FOLDER..."},
        // Each value is checked by the option's type before anything runs.
        {{L"--size", L"x", L"a.cal"}, "--size takes a whole number from 0 to 999999, not \"x\""},
        {{L"--size", L"1000000", L"a.cal"}, "--size takes a whole number from 0 to 999999, not \"1000000\""},
        {{L"--size", L"-1", L"a.cal"}, "--size takes a whole number from 0 to 999999, not \"-1\""},
        {{L"--jobs", L"0", L"a.cal"}, "--jobs takes a whole number from 1 to 64, not \"0\""},
        {{L"--jobs", L" 4", L"a.cal"}, "--jobs takes a whole number from 1 to 64, not \" 4\""},
        {{L"--jobs", L"4x", L"a.cal"}, "--jobs takes a whole number from 1 to 64, not \"4x\""},
        {{L"--jobs", L"99999999999999999999", L"a.cal"},
         "--jobs takes a whole number from 1 to 64, not \"99999999999999999999\""},
        {{L"--jobs", L"64", L"--size", L"0", L"a.cal"}, ""},
        {{L"--shard", L"3/2", L"a.cal"},
         "--shard takes K/N, this machine's share K of N (1 <= K <= N <= 100000), or auto[/N], not \"3/2\""},
        {{L"--shard", L"2/2", L"a.cal"}, ""},
    };
    for (const auto& c : cases) {
        card::RenderOptions options;
        std::wstring error;
        const bool ok = card::ParseOptions(render, c.args, options, error);
        EXPECT_EQ(!*c.error, ok) << c.error;
        EXPECT_EQ(c.error, Narrow(error));
    }
    // Each option fills its typed field; the other fields keep their defaults.
    card::RenderOptions rendered;
    std::wstring error;
    ASSERT_TRUE(card::ParseOptions(render, {L"--recursive", L"--size", L"0", L"--jobs", L"3", L"--shard", L"2/5", L"a.cal"},
                                   rendered, error));
    EXPECT_TRUE(rendered.recursive);
    EXPECT_EQ(0, rendered.size);
    EXPECT_EQ(3u, rendered.jobs);
    EXPECT_EQ(2u, rendered.shard.index);
    EXPECT_EQ(5u, rendered.shard.count);
    EXPECT_FALSE(rendered.skipExisting);
    EXPECT_EQ((std::vector<std::wstring>{L"a.cal"}), rendered.operands);
    // A request of another type is no request of the command.
    card::VerifyOptions verified;
    EXPECT_FALSE(card::ParseOptions(render, {L"a.cal"}, verified, error));

    card::SetOptions set;
    ASSERT_TRUE(card::ParseOptions(*card::FindCommand(L"set"),
                                   {L"f.cal", L"--date", L"a=2024-01-01", L"x=1", L"--date", L"b=2024-01-02", L"--style", L"3"},
                                   set, error));
    ASSERT_EQ(2u, set.dates.size());
    EXPECT_EQ(L"a", set.dates[0].name);
    EXPECT_EQ(L"2024-01-02", set.dates[1].text);
    EXPECT_TRUE(set.dates[1].isDate);
    EXPECT_LT(set.dates[0].date, set.dates[1].date);
    EXPECT_EQ((std::vector<std::wstring>{L"f.cal", L"x=1"}), set.operands);
    EXPECT_EQ(3, set.style);
    EXPECT_TRUE(set.styleGiven);
    EXPECT_FALSE(card::ParseOptions(*card::FindCommand(L"set"), {L"f.cal", L"--style", L"x"}, set, error));
    EXPECT_EQ("--style takes a whole number, not \"x\"", Narrow(error));
    card::ConvertOptions convert;
    EXPECT_FALSE(card::ParseOptions(*card::FindCommand(L"convert"), {L"--to", L"png", L"a"}, convert, error));
    EXPECT_EQ("--to takes pdf, tiff or cals, not \"png\"", Narrow(error));
    // A value that may be left out: taken only when a word of it follows.
    using scanleaf::core::Pdfa;
    const struct {
        std::vector<std::wstring> args;
        Pdfa pdfa;
        std::vector<std::wstring> operands;
    } optional[] = {
        {{L"--to", L"pdf", L"--pdfa", L"1b", L"a"}, Pdfa::Part1b, {L"a"}},
        {{L"--to", L"pdf", L"--pdfa", L"a"}, Pdfa::Part2b, {L"a"}},
        {{L"--to", L"pdf", L"a", L"--pdfa"}, Pdfa::Part2b, {L"a"}},
        {{L"--pdfa", L"--to", L"pdf", L"1B"}, Pdfa::Part2b, {L"1B"}},
        {{L"--to", L"pdf", L"a"}, Pdfa::None, {L"a"}},
    };
    for (const auto& c : optional) {
        card::ConvertOptions o;
        ASSERT_TRUE(card::ParseOptions(*card::FindCommand(L"convert"), c.args, o, error)) << Narrow(error);
        EXPECT_EQ(c.pdfa, o.pdfa);
        EXPECT_EQ(c.operands, o.operands);
    }
    // An option of the other mode, or of a table not given, is refused by the list's own rule.
    const struct {
        std::vector<std::wstring> args;
        const char* error;
    } modes[] = {
        {{L"--to", L"pdf", L"--set", L"a=1", L"x"}, "--set is for --to cals"},
        {{L"--to", L"tiff", L"--pdfa", L"x"}, "--pdfa is for --to pdf"},
        {{L"--to", L"cals", L"--title", L"t", L"x"}, "--title is for --to pdf and --to tiff"},
        {{L"--to", L"cals", L"--encoding", L"ansi", L"x"}, "--encoding is for --table"},
        {{L"--to", L"pdf", L"--delimiter", L";", L"x"}, "--delimiter is for --to cals"},
        {{L"--to", L"cals", L"--table", L"t.csv", L"--delimiter", L";", L"x"}, ""},
    };
    for (const auto& c : modes) {
        card::ConvertOptions o;
        EXPECT_EQ(!*c.error, card::ParseOptions(*card::FindCommand(L"convert"), c.args, o, error)) << c.error;
        if (*c.error) {
            EXPECT_EQ(c.error, Narrow(error));
        }
    }
    // A value its option's own rule refuses; an option the command needs, missing.
    const struct {
        const wchar_t* command;
        std::vector<std::wstring> args;
        const char* error;
    } refused[] = {
        {L"convert", {L"--to", L"cals", L"--set", L"=1", L"x"}, "--set takes NAME=VALUE, not \"=1\""},
        {L"set", {L"f.cal", L"--date", L"scandate"}, "expected NAME=VALUE, got \"scandate\""},
        {L"set", {L"f.cal", L"--date", L"scandate=2024-02-30"}, ""},
        {L"convert", {L"x"}, "convert needs --to pdf|tiff|cals"},
        {L"sheet", {L"x"}, "sheet needs -o PAGE.html"},
    };
    for (const auto& c : refused) {
        card::ConvertOptions convertOptions;
        card::SetOptions setOptions;
        card::BatchOptions sheetOptions;
        const card::CommandEntry& command = *card::FindCommand(c.command);
        const bool ok = std::wstring(c.command) == L"convert" ? card::ParseOptions(command, c.args, convertOptions, error)
                        : std::wstring(c.command) == L"set"   ? card::ParseOptions(command, c.args, setOptions, error)
                                                              : card::ParseOptions(command, c.args, sheetOptions, error);
        EXPECT_FALSE(ok) << c.error;
        if (*c.error) {
            EXPECT_EQ(c.error, Narrow(error));
        }
    }
    // Choices arrive as what they stand for.
    card::ExportOptions exported;
    ASSERT_TRUE(card::ParseOptions(*card::FindCommand(L"export"), {L"--format", L"json", L"--delimiter", L";", L"x"}, exported, error));
    EXPECT_EQ(card::TableFormat::Json, exported.format);
    EXPECT_EQ(L';', exported.delimiter);
    card::ConvertOptions table;
    ASSERT_TRUE(card::ParseOptions(*card::FindCommand(L"convert"),
                                   {L"--to", L"cals", L"--table", L"t.csv", L"--encoding", L"ansi", L"--set", L"a=b=c", L"x"}, table,
                                   error));
    EXPECT_EQ(card::Target::Cals, table.to);
    EXPECT_TRUE(table.Reading().ansi);
    EXPECT_EQ(0, table.Reading().parse.delimiter);
    ASSERT_EQ(1u, table.set.size());
    EXPECT_EQ(L"b=c", table.set[0].text);
    card::NoOptions none;
    EXPECT_FALSE(card::ParseOptions(*card::FindCommand(L"undo"), {L"a", L"b"}, none, error));
    EXPECT_EQ("undo takes JOURNAL, not \"b\"", Narrow(error));
    EXPECT_FALSE(card::ParseOptions(*card::FindCommand(L"info"), {L"x"}, none, error));
    EXPECT_EQ("info takes no operand, not \"x\"", Narrow(error));
}

// The rules between options name options of the same command by their entries: each one named
// is in the command's list, and each value named is a word of that option's choice.
TEST(Help, EveryOptionARuleNamesIsInItsCommandsList) {
    size_t rules = 0;
    for (const card::CommandEntry& command : card::Commands()) {
        auto find = [&](const std::wstring& name) -> const card::OptionEntry* {
            for (const card::OptionEntry& o : command.options)
                if (name == o.name) return &o;
            return nullptr;
        };
        for (const card::OptionEntry& option : command.options)
            for (const card::OptionEntry::For& rule : option.onlyFor) {
                ++rules;
                const card::OptionEntry* other = rule.option ? find(rule.option) : nullptr;
                ASSERT_NE(nullptr, other) << Narrow(command.name) << " " << Narrow(option.name) << " names no option of its list";
                if (!rule.values) continue;
                ASSERT_EQ(card::OptionKind::Choice, other->kind) << Narrow(option.name);
                const std::wstring words = L"|" + std::wstring(other->value) + L"|";
                std::wstring values = rule.values;
                for (size_t at = 0; at <= values.size();) {
                    const size_t bar = std::min(values.find(L'|', at), values.size());
                    const std::wstring word = values.substr(at, bar - at);
                    EXPECT_NE(std::wstring::npos, words.find(L"|" + word + L"|"))
                        << Narrow(option.name) << " is for " << Narrow(rule.option) << " " << Narrow(word) << ", no word of it";
                    at = bar + 1;
                }
            }
    }
    EXPECT_EQ(11u, rules); // convert's: each mode's options, and the table's for --table
}

TEST(Help, WrongCommandsAndOptionsAreOneLineAndExit2) {
    TempFolder scratch;
    const struct {
        const wchar_t* args;
        const char* err;
    } cases[] = {
        {L"frobnicate", "scanleaf-card: unknown command \"frobnicate\"\nusage: scanleaf-card [--dll PATH] COMMAND ...  "
                        "(scanleaf-card --help lists the commands)\n"},
        {L"help frobnicate", "scanleaf-card: no command \"frobnicate\"\n"},
        {L"frobnicate --help", "scanleaf-card: unknown command \"frobnicate\"\n"},
        {L"undo", "scanleaf-card: undo needs JOURNAL\nusage: scanleaf-card undo JOURNAL  (scanleaf-card help undo for more)\n"},
        {L"export --format xml x", "scanleaf-card: --format takes csv or json, not \"xml\"\n"},
        {L"verify --jobs 65 x", "scanleaf-card: --jobs takes a whole number from 1 to 64, not \"65\"\n"},
        {L"convert --to cals --threshold 100 x", "scanleaf-card: --threshold takes a whole number from 1 to 99, not \"100\"\n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Card(c.args, scratch);
        EXPECT_EQ(2u, run.exitCode) << Narrow(c.args);
        EXPECT_EQ(0u, run.err.find(c.err)) << Narrow(c.args) << "\n" << run.err;
        EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
        EXPECT_EQ("", run.out);
    }
}

// The dispatch sets up only what a command needs: those that need no plug-in run with none to
// load, and those that need it end with one line when it cannot be loaded.
TEST(Help, ACommandGetsThePluginOnlyWhenItNeedsIt) {
    TempFolder scratch;
    const std::wstring none = L"--dll " + Quoted(scratch.Path() + L"\\none.dll") + L" ";
    const struct {
        std::wstring args;
        unsigned exitCode;
        const char* err; // what stderr begins with
    } cases[] = {
        {none + L"help show", 0, ""},
        {none + L"undo " + Quoted(scratch.Path() + L"\\no.journal"), 1, "scanleaf-card: cannot read the journal"},
        {none + L"check " + Quoted(scratch.Path() + L"\\no.ini"), 1, "scanleaf-card: "},
        {none + L"show x.cal", 1, "scanleaf-card: cannot load the plug-in: "},
        {none + L"info", 1, "scanleaf-card: cannot load the plug-in: "},
        {none + L"verify --jobs 0 x.cal", 2, "scanleaf-card: --jobs takes"}, // the arguments are read first
    };
    for (const auto& c : cases) {
        const ToolRun run = Card(c.args, scratch);
        EXPECT_EQ(c.exitCode, run.exitCode) << Narrow(c.args) << "\n" << run.err;
        EXPECT_EQ(0u, run.err.find(c.err)) << Narrow(c.args) << "\n" << run.err;
        if (c.exitCode == 1) {
            EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
        }
    }
}

} // namespace
