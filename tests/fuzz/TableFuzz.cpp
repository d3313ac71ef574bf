// The card tool's tables: any bytes through the CSV and JSON readers (with each delimiter), and
// what was read written back and read again, which must give the same table.
#include "cardcore/CardTable.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace card;
using scanleaf::core::Text;
using scanleaf::core::Unit;

namespace {

bool Same(const table::Table& a, const table::Table& b) {
    if (a.header != b.header || a.rows.size() != b.rows.size()) return false;
    for (std::size_t i = 0; i < a.rows.size(); ++i)
        if (a.rows[i].cells != b.rows[i].cells) return false;
    return true;
}

// Nothing that a reader takes for something else: no byte-order mark or '[' to open the text,
// no row of one empty cell (an empty line), no name twice (a JSON object keeps the last).
bool Writable(const table::Table& t) {
    if (t.header.empty() || t.header[0].empty() || t.header[0][0] == 0xFEFF) return false;
    std::size_t first = 0;
    while (first < t.header[0].size() && scanleaf::core::IsBlank(t.header[0][first])) ++first;
    if (first < t.header[0].size() && t.header[0][first] == '[') return false;
    for (std::size_t i = 0; i < t.header.size(); ++i)
        for (std::size_t k = i + 1; k < t.header.size(); ++k)
            if (t.header[i] == t.header[k]) return false;
    for (const table::Row& r : t.rows)
        if (r.cells.size() == 1 && r.cells[0].empty()) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const Unit kDelimiters[] = {0, ',', ';'};
    const Unit delimiter = kDelimiters[data[0] % 3];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    table::Table t;
    std::vector<table::Problem> problems;
    const bool read = table::Parse(bytes, t, problems, {delimiter});
    FUZZ_CHECK(read == problems.empty());
    if (!read) {
        for (const table::Problem& p : problems) FUZZ_CHECK(!p.where.empty() && !p.message.empty());
        return 0;
    }
    for (const table::Row& r : t.rows) FUZZ_CHECK(r.cells.size() == t.header.size());
    if (!Writable(t)) return 0;

    // CSV with each delimiter, and JSON, read back the same.
    for (Unit d : {Unit(','), Unit(';')}) {
        std::string csv = table::CsvLine(t.header, d);
        for (const table::Row& r : t.rows) csv += table::CsvLine(r.cells, d);
        table::Table again;
        std::vector<table::Problem> none;
        FUZZ_CHECK(table::Parse(csv, again, none, {d}));
        FUZZ_CHECK(Same(t, again));
    }
    Text json = SL_T("[");
    for (std::size_t i = 0; i < t.rows.size(); ++i) json += (i ? SL_T(",\n") : SL_T("\n")) + table::JsonObject(t.header, t.rows[i].cells);
    json += SL_T("\n]");
    table::Table again;
    std::vector<table::Problem> none;
    FUZZ_CHECK(table::ParseText(json, again, none));
    FUZZ_CHECK(Same(t, again));
    return 0;
}
