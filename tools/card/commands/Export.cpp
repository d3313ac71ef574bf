// export: every CALS file's data card as one row of a table.
#include "core/CardTable.h"
#include "hostenv/LongPath.h"
#include "hostenv/SettingsLight.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Output.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Resume.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/card/Card.h"
#include "tools/card/commands/Commands.h"
#include "tools/common/Plugin.h"

#include "Version.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>

namespace card {

namespace {

struct ExportRequest {
    bool recursive = false;
    unsigned jobs = 1;
    bool json = false;
    bool bom = true;
    wchar_t delimiter = L',';
    std::wstring output; // empty: standard output
    std::wstring resume; // the table, whose cards read so far are kept in TABLE.rows
    scanleaf::core::Shard shard;
    std::vector<std::wstring> paths;
};

bool ParseRequest(const Arguments& a, ExportRequest& request) {
    const std::wstring format = a.Value(L"--format", L"csv"), delimiter = a.Value(L"--delimiter", L",");
    request.jobs = JobsOf(a);
    request.shard = ShardOf(a);
    request.recursive = a.Has(L"--recursive");
    request.bom = !a.Has(L"--no-bom");
    request.json = format == L"json";
    request.delimiter = delimiter[0];
    request.output = a.Value(L"-o");
    request.resume = a.Value(L"--resume");
    request.paths = a.operands;
    if (!request.resume.empty() && !request.output.empty() && request.output != request.resume)
        return UsageError(L"--resume TABLE writes TABLE: -o names another file"), false;
    if (!request.resume.empty()) request.output = request.resume;
    return true;
}

// A card as one line of TABLE.rows: SourceFile, then each variable (read-only ones marked);
// a card that could not be read has only its reason, under the empty name.
std::string LogLine(const std::wstring& path, HRESULT hr, const std::vector<CardEntry>& card) {
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

// False when the line is no card of that file.
bool ReadLogLine(const std::string& line, const std::wstring& path, std::wstring& failure, std::vector<CardEntry>& card) {
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
    ~CardSpool() {
        if (file_) fclose(file_);
    }
    CardSpool(const CardSpool&) = delete;
    CardSpool& operator=(const CardSpool&) = delete;

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
        ok_ = ok_ && file_ && fwrite(&size, sizeof size, 1, file_) == 1 && fwrite(row_.data(), 1, size, file_) == size;
    }
    bool Rewind() { return file_ && fflush(file_) == 0 && fseek(file_, 0, SEEK_SET) == 0; }
    // The next row's cells: the path, `columns` values, the card's state; false at the end.
    bool Next(size_t columns, std::vector<std::wstring>& cells) {
        uint32_t size = 0;
        if (!file_ || fread(&size, sizeof size, 1, file_) != 1) return false;
        row_.resize(size);
        if (fread(row_.data(), 1, size, file_) != size) return ok_ = false;
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

    FILE* file_;
    std::string row_;
    size_t read_ = 0;
    bool ok_ = true;
};

// Standard output, or a file that appears only when complete.
// What the kept rows depend on besides the files: the tool's version and the settings file,
// whose sub-fields and read-only flags shape every card.
std::wstring ExportRun() {
    std::wstring run = L"export\t" SCANLEAF_VERSION_WTEXT L"\tsettings ";
    const std::wstring shared = scanleaf::SettingsLight().GetFolder(scanleaf::SharedFolder);
    std::uint64_t size = 0, hash = 0;
    if (shared.empty() || !IdentifyFile(shared + L"FileFormats\\Scanleaf.ini", size, hash)) return run + L"none";
    wchar_t text[64];
    swprintf(text, 64, L"%llu %016llx", static_cast<unsigned long long>(size), static_cast<unsigned long long>(hash));
    return run + text;
}

} // namespace

int Export(const Arguments& args, const Setup& setup) {
    ExportRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    const Walked walked = WalkAndReport({request.paths, CalsExtensions(setup.Format()), request.recursive, request.shard});
    const size_t total = walked.sources.size();

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
    const auto readers = CardReaders(setup.Format(), request.jobs);
    Tally tally(L"export");
    size_t& files = tally.Count(L"files");
    Summary summary;
    summary.failed = walked.missing.size();
    size_t& exported = tally.Count(L"exported");
    size_t& failed = tally.Count(L"failed", true);
    // Cards taken from the rows a stopped run kept.
    size_t& reused = tally.Count(L"kept from the stopped run", false, request.resume.empty() ? Tally::Never : Tally::Always);
    // Every path ends with the summary.
    auto finish = [&](int rc) {
        files = summary.read + summary.failed;
        exported = summary.read;
        failed = summary.failed;
        tally.Report();
        return rc;
    };
    // --resume: every card read is kept in TABLE.rows as it comes, with its file's identity, so
    // that a stopped run continued takes the cards of the files that are as they were; the table
    // is written from them at the end, and the rows removed.
    const bool resume = !request.resume.empty();
    KeptRows kept;
    std::wstring stop;
    if (resume) {
        const std::wstring rowsPath = request.resume + L".rows";
        const HRESULT hr = kept.Open(rowsPath, ExportRun());
        if (FAILED(hr)) {
            Err(rowsPath + L": " + DescribeHresult(hr) + L"\n");
            return finish(1);
        }
        if (kept.Restarted())
            Err(rowsPath + L": kept by another command, version or settings file; every card is read again\n");
    }
    {
        Progress progress(total);
        size_t done = 0;
        OrderedPool<std::wstring, Read> pool(
            request.jobs,
            [&](unsigned worker, const std::wstring& file) {
                Read r;
                r.path = AbsolutePath(file);
                if (resume) r.resumed = LookUp(kept, r.path);
                // A card the stopped run read is taken from its row, not read again.
                if (r.resumed.row && ReadLogLine(*r.resumed.row, r.path, r.failure, r.card)) return r;
                r.resumed.row = nullptr;
                r.hr = readers[worker]->Read(r.path, r.card);
                return r;
            },
            [&](const std::wstring& file, Read& r) {
                progress.Step(done++, file);
                if (r.resumed.row) {
                    ++reused;
                } else if (resume) {
                    if (r.resumed.changed) {
                        progress.Clear();
                        Err(r.path + L": read again: it changed since the stopped run\n");
                    }
                    scanleaf::core::KeptRow row = r.resumed.identity;
                    row.row = LogLine(r.path, r.hr, r.card);
                    if (!r.resumed.identified) row.size = row.hash = 0; // never taken as it was
                    if (!kept.Append(row)) stop = request.resume + L".rows: cannot be written";
                }
                if (FAILED(r.hr) || !r.failure.empty()) {
                    progress.Clear();
                    Err(r.path + L": " + (r.failure.empty() ? DescribeHresult(r.hr) : r.failure) + L"\n");
                    ++summary.failed;
                    return;
                }
                ++summary.read;
                spool.Add(r.path, columns.Add(r.card), r.card);
            });
        for (const Source& source : walked.sources) {
            if (!stop.empty()) break;
            pool.Add(source.path);
        }
        pool.Finish();
        progress.Step(done, L"");
    }
    if (!stop.empty()) {
        Err(stop + L"\n");
        return finish(1);
    }
    if (summary.read + summary.failed == 0) {
        Err(L"scanleaf-card: no CALS files found\n");
        return finish(1);
    }
    if (!spool.Ok() || !spool.Rewind()) {
        Err(L"scanleaf-card: cannot keep the cards in a temporary file: " +
            DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        return finish(1);
    }

    if (const std::wstring problem = MakeFoldersOf(request.output); !problem.empty()) {
        Err(L"scanleaf-card: " + problem + L"\n");
        return finish(1);
    }
    TableSink sink(request.output);
    if (!sink.Ok()) {
        Err(L"scanleaf-card: cannot write " + request.output + L": " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) +
            L"\n");
        return finish(1);
    }
    std::vector<std::wstring> header = columns.Header();
    bool ok = true;
    if (request.json) {
        ok = sink.Write("[");
    } else {
        if (request.bom) ok = sink.Write(table::kUtf8Bom);
        ok = ok && sink.Write(table::CsvLine(header, request.delimiter));
    }
    std::vector<std::wstring> cells;
    for (size_t row = 0; ok && spool.Next(columns.Count(), cells); ++row) {
        if (request.json)
            ok = sink.Write(Utf8((row ? L",\n" : L"\n") + table::JsonObject(header, cells)));
        else
            ok = sink.Write(table::CsvLine(cells, request.delimiter));
    }
    if (request.json) ok = ok && sink.Write("\n]\n");
    if (!ok || !spool.Ok() || !sink.Finish()) {
        Err(L"scanleaf-card: writing the table failed" + (request.output.empty() ? L"" : L": " + request.output) + L": " +
            DescribeHresult(HRESULT_FROM_WIN32(GetLastError())) + L"\n");
        return finish(1);
    }
    if (resume) kept.Remove();
    return finish(summary.failed ? 1 : 0);
}

} // namespace card
