// The table and journal formats on their own: what is written, what is read back, and
// where a damaged input is said to be damaged.
#include "tools/card/Journal.h"
#include "tools/card/Table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace card;

TEST(CardTable, CsvLineQuotesOnlyWhereNeeded) {
    const struct {
        std::vector<std::wstring> cells;
        const char* line;
        wchar_t delimiter = L',';
    } cases[] = {
        {{L"a", L"", L"b c"}, "a,,b c\r\n"},
        {{L"a,b"}, "\"a,b\"\r\n"},
        {{L"say \"hi\""}, "\"say \"\"hi\"\"\"\r\n"},
        {{L"two\r\nlines"}, "\"two\r\nlines\"\r\n"},
        {{L" padded", L"end "}, "\" padded\",\"end \"\r\n"},
        {{L"\u00e9t\u00e9"}, "\xc3\xa9t\xc3\xa9\r\n"},
        {{L"a,b", L"c;d"}, "a,b;\"c;d\"\r\n", L';'},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, table::CsvLine(c.cells, c.delimiter));
}

TEST(CardTable, ReadsWhatExportAndPeopleWrite) {
    const struct {
        std::string text;
        std::vector<std::wstring> header;
        std::vector<std::vector<std::wstring>> rows;
        wchar_t delimiter = 0;
    } cases[] = {
        {"\xEF\xBB\xBFSourceFile,a [ro],b\r\nx.cal,1,\"q,\"\"r\"\"\"\r\n", {L"SourceFile", L"a [ro]", L"b"},
         {{L"x.cal", L"1", L"q,\"r\""}}},
        {"SourceFile,b\ny.cal,\"two\nlines\"\n\nz.cal\n", {L"SourceFile", L"b"}, {{L"y.cal", L"two\nlines"}, {L"z.cal", L""}}},
        {"SourceFile,b\r\nx.cal,", {L"SourceFile", L"b"}, {{L"x.cal", L""}}},
        {" [ {\"SourceFile\":\"x.cal\",\"b\":\"1\\u00e9\"}, {\"c\":\"\\\"\",\"SourceFile\":\"y.cal\"} ] ",
         {L"SourceFile", L"b", L"c"}, {{L"x.cal", L"1\u00e9", L""}, {L"y.cal", L"", L"\""}}},
        // As spreadsheets in decimal-comma locales save it: known by its first row.
        {"\xEF\xBB\xBFsourcefile;b\r\nx.cal;1,5\r\n", {L"sourcefile", L"b"}, {{L"x.cal", L"1,5"}}},
        {"\"SourceFile\";\"b\"\r\n\"x;y.cal\";2\r\n", {L"SourceFile", L"b"}, {{L"x;y.cal", L"2"}}},
        {"b;SourceFile\r\n1;x.cal\r\n", {L"b;SourceFile"}, {{L"1;x.cal"}}}, // not detected: one column
        {"b;SourceFile\r\n1,5;x.cal\r\n", {L"b", L"SourceFile"}, {{L"1,5", L"x.cal"}}, L';'}, // forced
    };
    for (const auto& c : cases) {
        table::Table t;
        std::vector<table::Problem> problems;
        ASSERT_TRUE(table::Parse(c.text, t, problems, {c.delimiter})) << c.text << (problems.empty() ? std::wstring() : problems[0].where + L": " + problems[0].message);
        EXPECT_EQ(c.header, t.header) << c.text;
        ASSERT_EQ(c.rows.size(), t.rows.size()) << c.text;
        for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(c.rows[i], t.rows[i].cells) << c.text;
    }
}

TEST(CardTable, DamagedTablesNameTheirPlace) {
    const struct {
        std::string text;
        const wchar_t* where;
        const wchar_t* message;
    } cases[] = {
        {"SourceFile,b\r\nx.cal,\"open\r\n", L"row 2", L"not closed"},
        {"SourceFile,b\r\nx.cal,1\r\ny.cal,1,2\r\n", L"row 3", L"3 cells, but the header has 2"},
        {"SourceFile,b\r\nx.cal,\"q\"z\r\n", L"row 2", L"text after a closing quote"},
        {"SourceFile,b\r\nx.cal,a\"b\r\n", L"row 2", L"a quote inside an unquoted cell"},
        {"SourceFile,b\r\nx.cal,ok\r\ny.cal,\xC3\x28\r\n", L"row 3", L"invalid UTF-8 at byte 31"},
        {"SourceFile,b\r\nx.cal,\xE0\x80\xAF\r\n", L"row 2", L"invalid UTF-8"}, // overlong
        {"SourceFile,b\r\nx.cal,\xED\xA0\x80\r\n", L"row 2", L"invalid UTF-8"}, // surrogate
        {"", L"table", L"the table is empty"},
        {"\xEF\xBB\xBF \r\n", L"table", L"the table is empty"},
        {"SourceFile,b\r\n", L"table", L"the table has no rows"},
        {"[]", L"table", L"the table is empty"},
        {"[{\"SourceFile\":\"x\"},{\"b\":1}]", L"object 2", L"the value of \"b\" is not a string"},
        {"[{\"SourceFile\":\"x\"}", L"object 1", L"expected ',' or ']'"},
    };
    for (const auto& c : cases) {
        table::Table t;
        std::vector<table::Problem> problems;
        EXPECT_FALSE(table::Parse(c.text, t, problems)) << c.text;
        ASSERT_FALSE(problems.empty()) << c.text;
        EXPECT_EQ(c.where, problems[0].where) << c.text;
        EXPECT_NE(std::wstring::npos, problems[0].message.find(c.message)) << c.text << problems[0].message;
    }
}

TEST(CardJournal, RecordsReadBackAndDamageIsRefused) {
    std::string before(journal::kHeaderBytes, 'b'), after(journal::kHeaderBytes, 'a');
    before[5] = '\0';
    after[7] = '\xFF';
    journal::Entry one{L"Z:\\d\\\u00e9.cal", 4096, 133000000000000000ull, before, false, {}};
    journal::Entry two{L"Z:\\d\\two.cal", 2048, 1, after, false, {}};
    const std::string whole = std::string(journal::kFirstLine) + journal::BeforeLine(one) + journal::BeforeLine(two) +
                              journal::AfterLine(one.path, after);
    std::vector<journal::Entry> entries;
    std::wstring error;
    ASSERT_TRUE(journal::Parse(whole, entries, error)) << error.size();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(one.path, entries[0].path);
    EXPECT_EQ(one.size, entries[0].size);
    EXPECT_EQ(one.modified, entries[0].modified);
    EXPECT_EQ(before, entries[0].before);
    EXPECT_TRUE(entries[0].saved);
    EXPECT_EQ(after, entries[0].after);
    EXPECT_FALSE(entries[1].saved);

    const std::string beforeLine = journal::BeforeLine(one);
    const struct {
        std::string text;
        const wchar_t* message;
    } damaged[] = {
        {"not a journal\n", L"line 1: not an import journal"},
        {whole.substr(0, whole.size() - 1), L"line 4: the journal is cut off"},
        {whole.substr(0, whole.size() - 100) + "\n", L"line 4: a damaged record"},
        {std::string(journal::kFirstLine) + journal::AfterLine(one.path, after), L"line 2: an \"after\" record without"},
        {std::string(journal::kFirstLine) + beforeLine + beforeLine, L"line 3: a second \"before\" record"},
        {std::string(journal::kFirstLine), L"the journal records no file"},
        {std::string(journal::kFirstLine) + "before\t-1\t0\t00\tx\n", L"line 2: a damaged record"},
    };
    for (const auto& d : damaged) {
        entries.clear();
        EXPECT_FALSE(journal::Parse(d.text, entries, error));
        EXPECT_EQ(0u, error.find(d.message)) << error;
        EXPECT_TRUE(entries.empty());
    }
}

} // namespace
