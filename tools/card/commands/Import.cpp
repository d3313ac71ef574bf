// import: a table of data cards applied in two phases. Every row and cell is checked first
// (with a trial save of each changed header on a scratch copy, so that what the plug-in would
// store is known); only a table without a single problem is written, file by file, behind an
// undo journal.
#include "cardcore/CardJournal.h"
#include "cardcore/CardTable.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/cards/Card.h"
#include "tools/card/cards/CardEdit.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/cards/Journaled.h"
#include "tools/card/cards/TableCheck.h"
#include "tools/card/cards/TableFile.h"
#include "tools/card/commands/Commands.h"
#include "tools/common/Plugin.h"

#include <map>

namespace card {

namespace {


// The table's name with the extension .journal, beside it.
std::wstring DefaultJournal(const std::wstring& table) {
    size_t slash = table.find_last_of(L"\\/");
    size_t dot = table.find_last_of(L'.');
    std::wstring base = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? table.substr(0, dot) : table;
    return base + L".journal";
}

} // namespace

int Import(const ImportOptions& options, const Setup& setup) {
    const std::wstring& tableFile = options.operands[0];
    table::Table table;
    std::vector<table::Problem> problems;
    auto report = [&]() {
        for (const table::Problem& p : problems) Err(tableFile + L": " + p.where + L": " + p.message + L"\n");
        Err(std::to_wstring(problems.size()) + L" problem(s); no file was changed\n");
        return 1;
    };
    if (!ReadTableFile(tableFile, options.Reading(), table, problems)) {
        report();
        Out(L"import: " + Summary().Line() + L"\n");
        return 1;
    }

    std::vector<FilePlan> plans;
    Summary summary;
    TableCheck check(setup.Format(), table, options.emptyClears, options.skipChanged);
    check.Run(plans, problems, summary);
    if (!problems.empty()) {
        Tally refused(L"import");
        refused.Count(L"files read") = summary.read + summary.failed;
        refused.Count(L"with problems") = summary.failed;
        Out(refused.Line());
        return report();
    }
    for (const FilePlan& plan : check.skipped)
        Out(plan.path + L": skipped, changed since the export (" + plan.where + L")\n");
    summary.skipped = check.skipped.size();
    if (options.dryRun || plans.empty()) {
        size_t count = 0;
        for (const FilePlan& plan : plans) {
            for (const Change& c : plan.changes) {
                Out(plan.path + L": " + c.name + L": " + Quote(c.before) + L" -> " + Quote(c.after) + L"\n");
                ++count;
            }
        }
        Out(std::to_wstring(count) + L" change(s) in " + std::to_wstring(plans.size()) + L" file(s)" +
            (options.dryRun ? L"; nothing written (dry run)\n" : L"; nothing to write\n"));
        if (options.dryRun) {
            Tally dryRun(L"import (dry run)");
            dryRun.Count(L"files read") = summary.read;
            dryRun.Count(L"would change") = summary.changed;
            dryRun.Count(L"unchanged") = summary.unchanged;
            dryRun.Count(L"skipped", false, Tally::IfAny) = summary.skipped;
            Out(dryRun.Line());
        } else {
            Out(L"import: " + summary.Line() + L"\n");
        }
        return 0;
    }
    CardEdit edit(setup.Format());
    return WritePlans(plans, options.journal.empty() ? DefaultJournal(tableFile) : options.journal, JournalOf::Import,
                      summary, L"import",
                      [&edit](const FilePlan& plan) { return edit.Save(plan.path, ValuesOf(plan.changes), 0); });
}

} // namespace card
