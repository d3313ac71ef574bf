#include "tools/card/Table.h"

#include "tools/card/Output.h"

#include <cwctype>
#include <map>

namespace card::table {

namespace {

std::wstring Where(const wchar_t* what, size_t number) { return std::wstring(what) + L" " + std::to_wstring(number); }

bool NeedsQuotes(const std::wstring& cell, wchar_t delimiter) {
    if (cell.empty()) return false;
    return cell.find_first_of(L"\"\r\n") != std::wstring::npos || cell.find(delimiter) != std::wstring::npos ||
           cell.front() == L' ' || cell.back() == L' ';
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
wchar_t DetectDelimiter(const std::wstring& text, size_t first) {
    std::wstring start = text.substr(first, 16);
    for (wchar_t& c : start) c = static_cast<wchar_t>(std::towlower(c));
    return start.rfind(L"sourcefile;", 0) == 0 || start.rfind(L"\"sourcefile\";", 0) == 0 ? L';' : L',';
}

bool ParseCsv(const std::wstring& text, wchar_t delimiter, Table& table, std::vector<Problem>& problems) {
    std::vector<std::vector<std::wstring>> records;
    std::vector<std::wstring> record;
    std::wstring cell;
    bool cellStarted = false; // a comma or a quote makes even an empty line a record
    bool fresh = true;        // nothing of the current cell read yet: a quote may open it
    auto here = [&records]() { return Where(L"row", records.size() + 1); };
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
        wchar_t c = text[i];
        if (c == L'"' && fresh) {
            cellStarted = true;
            fresh = false;
            for (++i;; ++i) {
                if (i >= text.size()) {
                    problems.push_back({here(), L"a quoted cell is not closed"});
                    return false;
                }
                if (text[i] != L'"') {
                    cell += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == L'"') {
                    cell += L'"';
                    ++i;
                } else {
                    break;
                }
            }
            ++i;
            if (i < text.size() && text[i] != delimiter && text[i] != L'\r' && text[i] != L'\n') {
                problems.push_back({here(), L"text after a closing quote"});
                return false;
            }
        } else if (c == delimiter) {
            record.push_back(cell);
            cell.clear();
            cellStarted = true;
            fresh = true;
            ++i;
        } else if (c == L'\r' || c == L'\n') {
            i += (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ? 2 : 1;
            endRecord();
        } else if (c == L'"') {
            problems.push_back({here(), L"a quote inside an unquoted cell"});
            return false;
        } else {
            cell += c;
            fresh = false;
            ++i;
        }
    }
    if (cellStarted || !cell.empty() || !record.empty()) endRecord();
    if (records.size() < 2) {
        problems.push_back({L"table", records.empty() ? L"the table is empty" : L"the table has no rows"});
        return false;
    }
    table.header = records.front();
    for (size_t r = 1; r < records.size(); ++r) {
        Row row{Where(L"row", r + 1), records[r]};
        if (row.cells.size() > table.header.size()) {
            problems.push_back({row.where, std::to_wstring(row.cells.size()) + L" cells, but the header has " +
                                               std::to_wstring(table.header.size())});
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
    JsonReader(const std::wstring& text, Table& table, std::vector<Problem>& problems)
        : text_(text), table_(table), problems_(problems) {}

    bool Read() {
        Skip();
        if (!Take(L'[')) return Fail(L"table", L"expected '[' at the start");
        Skip();
        if (Peek() == L']') {
            ++at_;
        } else {
            for (size_t n = 1;; ++n) {
                if (!ReadObject(Where(L"object", n))) return false;
                Skip();
                if (Take(L',')) continue;
                if (Take(L']')) break;
                return Fail(Where(L"object", n), L"expected ',' or ']' after the object");
            }
        }
        Skip();
        if (at_ != text_.size()) return Fail(L"table", L"text after the closing ']'");
        return true;
    }

private:
    bool ReadObject(const std::wstring& where) {
        Skip();
        if (!Take(L'{')) return Fail(where, L"expected '{'");
        Row row{where, std::vector<std::wstring>(table_.header.size())};
        Skip();
        if (!Take(L'}')) {
            for (;;) {
                std::wstring key, value;
                Skip();
                if (!ReadString(key)) return Fail(where, L"expected a quoted name");
                Skip();
                if (!Take(L':')) return Fail(where, L"expected ':' after \"" + key + L"\"");
                Skip();
                if (!ReadString(value)) return Fail(where, L"the value of \"" + key + L"\" is not a string");
                auto column = columns_.find(key);
                if (column == columns_.end()) {
                    column = columns_.emplace(key, table_.header.size()).first;
                    table_.header.push_back(key);
                    for (Row& earlier : table_.rows) earlier.cells.resize(table_.header.size());
                    row.cells.resize(table_.header.size());
                }
                row.cells[column->second] = value;
                Skip();
                if (Take(L',')) continue;
                if (Take(L'}')) break;
                return Fail(where, L"expected ',' or '}'");
            }
        }
        table_.rows.push_back(std::move(row));
        return true;
    }

    bool ReadString(std::wstring& out) {
        if (!Take(L'"')) return false;
        while (at_ < text_.size()) {
            wchar_t c = text_[at_++];
            if (c == L'"') return true;
            if (c < 0x20) return false;
            if (c != L'\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            wchar_t e = text_[at_++];
            switch (e) {
            case L'"': case L'\\': case L'/': out += e; break;
            case L'b': out += L'\b'; break;
            case L'f': out += L'\f'; break;
            case L'n': out += L'\n'; break;
            case L'r': out += L'\r'; break;
            case L't': out += L'\t'; break;
            case L'u': {
                if (at_ + 4 > text_.size()) return false;
                unsigned value = 0;
                for (int k = 0; k < 4; ++k) {
                    wchar_t h = text_[at_++];
                    if (!std::iswxdigit(h)) return false;
                    value = value * 16 + (h <= L'9' ? h - L'0' : (std::towlower(h) - L'a' + 10));
                }
                out += static_cast<wchar_t>(value);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    void Skip() {
        while (at_ < text_.size() && std::iswspace(text_[at_])) ++at_;
    }
    wchar_t Peek() const { return at_ < text_.size() ? text_[at_] : 0; }
    bool Take(wchar_t c) {
        if (Peek() != c) return false;
        ++at_;
        return true;
    }
    bool Fail(const std::wstring& where, const std::wstring& message) {
        problems_.push_back({where, message});
        return false;
    }

    const std::wstring& text_;
    Table& table_;
    std::vector<Problem>& problems_;
    std::map<std::wstring, size_t> columns_;
    size_t at_ = 0;
};

} // namespace

std::string CsvLine(const std::vector<std::wstring>& cells, wchar_t delimiter) {
    std::wstring line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += delimiter;
        if (!NeedsQuotes(cells[i], delimiter)) {
            line += cells[i];
            continue;
        }
        line += L'"';
        for (wchar_t c : cells[i]) {
            if (c == L'"') line += L'"';
            line += c;
        }
        line += L'"';
    }
    return Utf8(line) + "\r\n";
}

std::wstring JsonObject(const std::vector<std::wstring>& header, const std::vector<std::wstring>& cells) {
    std::wstring json = L"{";
    for (size_t i = 0; i < header.size() && i < cells.size(); ++i) {
        if (i) json += L",";
        json += JsonString(header[i]) + L":" + JsonString(cells[i]);
    }
    return json + L"}";
}

size_t FirstInvalidUtf8(const std::string& bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return i;
        unsigned long code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return i;
            code = (code << 6) | (next & 0x3F);
        }
        static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += length;
    }
    return std::string::npos;
}

bool Parse(const std::string& bytes, Table& table, std::vector<Problem>& problems, ParseOptions options) {
    table = Table{};
    size_t bad = FirstInvalidUtf8(bytes);
    if (bad != std::string::npos) {
        problems.push_back({Where(L"row", RowOfOffset(bytes, bad)),
                            L"invalid UTF-8 at byte " + std::to_wstring(bad + 1) +
                                L" of the table: save it as \"CSV UTF-8\", or read it in the system's ANSI code "
                                L"page with --encoding ansi"});
        return false;
    }
    return ParseText(FromUtf8(bytes), table, problems, options);
}

bool ParseText(std::wstring text, Table& table, std::vector<Problem>& problems, ParseOptions options) {
    table = Table{};
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) {
        problems.push_back({L"table", L"the table is empty"});
        return false;
    }
    if (text[first] == L'[') {
        JsonReader reader(text, table, problems);
        if (!reader.Read()) return false;
        if (table.rows.empty()) {
            problems.push_back({L"table", L"the table is empty"});
            return false;
        }
        return true;
    }
    return ParseCsv(text, options.delimiter ? options.delimiter : DetectDelimiter(text, first), table, problems);
}

} // namespace card::table
