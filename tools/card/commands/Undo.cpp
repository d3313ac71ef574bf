// undo: an import's journal played back. A saved file whose header is still what the import
// left gets its earlier header and modification time back; one that holds it already is
// counted as restored; any other is left as it is. When every saved file holds its earlier
// header, the journal is marked undone: a second undo has nothing to do.
#include "cardcore/CardJournal.h"
#include "hostenv/ComError.h"
#include "hostenv/Unique.h"
#include "hostenv/LongPath.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

namespace card {

namespace {

HRESULT MarkUndone(const std::wstring& journalPath) {
    scanleaf::FileHandle file(CreateFileW(scanleaf::FileSystemPath(journalPath).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || !WriteAll(file.Get(), journal::kUndoneLine) || !FlushFileBuffers(file.Get()))
        return scanleaf::LastErrorAsHresult();
    return S_OK;
}

} // namespace

int Undo(const NoOptions& a, const Setup&) {
    const std::wstring journalPath = a.operands[0];
    std::string text;
    // A journal that cannot be read or parsed undoes nothing, and says so in the closing line too.
    Tally none(L"undo");
    none.Count(L"files");
    none.Count(L"restored");
    const std::wstring nothingUndone = none.Line();
    if (!ReadWholeFile(journalPath, text)) {
        Err(L"scanleaf-card: cannot read the journal " + journalPath + L": " +
            DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        Out(nothingUndone);
        return 1;
    }
    std::vector<journal::Entry> entries;
    std::wstring error;
    bool undone = false, repair = false;
    if (!journal::Parse(text, entries, error, &undone, &repair)) {
        Err(journalPath + L": " + error + L"\nno file was changed\n");
        Out(nothingUndone);
        return 1;
    }
    // The journal's kind names what it undoes.
    const std::wstring kind = repair ? L"repair" : L"import";
    if (undone) {
        Out(journalPath + L": already undone; nothing to do\n");
        return 0;
    }
    size_t files = 0, restored = 0, already = 0, changedSince = 0, failed = 0;
    Progress progress(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const journal::Entry& e = entries[i];
        progress.Step(i, e.path);
        if (!e.saved) continue; // the import stopped before this file: it was never written
        ++files;
        Restored outcome = Restored::ChangedSince;
        const HRESULT hr = RestoreHeader(e.path, e.size, e.after, e.before, e.modified, outcome);
        if (SUCCEEDED(hr) && outcome != Restored::ChangedSince) {
            ++(outcome == Restored::Now ? restored : already);
            continue;
        }
        progress.Clear();
        ++(FAILED(hr) ? failed : changedSince);
        Err(e.path + L": " +
            (SUCCEEDED(hr) ? L"changed since the " + kind + L"; left as it is" : DescribeHresult(hr)) + L"\n");
    }
    progress.Clear();
    const size_t notSaved = entries.size() - files;
    if (notSaved) Out(std::to_wstring(notSaved) + L" file(s) the " + kind + L" had not saved: nothing to undo\n");
    Tally tally(L"undo");
    tally.Count(L"files") = files;
    tally.Count(L"restored") = restored;
    tally.Count(L"restored before", false, Tally::IfAny) = already;
    tally.Count(L"changed since the " + kind) = changedSince;
    tally.Count(L"failed", false, Tally::IfAny) = failed;
    Out(tally.Line());
    if (changedSince || failed) {
        Err(L"the journal stays as it is: once those files hold what the " + kind + L" left, undo again\n");
        return 1;
    }
    const HRESULT marked = MarkUndone(journalPath);
    if (FAILED(marked)) {
        Err(journalPath + L": every file is back, but the journal cannot be marked undone: " +
            DescribeHresult(marked) + L"\n");
        return 1;
    }
    return 0;
}

} // namespace card
