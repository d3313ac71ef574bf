// The data-card table that export writes and import reads: RFC 4180 CSV (UTF-8) or a JSON
// array of objects. Pure: text in, text out, so tests drive it with tables.
#pragma once

#include "core/Text.h"

#include <vector>

namespace card::table {

using scanleaf::core::Text;
using scanleaf::core::Unit;

inline constexpr Unit kSourceColumn[] = SL_T("SourceFile");
inline constexpr Unit kReadOnlyMark[] = SL_T(" [ro]");
// Export's record of each file's card (see CardState), which import compares with the file.
inline constexpr Unit kCardStateColumn[] = SL_T("CardState");

struct Row {
    Text where; // "row 3" (CSV, the header is row 1) or "object 2" (JSON)
    std::vector<Text> cells; // one per header column; missing trailing cells are empty
};

struct Table {
    std::vector<Text> header;
    std::vector<Row> rows;
};

struct Problem {
    Text where;
    Text message;
};

// One CSV record: cells parted by the delimiter (',', or ';' as spreadsheets in decimal-comma
// locales write it), quoted where needed (delimiter, quote, line end, leading or trailing
// space), quotes doubled, ended by CRLF; UTF-8.
std::string CsvLine(const std::vector<Text>& cells, Unit delimiter = Unit(','));
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// One JSON object of the header's names and the row's cells, in header order.
Text JsonObject(const std::vector<Text>& header, const std::vector<Text>& cells);

// A CSV table's delimiter; 0: ';' when the first row begins with "SourceFile;", else ','.
struct ParseOptions {
    Unit delimiter = 0;
};

// Reads a whole table of UTF-8 bytes: JSON when its first character (after a byte-order mark
// and white space) is '[', CSV otherwise. False with every problem found when the text is not
// a table.
bool Parse(const std::string& bytes, Table& table, std::vector<Problem>& problems, ParseOptions options = {});
// The same for text already decoded (a table in another encoding).
bool ParseText(Text text, Table& table, std::vector<Problem>& problems, ParseOptions options = {});

// A JSON string literal, quotes included.
Text JsonString(const Text& text);

} // namespace card::table
