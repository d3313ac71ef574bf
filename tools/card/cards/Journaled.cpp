#include "tools/card/cards/Journaled.h"
#include "hostenv/LongPath.h"
#include "tools/card/cards/PluginCodes.h"

#include "cardcore/CardJournal.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/card/batch/Console.h"

namespace card {

using scanleaf::FileHandle;

namespace {

// The journal file: created new (an earlier import's journal is never overwritten), each
// append flushed to disk before the next save.
class JournalFile {
public:
    explicit JournalFile(const std::wstring& path)
        : file_(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {}
    bool Valid() const { return file_.Valid(); }
    bool Append(const std::string& bytes) { return WriteAll(file_.Get(), bytes) && FlushFileBuffers(file_.Get()); }

private:
    FileHandle file_;
};

std::wstring FileList(const std::vector<FilePlan>& plans, size_t from, size_t to) {
    std::wstring list;
    for (size_t i = from; i < to; ++i) list += L"  " + plans[i].path + L"\n";
    return list;
}

} // namespace

// A journal that undo has marked is done with: it moves to the first free "NAME.undone-N.EXT"
// and stays there for the record, so that the import may take its name. Any other is left alone.
HRESULT SetAsideUndone(const std::wstring& path, std::wstring& keptAs) {
    std::string text;
    std::vector<journal::Entry> entries;
    std::wstring error;
    bool undone = false;
    if (!ReadWholeFile(path, text) || !journal::Parse(text, entries, error, &undone) || !undone) return S_FALSE;
    const size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = path.size();
    for (int n = 1; n < 10000; ++n) {
        keptAs = path.substr(0, dot) + L".undone-" + std::to_wstring(n) + path.substr(dot);
        if (MoveFileW(scanleaf::FileSystemPath(path).c_str(), scanleaf::FileSystemPath(keptAs).c_str())) return S_OK;
        const DWORD failure = GetLastError();
        if (failure != ERROR_ALREADY_EXISTS && failure != ERROR_FILE_EXISTS) return HRESULT_FROM_WIN32(failure);
    }
    return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

int WritePlans(const std::vector<FilePlan>& plans, const std::wstring& journalPath, JournalOf kind, Summary& summary,
               const std::wstring& verb, const std::function<HRESULT(const FilePlan&)>& save, const std::wstring& counts,
               const std::wstring& done) {
    // Refused before any file was changed: the summary still ends the run.
    auto refused = [&](const std::wstring& message) {
        Err(message + L"\nno file was changed\n");
        summary.changed = 0;
        summary.failed += plans.size();
        Out(verb + L": " + summary.Line() + L"\n");
        return 1;
    };
    std::wstring keptAs;
    const HRESULT aside = SetAsideUndone(journalPath, keptAs);
    if (FAILED(aside)) {
        return refused(L"scanleaf-card: the undone journal " + journalPath + L" cannot be kept as " + keptAs + L": " +
                       DescribeHresult(aside));
    }
    if (aside == S_OK) Out(L"the undone journal " + journalPath + L" is kept as " + keptAs + L"\n");
    JournalFile journal(journalPath);
    if (!journal.Valid()) {
        DWORD error = GetLastError();
        return refused(L"scanleaf-card: cannot create the journal " + journalPath +
                       (error == ERROR_FILE_EXISTS ? L": it exists and records changes that have not been undone; undo it "
                                                     L"first (scanleaf-card undo " + journalPath +
                                                         L"), or name another journal with --journal"
                                                   : L": " + DescribeHresult(HRESULT_FROM_WIN32(error))));
    }
    std::string before = kind == JournalOf::Repair ? journal::kRepairFirstLine : journal::kFirstLine;
    for (const FilePlan& plan : plans) {
        HeaderState state;
        HRESULT hr = ReadHeaderState(plan.path, state);
        if (FAILED(hr)) return refused(plan.path + L": " + DescribeHresult(hr));
        before += journal::BeforeLine({plan.path, state.size, state.modified, state.header, false, {}});
    }
    if (!journal.Append(before))
        return refused(L"scanleaf-card: cannot write the journal " + journalPath + L": " +
                       DescribeHresult(HRESULT_FROM_WIN32(GetLastError())));

    Progress progress(plans.size());
    for (size_t i = 0; i < plans.size(); ++i) {
        progress.Step(i, plans[i].path);
        HRESULT hr = save(plans[i]);
        HeaderState after;
        if (SUCCEEDED(hr)) hr = ReadHeaderState(plans[i].path, after);
        bool journaled = SUCCEEDED(hr) && journal.Append(journal::AfterLine(plans[i].path, after.header));
        if (FAILED(hr) || !journaled) {
            progress.Clear();
            size_t saved = SUCCEEDED(hr) ? i + 1 : i;
            Err(verb + L" stopped at " + plans[i].path + L": " +
                (FAILED(hr) ? DescribeHresult(hr) : L"its journal record could not be written") + L"\n");
            Err(L"saved (" + std::to_wstring(saved) + L"):\n" + FileList(plans, 0, saved));
            Err(L"not saved (" + std::to_wstring(plans.size() - saved) + L"):\n" + FileList(plans, saved, plans.size()));
            Err(L"to put the saved files back: scanleaf-card undo " + journalPath + L"\n");
            summary.changed = saved;
            summary.failed += plans.size() - saved;
            Out(verb + L": " + summary.Line() + L"\n");
            return 1;
        }
    }
    progress.Clear();
    Out(done);
    Out(L"journal: " + journalPath + L" (scanleaf-card undo " + journalPath + L" puts every file back)\n");
    Out(verb + L": " + (counts.empty() ? summary.Line() : counts) + L"\n");
    return 0;
}

} // namespace card
