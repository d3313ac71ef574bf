// The data-card table that export writes and import reads: RFC 4180 CSV (UTF-8) or a JSON
// array of objects. Pure: text in, text out, so tests drive it with tables.
#pragma once

#include <string>
#include <vector>

namespace card::table {

inline constexpr wchar_t kSourceColumn[] = L"SourceFile";
inline constexpr wchar_t kReadOnlyMark[] = L" [ro]";
// Export's record of each file's card (see CardState), which import compares with the file.
inline constexpr wchar_t kCardStateColumn[] = L"CardState";

struct Row {
    std::wstring where; // "row 3" (CSV, the header is row 1) or "object 2" (JSON)
    std::vector<std::wstring> cells; // one per header column; missing trailing cells are empty
};

struct Table {
    std::vector<std::wstring> header;
    std::vector<Row> rows;
};

struct Problem {
    std::wstring where;
    std::wstring message;
};

// One CSV record: cells parted by the delimiter (',', or ';' as spreadsheets in decimal-comma
// locales write it), quoted where needed (delimiter, quote, line end, leading or trailing
// space), quotes doubled, ended by CRLF; UTF-8.
std::string CsvLine(const std::vector<std::wstring>& cells, wchar_t delimiter = L',');
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// One JSON object of the header's names and the row's cells, in header order.
std::wstring JsonObject(const std::vector<std::wstring>& header, const std::vector<std::wstring>& cells);

// A CSV table's delimiter; 0: ';' when the first row begins with "SourceFile;", else ','.
struct ParseOptions {
    wchar_t delimiter = 0;
};

// Reads a whole table of UTF-8 bytes: JSON when its first character (after a byte-order mark
// and white space) is '[', CSV otherwise. False with every problem found when the text is not
// a table.
bool Parse(const std::string& bytes, Table& table, std::vector<Problem>& problems, ParseOptions options = {});
// The same for text already decoded (a table in another encoding).
bool ParseText(std::wstring text, Table& table, std::vector<Problem>& problems, ParseOptions options = {});

// The offset of the first byte that is not well-formed UTF-8 (overlong forms and surrogates
// included), or npos.
size_t FirstInvalidUtf8(const std::string& bytes);

} // namespace card::table
