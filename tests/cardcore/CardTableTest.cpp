// The table and journal formats on their own: what is written, what is read back, and
// where a damaged input is said to be damaged.
#include "cardcore/CardJournal.h"
#include "cardcore/CardTable.h"
#include "core/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace card;
using scanleaf::core::Text;
using scanleaf::core::Unit;
using scanleaf::core::ToUtf8;

TEST(CardTable, CsvLineQuotesOnlyWhereNeeded) {
    const struct {
        std::vector<Text> cells;
        const char* line;
        Unit delimiter = Unit(',');
    } cases[] = {
        {{SL_T("a"), SL_T(""), SL_T("b c")}, "a,,b c\r\n"},
        {{SL_T("a,b")}, "\"a,b\"\r\n"},
        {{SL_T("say \"hi\"")}, "\"say \"\"hi\"\"\"\r\n"},
        {{SL_T("two\r\nlines")}, "\"two\r\nlines\"\r\n"},
        {{SL_T(" padded"), SL_T("end ")}, "\" padded\",\"end \"\r\n"},
        {{SL_T("\u00e9t\u00e9")}, "\xc3\xa9t\xc3\xa9\r\n"},
        {{SL_T("a,b"), SL_T("c;d")}, "a,b;\"c;d\"\r\n", Unit(';')},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, table::CsvLine(c.cells, c.delimiter));
}

TEST(CardTable, ReadsWhatExportAndPeopleWrite) {
    const struct {
        std::string text;
        std::vector<Text> header;
        std::vector<std::vector<Text>> rows;
        Unit delimiter = 0;
    } cases[] = {
        {"\xEF\xBB\xBFSourceFile,a [ro],b\r\nx.cal,1,\"q,\"\"r\"\"\"\r\n", {SL_T("SourceFile"), SL_T("a [ro]"), SL_T("b")},
         {{SL_T("x.cal"), SL_T("1"), SL_T("q,\"r\"")}}},
        {"SourceFile,b\ny.cal,\"two\nlines\"\n\nz.cal\n", {SL_T("SourceFile"), SL_T("b")}, {{SL_T("y.cal"), SL_T("two\nlines")}, {SL_T("z.cal"), SL_T("")}}},
        {"SourceFile,b\r\nx.cal,", {SL_T("SourceFile"), SL_T("b")}, {{SL_T("x.cal"), SL_T("")}}},
        {" [ {\"SourceFile\":\"x.cal\",\"b\":\"1\\u00e9\"}, {\"c\":\"\\\"\",\"SourceFile\":\"y.cal\"} ] ",
         {SL_T("SourceFile"), SL_T("b"), SL_T("c")}, {{SL_T("x.cal"), SL_T("1\u00e9"), SL_T("")}, {SL_T("y.cal"), SL_T(""), SL_T("\"")}}},
        // As spreadsheets in decimal-comma locales save it: known by its first row.
        {"\xEF\xBB\xBFsourcefile;b\r\nx.cal;1,5\r\n", {SL_T("sourcefile"), SL_T("b")}, {{SL_T("x.cal"), SL_T("1,5")}}},
        {"\"SourceFile\";\"b\"\r\n\"x;y.cal\";2\r\n", {SL_T("SourceFile"), SL_T("b")}, {{SL_T("x;y.cal"), SL_T("2")}}},
        {"b;SourceFile\r\n1;x.cal\r\n", {SL_T("b;SourceFile")}, {{SL_T("1;x.cal")}}}, // not detected: one column
        {"b;SourceFile\r\n1,5;x.cal\r\n", {SL_T("b"), SL_T("SourceFile")}, {{SL_T("1,5"), SL_T("x.cal")}}, Unit(';')}, // forced
    };
    for (const auto& c : cases) {
        table::Table t;
        std::vector<table::Problem> problems;
        ASSERT_TRUE(table::Parse(c.text, t, problems, {c.delimiter})) << c.text << ToUtf8(problems.empty() ? Text() : problems[0].where + SL_T(": ") + problems[0].message);
        EXPECT_EQ(c.header, t.header) << c.text;
        ASSERT_EQ(c.rows.size(), t.rows.size()) << c.text;
        for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(c.rows[i], t.rows[i].cells) << c.text;
    }
}

TEST(CardTable, DamagedTablesNameTheirPlace) {
    const struct {
        std::string text;
        const Unit* where;
        const Unit* message;
    } cases[] = {
        {"SourceFile,b\r\nx.cal,\"open\r\n", SL_T("row 2"), SL_T("not closed")},
        {"SourceFile,b\r\nx.cal,1\r\ny.cal,1,2\r\n", SL_T("row 3"), SL_T("3 cells, but the header has 2")},
        {"SourceFile,b\r\nx.cal,\"q\"z\r\n", SL_T("row 2"), SL_T("text after a closing quote")},
        {"SourceFile,b\r\nx.cal,a\"b\r\n", SL_T("row 2"), SL_T("a quote inside an unquoted cell")},
        {"SourceFile,b\r\nx.cal,ok\r\ny.cal,\xC3\x28\r\n", SL_T("row 3"), SL_T("invalid UTF-8 at byte 31")},
        {"SourceFile,b\r\nx.cal,\xE0\x80\xAF\r\n", SL_T("row 2"), SL_T("invalid UTF-8")}, // overlong
        {"SourceFile,b\r\nx.cal,\xED\xA0\x80\r\n", SL_T("row 2"), SL_T("invalid UTF-8")}, // surrogate
        {"", SL_T("table"), SL_T("the table is empty")},
        {"\xEF\xBB\xBF \r\n", SL_T("table"), SL_T("the table is empty")},
        {"SourceFile,b\r\n", SL_T("table"), SL_T("the table has no rows")},
        {"[]", SL_T("table"), SL_T("the table is empty")},
        {"[{\"SourceFile\":\"x\"},{\"b\":1}]", SL_T("object 2"), SL_T("the value of \"b\" is not a string")},
        {"[{\"SourceFile\":\"x\"}", SL_T("object 1"), SL_T("expected ',' or ']'")},
    };
    for (const auto& c : cases) {
        table::Table t;
        std::vector<table::Problem> problems;
        EXPECT_FALSE(table::Parse(c.text, t, problems)) << c.text;
        ASSERT_FALSE(problems.empty()) << c.text;
        EXPECT_EQ(c.where, problems[0].where) << c.text;
        EXPECT_NE(Text::npos, problems[0].message.find(c.message)) << c.text << ToUtf8(problems[0].message);
    }
}

TEST(CardJournal, RecordsReadBackAndDamageIsRefused) {
    std::string before(journal::kHeaderBytes, 'b'), after(journal::kHeaderBytes, 'a');
    before[5] = '\0';
    after[7] = '\xFF';
    journal::Entry one{SL_T("Z:\\d\\\u00e9.cal"), 4096, 133000000000000000ull, before, false, {}};
    journal::Entry two{SL_T("Z:\\d\\two.cal"), 2048, 1, after, false, {}};
    const std::string whole = std::string(journal::kFirstLine) + journal::BeforeLine(one) + journal::BeforeLine(two) +
                              journal::AfterLine(one.path, after);
    std::vector<journal::Entry> entries;
    Text error;
    ASSERT_TRUE(journal::Parse(whole, entries, error)) << error.size();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(one.path, entries[0].path);
    EXPECT_EQ(one.size, entries[0].size);
    EXPECT_EQ(one.modified, entries[0].modified);
    EXPECT_EQ(before, entries[0].before);
    EXPECT_TRUE(entries[0].saved);
    EXPECT_EQ(after, entries[0].after);
    EXPECT_FALSE(entries[1].saved);
    bool undone = true;
    ASSERT_TRUE(journal::Parse(whole, entries, error, &undone));
    EXPECT_FALSE(undone);
    ASSERT_TRUE(journal::Parse(whole + journal::kUndoneLine, entries, error, &undone));
    EXPECT_TRUE(undone);
    EXPECT_EQ(2u, entries.size());

    const std::string beforeLine = journal::BeforeLine(one);
    const struct {
        std::string text;
        const Unit* message;
    } damaged[] = {
        {"not a journal\n", SL_T("line 1: not an import or repair journal")},
        {whole.substr(0, whole.size() - 1), SL_T("line 4: the journal is cut off")},
        {whole.substr(0, whole.size() - 100) + "\n", SL_T("line 4: a damaged record")},
        {std::string(journal::kFirstLine) + journal::AfterLine(one.path, after), SL_T("line 2: an \"after\" record without")},
        {std::string(journal::kFirstLine) + beforeLine + beforeLine, SL_T("line 3: a second \"before\" record")},
        {std::string(journal::kFirstLine), SL_T("the journal records no file")},
        {std::string(journal::kFirstLine) + "before\t-1\t0\t00\tx\n", SL_T("line 2: a damaged record")},
        {whole + journal::kUndoneLine + journal::AfterLine(two.path, after), SL_T("line 6: a record after \"undone\"")},
        {std::string(journal::kFirstLine) + journal::kUndoneLine, SL_T("the journal records no file")},
    };
    for (const auto& d : damaged) {
        entries.clear();
        EXPECT_FALSE(journal::Parse(d.text, entries, error));
        EXPECT_EQ(0u, error.find(d.message)) << ToUtf8(error);
        EXPECT_TRUE(entries.empty());
    }
}

} // namespace
