// undo: an import's journal played back. A saved file whose header is still what the import
// left gets its earlier header and modification time back; any other is left as it is.
#include "core/CardJournal.h"
#include "tools/card/Commands.h"
#include "tools/card/Files.h"
#include "tools/card/HeaderFile.h"
#include "tools/card/Output.h"
#include "tools/card/Progress.h"

namespace card {

int Undo(const std::vector<std::wstring>& args) {
    if (args.size() != 1) return kUsageError;
    const std::wstring& journalPath = args[0];
    std::string text;
    if (!ReadWholeFile(journalPath, text)) {
        Err(L"scanleaf-card: cannot read the journal " + journalPath + L"\n");
        return 1;
    }
    std::vector<journal::Entry> entries;
    std::wstring error;
    if (!journal::Parse(text, entries, error)) {
        Err(journalPath + L": " + error + L"\nno file was changed\n");
        return 1;
    }
    Summary summary;
    Progress progress(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const journal::Entry& e = entries[i];
        progress.Step(i, e.path);
        if (!e.saved) continue; // the import stopped before this file: it was never written
        ++summary.read;
        HRESULT hr = RestoreHeader(e.path, e.size, e.after, e.before, e.modified);
        if (hr == S_OK) {
            ++summary.changed;
            continue;
        }
        progress.Clear();
        ++summary.failed;
        Err(e.path + L": " +
            (hr == S_FALSE ? std::wstring(L"changed since the import; left as it is") : DescribeHresult(hr)) + L"\n");
    }
    progress.Clear();
    size_t notSaved = entries.size() - summary.read;
    if (notSaved) Out(std::to_wstring(notSaved) + L" file(s) the import had not saved: nothing to undo\n");
    Out(L"undo: " + summary.Line() + L"\n");
    return summary.failed ? 1 : 0;
}

} // namespace card
