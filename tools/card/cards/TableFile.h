// A table of cards as a file, read the one way that import and convert --table read it.
#pragma once

#include "cardcore/CardTable.h"

#include <string>
#include <vector>

namespace card {

struct TableReading {
    bool ansi = false; // the system's ANSI code page, as spreadsheets save "CSV (Comma delimited)"; else UTF-8
    table::ParseOptions parse;
};

// The table's rows, or false with its problems (a file that cannot be read is one of them). The
// encoding is never guessed.
bool ReadTableFile(const std::wstring& path, const TableReading& how, table::Table& table,
                   std::vector<table::Problem>& problems);

// A row's SourceFile as the file it names: relative to the current folder, in the one form of
// paths every command shows.
std::wstring RowSource(const std::wstring& given);

} // namespace card
