#include "cardcore/CardTable.h"

#include <map>

namespace card::table {

using scanleaf::core::Ascii;
using scanleaf::core::AsciiLower;
using scanleaf::core::Decimal;
using scanleaf::core::IsBlank;

namespace {

Text Where(const Unit* what, size_t number) { return Text(what) + SL_T(" ") + Decimal(number); }

bool NeedsQuotes(const Text& cell, Unit delimiter) {
    if (cell.empty()) return false;
    return cell.find_first_of(SL_T("\"\r\n")) != Text::npos || cell.find(delimiter) != Text::npos ||
           cell.front() == Unit(' ') || cell.back() == Unit(' ');
}

// The row number of a byte offset: records counted by their line ends outside quotes.
size_t RowOfOffset(const std::string& bytes, size_t offset) {
    size_t row = 1;
    bool quoted = false;
    for (size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '"') quoted = !quoted;
        if (bytes[i] == '\n' && !quoted) ++row;
    }
    return row;
}

// ';' where the first row begins with the SourceFile column followed by a semicolon, quoted or
// not, as spreadsheets in decimal-comma locales save it.
Unit DetectDelimiter(const Text& text, size_t first) {
    Text start = text.substr(first, 16);
    for (Unit& c : start) c = AsciiLower(c);
    return start.rfind(SL_T("sourcefile;"), 0) == 0 || start.rfind(SL_T("\"sourcefile\";"), 0) == 0 ? Unit(';') : Unit(',');
}

bool ParseCsv(const Text& text, Unit delimiter, Table& table, std::vector<Problem>& problems) {
    std::vector<std::vector<Text>> records;
    std::vector<Text> record;
    Text cell;
    bool cellStarted = false; // a comma or a quote makes even an empty line a record
    bool fresh = true;        // nothing of the current cell read yet: a quote may open it
    auto here = [&records]() { return Where(SL_T("row"), records.size() + 1); };
    auto endRecord = [&]() {
        record.push_back(cell);
        if (record.size() > 1 || !record[0].empty() || cellStarted) records.push_back(record);
        record.clear();
        cell.clear();
        cellStarted = false;
        fresh = true;
    };
    size_t i = 0;
    while (i < text.size()) {
        Unit c = text[i];
        if (c == Unit('"') && fresh) {
            cellStarted = true;
            fresh = false;
            for (++i;; ++i) {
                if (i >= text.size()) {
                    problems.push_back({here(), SL_T("a quoted cell is not closed")});
                    return false;
                }
                if (text[i] != Unit('"')) {
                    cell += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == Unit('"')) {
                    cell += Unit('"');
                    ++i;
                } else {
                    break;
                }
            }
            ++i;
            if (i < text.size() && text[i] != delimiter && text[i] != Unit('\r') && text[i] != Unit('\n')) {
                problems.push_back({here(), SL_T("text after a closing quote")});
                return false;
            }
        } else if (c == delimiter) {
            record.push_back(cell);
            cell.clear();
            cellStarted = true;
            fresh = true;
            ++i;
        } else if (c == Unit('\r') || c == Unit('\n')) {
            i += (c == Unit('\r') && i + 1 < text.size() && text[i + 1] == Unit('\n')) ? 2 : 1;
            endRecord();
        } else if (c == Unit('"')) {
            problems.push_back({here(), SL_T("a quote inside an unquoted cell")});
            return false;
        } else {
            cell += c;
            fresh = false;
            ++i;
        }
    }
    if (cellStarted || !cell.empty() || !record.empty()) endRecord();
    if (records.size() < 2) {
        problems.push_back({SL_T("table"), records.empty() ? SL_T("the table is empty") : SL_T("the table has no rows")});
        return false;
    }
    table.header = records.front();
    for (size_t r = 1; r < records.size(); ++r) {
        Row row{Where(SL_T("row"), r + 1), records[r]};
        if (row.cells.size() > table.header.size()) {
            problems.push_back({row.where, Decimal(row.cells.size()) + SL_T(" cells, but the header has ") +
                                               Decimal(table.header.size())});
            continue;
        }
        row.cells.resize(table.header.size());
        table.rows.push_back(std::move(row));
    }
    return problems.empty();
}

// A small JSON reader for the shape export writes: an array of objects of strings.
class JsonReader {
public:
    JsonReader(const Text& text, Table& table, std::vector<Problem>& problems)
        : text_(text), table_(table), problems_(problems) {}

    bool Read() {
        Skip();
        if (!Take(Unit('['))) return Fail(SL_T("table"), SL_T("expected '[' at the start"));
        Skip();
        if (Peek() == Unit(']')) {
            ++at_;
        } else {
            for (size_t n = 1;; ++n) {
                if (!ReadObject(Where(SL_T("object"), n))) return false;
                Skip();
                if (Take(Unit(','))) continue;
                if (Take(Unit(']'))) break;
                return Fail(Where(SL_T("object"), n), SL_T("expected ',' or ']' after the object"));
            }
        }
        Skip();
        if (at_ != text_.size()) return Fail(SL_T("table"), SL_T("text after the closing ']'"));
        return true;
    }

private:
    bool ReadObject(const Text& where) {
        Skip();
        if (!Take(Unit('{'))) return Fail(where, SL_T("expected '{'"));
        Row row{where, std::vector<Text>(table_.header.size())};
        Skip();
        if (!Take(Unit('}'))) {
            for (;;) {
                Text key, value;
                Skip();
                if (!ReadString(key)) return Fail(where, SL_T("expected a quoted name"));
                Skip();
                if (!Take(Unit(':'))) return Fail(where, SL_T("expected ':' after \"") + key + SL_T("\""));
                Skip();
                if (!ReadString(value)) return Fail(where, SL_T("the value of \"") + key + SL_T("\" is not a string"));
                auto column = columns_.find(key);
                if (column == columns_.end()) {
                    column = columns_.emplace(key, table_.header.size()).first;
                    table_.header.push_back(key);
                    for (Row& earlier : table_.rows) earlier.cells.resize(table_.header.size());
                    row.cells.resize(table_.header.size());
                }
                row.cells[column->second] = value;
                Skip();
                if (Take(Unit(','))) continue;
                if (Take(Unit('}'))) break;
                return Fail(where, SL_T("expected ',' or '}'"));
            }
        }
        table_.rows.push_back(std::move(row));
        return true;
    }

    bool ReadString(Text& out) {
        if (!Take(Unit('"'))) return false;
        while (at_ < text_.size()) {
            Unit c = text_[at_++];
            if (c == Unit('"')) return true;
            if (c < 0x20) return false;
            if (c != Unit('\\')) {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            Unit e = text_[at_++];
            switch (e) {
            case Unit('"'): case Unit('\\'): case Unit('/'): out += e; break;
            case Unit('b'): out += Unit('\b'); break;
            case Unit('f'): out += Unit('\f'); break;
            case Unit('n'): out += Unit('\n'); break;
            case Unit('r'): out += Unit('\r'); break;
            case Unit('t'): out += Unit('\t'); break;
            case Unit('u'): {
                if (at_ + 4 > text_.size()) return false;
                unsigned value = 0;
                for (int k = 0; k < 4; ++k) {
                    Unit h = text_[at_++];
                    const Unit lower = AsciiLower(h);
                    if (!scanleaf::core::IsDigit(h) && !(lower >= 'a' && lower <= 'f')) return false;
                    value = value * 16 + unsigned(scanleaf::core::IsDigit(h) ? h - '0' : lower - 'a' + 10);
                }
                out += static_cast<Unit>(value);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    void Skip() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
    }
    Unit Peek() const { return at_ < text_.size() ? text_[at_] : 0; }
    bool Take(Unit c) {
        if (Peek() != c) return false;
        ++at_;
        return true;
    }
    bool Fail(const Text& where, const Text& message) {
        problems_.push_back({where, message});
        return false;
    }

    const Text& text_;
    Table& table_;
    std::vector<Problem>& problems_;
    std::map<Text, size_t> columns_;
    size_t at_ = 0;
};

} // namespace

std::string CsvLine(const std::vector<Text>& cells, Unit delimiter) {
    Text line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += delimiter;
        if (!NeedsQuotes(cells[i], delimiter)) {
            line += cells[i];
            continue;
        }
        line += Unit('"');
        for (Unit c : cells[i]) {
            if (c == Unit('"')) line += Unit('"');
            line += c;
        }
        line += Unit('"');
    }
    return scanleaf::core::ToUtf8(line) + "\r\n";
}

Text JsonString(const Text& text) {
    Text out = SL_T("\"");
    for (Unit c : text) {
        switch (c) {
        case '"': out += SL_T("\\\""); break;
        case '\\': out += SL_T("\\\\"); break;
        case '\n': out += SL_T("\\n"); break;
        case '\r': out += SL_T("\\r"); break;
        case '\t': out += SL_T("\\t"); break;
        default:
            if (c < 0x20) {
                static const char kHex[] = "0123456789abcdef";
                out += SL_T("\\u00");
                out += Unit(kHex[c >> 4]);
                out += Unit(kHex[c & 15]);
            } else {
                out += c;
            }
        }
    }
    return out + SL_T("\"");
}

Text JsonObject(const std::vector<Text>& header, const std::vector<Text>& cells) {
    Text json = SL_T("{");
    for (size_t i = 0; i < header.size() && i < cells.size(); ++i) {
        if (i) json += SL_T(",");
        json += JsonString(header[i]) + SL_T(":") + JsonString(cells[i]);
    }
    return json + SL_T("}");
}

bool Parse(const std::string& bytes, Table& table, std::vector<Problem>& problems, ParseOptions options) {
    table = Table{};
    size_t bad = scanleaf::core::FirstInvalidUtf8(bytes);
    if (bad != std::string::npos) {
        problems.push_back({Where(SL_T("row"), RowOfOffset(bytes, bad)),
                            SL_T("invalid UTF-8 at byte ") + Decimal(bad + 1) +
                                SL_T(" of the table: save it as \"CSV UTF-8\", or read it in the system's ANSI code ")
                                SL_T("page with --encoding ansi")});
        return false;
    }
    return ParseText(scanleaf::core::FromUtf8(bytes), table, problems, options);
}

bool ParseText(Text text, Table& table, std::vector<Problem>& problems, ParseOptions options) {
    table = Table{};
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    size_t first = text.find_first_not_of(SL_T(" \t\r\n"));
    if (first == Text::npos) {
        problems.push_back({SL_T("table"), SL_T("the table is empty")});
        return false;
    }
    if (text[first] == Unit('[')) {
        JsonReader reader(text, table, problems);
        if (!reader.Read()) return false;
        if (table.rows.empty()) {
            problems.push_back({SL_T("table"), SL_T("the table is empty")});
            return false;
        }
        return true;
    }
    return ParseCsv(text, options.delimiter ? options.delimiter : DetectDelimiter(text, first), table, problems);
}

} // namespace card::table
