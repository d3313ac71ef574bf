// Changes to files' headers made through the undo journal, as import and repair make them: every
// file's header recorded before the first save, each saved header after it, so that undo puts
// every byte back, even after a run stopped half-way.
#pragma once

#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace card {

struct Change {
    std::wstring name;
    std::wstring before;
    std::wstring after;
};

struct FilePlan {
    std::wstring path;
    std::wstring where;
    std::vector<Change> changes;
};

// A journal that undo has marked moves aside to NAME.undone-N.EXT (S_OK, `keptAs`); S_FALSE
// for any other, which stays.
HRESULT SetAsideUndone(const std::wstring& path, std::wstring& keptAs);

// Which command's journal: undo tells an import's from a repair's by its first line.
enum class JournalOf { Import, Repair };

// Saves each plan with `save`, through a new journal of `kind` at `journalPath`; reports as `verb`
// ("import: files read ...", or `counts` when given), after `done` once every file is saved. 0
// when every file was saved, 1 otherwise (with what was saved and how to undo it, or that nothing
// was changed).
int WritePlans(const std::vector<FilePlan>& plans, const std::wstring& journalPath, JournalOf kind, Summary& summary,
               const std::wstring& verb, const std::function<HRESULT(const FilePlan&)>& save,
               const std::wstring& counts = std::wstring(), const std::wstring& done = std::wstring());

} // namespace card
