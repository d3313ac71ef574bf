// The check of a whole table of cards before import writes any of it: every row names a file of
// this card, each cell a variable that may be written, every value one that the plug-in would
// store as given (by a trial save of each changed header on a scratch copy); the plans of the
// files with changes, or every problem at once.
#pragma once

#include "cardcore/CardTable.h"
#include "host/VorHost.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/cards/Card.h"
#include "tools/card/cards/CardEdit.h"
#include "tools/card/cards/Journaled.h"
#include "tools/card/cards/TableFile.h"
#include "tools/card/cards/Trial.h"
#include "tools/card/cards/PluginCodes.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace card {

// The new values of a file's changes.
inline std::vector<NewValue> ValuesOf(const std::vector<Change>& changes) {
    std::vector<NewValue> values;
    for (const Change& c : changes) values.push_back({c.name, c.after});
    return values;
}

class TableCheck {
public:
    TableCheck(IVorFileFormat* format, const table::Table& table, bool emptyClears, bool skipChanged)
        : reader_(format), edit_(format), table_(table), emptyClears_(emptyClears), skipChanged_(skipChanged) {}

    // The files left out by --skip-changed, each with its row.
    std::vector<FilePlan> skipped;

    // Every problem of the table; the plans of the files with changes.
    void Run(std::vector<FilePlan>& plans, std::vector<table::Problem>& problems, Summary& summary) {
        if (!ReadHeader(problems)) return;
        std::map<std::wstring, std::wstring> seen; // lower-case absolute path -> where
        Progress progress(table_.rows.size());
        for (size_t r = 0; r < table_.rows.size(); ++r) {
            const table::Row& row = table_.rows[r];
            std::wstring given = row.cells[source_];
            progress.Step(r, given);
            size_t before = problems.size();
            FilePlan plan;
            const bool changedSince = CheckRow(row, plan, seen, problems);
            if (problems.size() != before) {
                ++summary.failed;
                continue;
            }
            ++summary.read;
            if (changedSince) {
                skipped.push_back(std::move(plan));
            } else if (plan.changes.empty()) {
                ++summary.unchanged;
            } else {
                ++summary.changed;
                plans.push_back(std::move(plan));
            }
        }
        progress.Step(table_.rows.size(), L"");
    }

private:
    bool ReadHeader(std::vector<table::Problem>& problems) {
        std::map<std::wstring, size_t> names;
        bool haveSource = false;
        for (size_t c = 0; c < table_.header.size(); ++c) {
            std::wstring name = table_.header[c];
            const std::wstring mark = table::kReadOnlyMark;
            if (name.size() > mark.size() && name.compare(name.size() - mark.size(), mark.size(), mark) == 0)
                name.erase(name.size() - mark.size());
            if (Lower(name) == Lower(table::kSourceColumn)) {
                if (haveSource) problems.push_back({L"header", L"the column SourceFile appears twice"});
                haveSource = true;
                source_ = c;
            } else if (Lower(name) == Lower(table::kCardStateColumn)) {
                if (state_ != kNone) problems.push_back({L"header", L"the column CardState appears twice"});
                state_ = c;
            } else if (!names.emplace(Lower(name), c).second) {
                problems.push_back({L"header", L"the column " + name + L" appears twice"});
            }
            columns_.push_back(name);
        }
        if (!haveSource) problems.push_back({L"header", L"no SourceFile column: it names the file of each row"});
        return problems.empty();
    }

    // True when the row would change a file whose card has changed since the export, and
    // --skip-changed leaves it out; without it, that is one of the row's problems.
    bool CheckRow(const table::Row& row, FilePlan& plan, std::map<std::wstring, std::wstring>& seen,
                  std::vector<table::Problem>& problems) {
        auto problem = [&](const std::wstring& column, const std::wstring& message) {
            problems.push_back({row.where + (column.empty() ? L"" : L", column " + column), message});
            return false;
        };
        const std::wstring& given = row.cells[source_];
        if (given.empty()) return problem(L"", L"SourceFile is empty");
        plan.path = RowSource(given);
        plan.where = row.where;
        auto earlier = seen.emplace(Lower(plan.path), row.where);
        if (!earlier.second) return problem(L"", plan.path + L": the same file as " + earlier.first->second);
        if (IsFolder(plan.path)) return problem(L"", plan.path + L": a folder, not a CALS file");
        std::vector<CardEntry> card;
        HRESULT hr = reader_.Read(plan.path, card);
        if (FAILED(hr)) return problem(L"", plan.path + L": " + DescribeHresult(hr));
        // A table without the column, or a row added by hand, is taken as it stands.
        const std::wstring exported = state_ == kNone ? std::wstring() : row.cells[state_];
        if (!exported.empty() && !IsCardState(exported))
            return problem(table::kCardStateColumn, Quote(exported) + L" is not a card state written by export");
        // Someone (or an earlier import of this table) changed the file after the export.
        const bool changedSince = !exported.empty() && exported != CardState(card);

        // The cells meant as edits: the card's own checks judge them.
        std::vector<NewValue> asked;
        std::vector<const CardEntry*> entries;
        for (size_t c = 0; c < columns_.size(); ++c) {
            if (c == source_ || c == state_) continue;
            const std::wstring& value = row.cells[c];
            const CardEntry* entry = FindEntry(card, columns_[c]);
            if (!entry && value.empty()) continue;
            if (entry && ((value.empty() && !emptyClears_) || value == entry->value)) continue;
            // A read-only value that differs is stale, not an edit, once the card has changed:
            // a record with sub-fields follows them. The row is then judged by its writable cells.
            if (entry && entry->readOnly && changedSince) continue;
            asked.push_back({columns_[c], value});
            entries.push_back(entry);
        }
        std::vector<size_t> passed;
        for (const EditProblem& p : CardEdit::CheckNames(card, asked, &passed)) {
            const NewValue& v = asked[p.value];
            if (p.fault == EditFault::NotAVariable)
                problem(v.name, L"not a variable of " + plan.path);
            else if (p.fault == EditFault::ReadOnly)
                problem(v.name, L"read-only: the table changes " + Quote(p.current) + L" to " + Quote(v.text));
            else if (p.fault == EditFault::CodePage)
                problem(v.name, CodePageProblem(v.text));
        }
        for (size_t i : passed) plan.changes.push_back({entries[i]->name, entries[i]->value, asked[i].text});
        if (plan.changes.empty()) return false; // nothing written, nothing lost
        // The row's old values would undo what was changed since the export.
        if (changedSince) {
            if (skipChanged_) return true;
            return problem(L"", plan.path + L": changed since the export: export it again, or drop the row");
        }
        for (const EditProblem& p : edit_.CheckStored(plan.path, ValuesOf(plan.changes), 0)) {
            if (p.fault == EditFault::TrialFailed) return problem(L"", plan.path + L": a trial save failed: " + DescribeHresult(p.hr));
            const Change& change = plan.changes[p.value];
            problem(change.name, NotStoredText(change.after, p.stored));
        }
        return false;
    }

    static constexpr size_t kNone = size_t(-1);

    CardReader reader_;
    CardEdit edit_;
    const table::Table& table_;
    bool emptyClears_;
    bool skipChanged_;
    std::vector<std::wstring> columns_;
    size_t source_ = 0;
    size_t state_ = kNone;
};

} // namespace card
