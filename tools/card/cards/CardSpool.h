// What export gathers before it writes a table: the union of the variables met (the columns),
// the cards read so far, kept in a temporary file since the columns are known only at the end
// and the rows are not held, and a card as the line a resumable run keeps of it.
#pragma once

#include "cardcore/CardTable.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/Card.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace card {

// The union of the variables met, in the order first met; read-only when any file has it so.
class Columns {
public:
    // The column of each of the card's variables.
    std::vector<uint32_t> Add(const std::vector<CardEntry>& card) {
        std::vector<uint32_t> columns;
        for (const CardEntry& e : card) {
            auto found = index_.find(e.name);
            if (found == index_.end()) {
                found = index_.emplace(e.name, uint32_t(names_.size())).first;
                names_.push_back(e.name);
                readOnly_.push_back(e.readOnly);
            } else if (e.readOnly) {
                readOnly_[found->second] = true;
            }
            columns.push_back(found->second);
        }
        return columns;
    }
    size_t Count() const { return names_.size(); }
    // SourceFile, the variables, and last the card's state.
    std::vector<std::wstring> Header() const {
        std::vector<std::wstring> header{table::kSourceColumn};
        for (size_t i = 0; i < names_.size(); ++i) header.push_back(names_[i] + (readOnly_[i] ? table::kReadOnlyMark : L""));
        header.push_back(std::wstring(table::kCardStateColumn) + table::kReadOnlyMark);
        return header;
    }

private:
    std::vector<std::wstring> names_;
    std::vector<bool> readOnly_;
    std::map<std::wstring, uint32_t> index_;
};

// The cards read so far, one record per file, kept in a temporary file: the table's columns
// (the union of every file's variables) are known only at the end, and the rows are not held.
class CardSpool {
public:
    CardSpool() : file_(OpenScratchFile(L"slc")) {}

    bool Ok() const { return file_ && ok_; }
    // One write per row: its length, then the path, the card's state and each value with its column.
    void Add(const std::wstring& path, const std::vector<uint32_t>& columns, const std::vector<CardEntry>& card) {
        row_.clear();
        PutCount(card.size());
        PutText(path);
        PutText(CardState(card));
        for (size_t i = 0; i < card.size(); ++i) {
            PutCount(columns[i]);
            PutText(card[i].value);
        }
        uint32_t size = static_cast<uint32_t>(row_.size());
        ok_ = ok_ && file_ && fwrite(&size, sizeof size, 1, file_.Get()) == 1 && fwrite(row_.data(), 1, size, file_.Get()) == size;
    }
    bool Rewind() { return file_ && fflush(file_.Get()) == 0 && fseek(file_.Get(), 0, SEEK_SET) == 0; }
    // The next row's cells: the path, `columns` values, the card's state; false at the end.
    bool Next(size_t columns, std::vector<std::wstring>& cells) {
        uint32_t size = 0;
        if (!file_ || fread(&size, sizeof size, 1, file_.Get()) != 1) return false;
        row_.resize(size);
        if (fread(row_.data(), 1, size, file_.Get()) != size) return ok_ = false;
        read_ = 0;
        cells.assign(columns + 2, std::wstring());
        uint32_t count = 0, column = 0;
        if (!GetCount(count) || !GetText(cells[0]) || !GetText(cells[columns + 1])) return ok_ = false;
        for (uint32_t i = 0; i < count; ++i)
            if (!GetCount(column) || column >= columns || !GetText(cells[column + 1])) return ok_ = false;
        return true;
    }

private:
    void PutCount(size_t n) {
        uint32_t count = static_cast<uint32_t>(n);
        row_.append(reinterpret_cast<const char*>(&count), sizeof count);
    }
    void PutText(const std::wstring& text) {
        PutCount(text.size());
        row_.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    }
    bool GetCount(uint32_t& n) {
        if (row_.size() - read_ < sizeof n) return false;
        std::memcpy(&n, row_.data() + read_, sizeof n);
        read_ += sizeof n;
        return true;
    }
    bool GetText(std::wstring& text) {
        uint32_t n = 0;
        if (!GetCount(n) || (row_.size() - read_) / sizeof(wchar_t) < n) return false;
        text.assign(reinterpret_cast<const wchar_t*>(row_.data() + read_), n);
        read_ += n * sizeof(wchar_t);
        return true;
    }

    scanleaf::StdFileHandle file_;
    std::string row_;
    size_t read_ = 0;
    bool ok_ = true;
};

// A card as one line of a resumable run's kept rows: SourceFile, then each variable (read-only
// ones marked); a card that could not be read has only its reason, under the empty name.
std::string CardRowLine(const std::wstring& path, HRESULT hr, const std::vector<CardEntry>& card);
// False when the line is no card of that file.
bool ReadCardRowLine(const std::string& line, const std::wstring& path, std::wstring& failure,
                     std::vector<CardEntry>& card);

} // namespace card
