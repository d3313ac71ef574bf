#include "tools/card/cards/CardSpool.h"
#include "tools/card/cards/PluginCodes.h"

#include "tools/card/batch/Console.h"

namespace card {

std::string CardRowLine(const std::wstring& path, HRESULT hr, const std::vector<CardEntry>& card) {
    std::vector<std::wstring> names{table::kSourceColumn}, values{path};
    if (FAILED(hr)) {
        names.push_back(L"");
        values.push_back(DescribeHresult(hr));
    }
    for (const CardEntry& e : card) {
        names.push_back(e.name + (e.readOnly ? table::kReadOnlyMark : L""));
        values.push_back(e.value);
    }
    return Utf8(table::JsonObject(names, values));
}

bool ReadCardRowLine(const std::string& line, const std::wstring& path, std::wstring& failure, std::vector<CardEntry>& card) {
    table::Table t;
    std::vector<table::Problem> problems;
    if (!table::Parse("[" + line + "]", t, problems) || t.rows.size() != 1 || t.header.empty() ||
        t.header[0] != table::kSourceColumn || t.rows[0].cells[0] != path)
        return false;
    const std::wstring mark = table::kReadOnlyMark;
    card.clear();
    failure.clear();
    for (size_t c = 1; c < t.header.size(); ++c) {
        const std::wstring& name = t.header[c];
        if (name.empty()) {
            failure = t.rows[0].cells[c];
            continue;
        }
        CardEntry e;
        e.readOnly = name.size() > mark.size() && name.compare(name.size() - mark.size(), mark.size(), mark) == 0;
        e.name = e.readOnly ? name.substr(0, name.size() - mark.size()) : name;
        e.value = t.rows[0].cells[c];
        e.found = true;
        card.push_back(e);
    }
    return true;
}

} // namespace card
