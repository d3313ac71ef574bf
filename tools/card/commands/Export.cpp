// export: every CALS file's data card as one row of a table.
#include "cardcore/CardTable.h"
#include "hostenv/HostNames.h"
#include "hostenv/LongPath.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Resume.h"
#include "tools/card/cards/Card.h"
#include "tools/card/cards/CardSpool.h"
#include "tools/card/commands/Commands.h"
#include "tools/common/Plugin.h"
#include "tools/card/cards/PluginCodes.h"

#include "Version.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>

namespace card {

namespace {

// What the kept rows depend on besides the files: the tool's version and the settings file,
// whose sub-fields and read-only flags shape every card.
std::wstring ExportRun() {
    std::wstring run = L"export\t" SCANLEAF_VERSION_WTEXT L"\tsettings ";
    const std::wstring shared = scanleaf::SettingsLight().GetFolder(scanleaf::SharedFolder);
    std::uint64_t size = 0, hash = 0;
    if (shared.empty() || !IdentifyFile(shared + scanleaf::kSettingsFileName, size, hash)) return run + L"none";
    wchar_t text[64];
    swprintf(text, 64, L"%llu %016llx", static_cast<unsigned long long>(size), static_cast<unsigned long long>(hash));
    return run + text;
}

} // namespace

int Export(const ExportOptions& options, const Setup& setup) {
    // --resume TABLE writes TABLE (the first one given; the others lend their rows).
    const std::wstring table = options.resume.empty() ? std::wstring() : options.resume.front();
    if (!table.empty() && !options.output.empty() && options.output != table)
        return UsageError(L"--resume TABLE writes TABLE: -o names another file");
    const std::wstring& output = table.empty() ? options.output : table;
    const bool json = options.format == TableFormat::Json;
    Batch batch(L"export", options, setup.Extensions());
    CardSpool spool;
    Columns columns;
    // Cards are read on the jobs' threads, each with its own reader (and so its own navigators),
    // and spooled here in the order the files came.
    struct Read {
        std::wstring path;
        HRESULT hr = S_OK;
        std::vector<CardEntry> card;
        std::wstring failure; // a kept row's reason
        Resumed resumed;
    };
    const auto readers = CardReaders(setup.Format(), batch.Jobs());
    size_t& files = batch.Count(L"files");
    size_t& exported = batch.Count(L"exported");
    size_t& failed = batch.Count(L"failed", true);
    failed = batch.Missing();
    // Cards taken from the rows a stopped run kept.
    size_t& reused = batch.Count(L"kept from the stopped run", false, options.resume.empty() ? Tally::Never : Tally::Always);
    size_t& lent = batch.Count(L"taken from the other tables", false, options.resume.size() > 1 ? Tally::Always : Tally::Never);
    // Every path ends with the summary; a run that stops before its table is written fails.
    auto finish = [&](bool stopped) {
        files = exported + failed;
        return batch.End(stopped);
    };
    // --resume: every card read is kept in TABLE.rows as it comes, with its file's identity, so
    // that a stopped run continued takes the cards of the files that are as they were; the table
    // is written from them at the end, and the rows removed.
    const bool resume = !options.resume.empty();
    ResumableRows kept;
    if (!kept.Open(options.resume, ExportRun(), L"kept by another command, version or settings file; every card is read again",
                   options.shard.Splits()))
        return finish(true);
    batch.Each<Read>(
        [&](unsigned worker, size_t i) {
            Read r;
            r.path = AbsolutePath(batch.Sources()[i].path);
            r.resumed = kept.LookUp(r.path);
            // A card the stopped run read is taken from its row, not read again.
            if (r.resumed.row && ReadCardRowLine(*r.resumed.row, r.path, r.failure, r.card)) return r;
            r.resumed.row = nullptr;
            r.hr = readers[worker]->Read(r.path, r.card);
            return r;
        },
        [&](size_t, Read& r) {
            if (r.resumed.row) {
                ++(r.resumed.lent ? lent : reused);
                kept.Taken(r.resumed);
            } else {
                kept.Keep(r.resumed, CardRowLine(r.path, r.hr, r.card));
            }
            if (FAILED(r.hr) || !r.failure.empty()) {
                Err(r.path + L": " + (r.failure.empty() ? DescribeHresult(r.hr) : r.failure) + L"\n");
                ++failed;
                return;
            }
            ++exported;
            spool.Add(r.path, columns.Add(r.card), r.card);
        },
        [&] { return !kept.Stopped().empty(); });
    if (!kept.Stopped().empty()) {
        Err(kept.Stopped() + L"\n");
        return finish(true);
    }
    // A shard that the split left empty writes its table all the same, without rows.
    if (exported + failed == 0 && batch.NothingFound()) return finish(true);
    if (!spool.Ok() || !spool.Rewind()) {
        Err(L"scanleaf-card: cannot keep the cards in a temporary file: " +
            DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        return finish(true);
    }

    if (const std::wstring problem = MakeFoldersOf(output); !problem.empty()) {
        Err(L"scanleaf-card: " + problem + L"\n");
        return finish(true);
    }
    TableSink sink(output);
    if (!sink.Ok()) {
        Err(L"scanleaf-card: cannot write " + output + L": " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) +
            L"\n");
        return finish(true);
    }
    std::vector<std::wstring> header = columns.Header();
    bool ok = true;
    if (json) {
        ok = sink.Write("[");
    } else {
        if (!options.noBom) ok = sink.Write(table::kUtf8Bom);
        ok = ok && sink.Write(table::CsvLine(header, options.delimiter));
    }
    std::vector<std::wstring> cells;
    for (size_t row = 0; ok && spool.Next(columns.Count(), cells); ++row) {
        if (json)
            ok = sink.Write(Utf8((row ? L",\n" : L"\n") + table::JsonObject(header, cells)));
        else
            ok = sink.Write(table::CsvLine(cells, options.delimiter));
    }
    if (json) ok = ok && sink.Write("\n]\n");
    if (!ok || !spool.Ok() || !sink.Finish()) {
        Err(L"scanleaf-card: writing the table failed" + (output.empty() ? L"" : L": " + output) + L": " +
            DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        return finish(true);
    }
    if (resume) kept.Remove();
    return finish(false);
}

} // namespace card
