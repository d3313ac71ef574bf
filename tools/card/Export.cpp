// export: every CALS file's data card as one row of a table.
#include "tools/card/Card.h"
#include "tools/card/Commands.h"
#include "tools/card/Files.h"
#include "tools/card/Output.h"
#include "tools/card/Progress.h"
#include "tools/card/Table.h"
#include "tools/common/Plugin.h"

#include <cstdint>
#include <map>
#include <memory>

namespace card {

namespace {

struct ExportRequest {
    bool recursive = false;
    bool json = false;
    bool bom = true;
    std::wstring output; // empty: standard output
    std::vector<std::wstring> paths;
};

bool ParseRequest(const std::vector<std::wstring>& args, ExportRequest& request) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (a == L"--recursive") {
            request.recursive = true;
        } else if (a == L"--no-bom") {
            request.bom = false;
        } else if (a == L"--format" && i + 1 < args.size()) {
            const std::wstring& format = args[++i];
            if (format != L"csv" && format != L"json") return false;
            request.json = format == L"json";
        } else if (a == L"-o" && i + 1 < args.size()) {
            request.output = args[++i];
        } else if (a.size() > 1 && a[0] == L'-') {
            return false;
        } else {
            request.paths.push_back(a);
        }
    }
    return !request.paths.empty();
}

// The cards read so far, one record per file, kept in a temporary file: the table's columns
// (the union of every file's variables) are known only at the end, and the rows are not held.
class CardSpool {
public:
    CardSpool() {
        wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
        if (GetTempPathW(MAX_PATH + 1, folder) && GetTempFileNameW(folder, L"slc", 0, name))
            file_ = _wfopen(name, L"w+bTD"); // removed when closed
    }
    ~CardSpool() {
        if (file_) fclose(file_);
    }
    CardSpool(const CardSpool&) = delete;
    CardSpool& operator=(const CardSpool&) = delete;

    bool Ok() const { return file_ && ok_; }
    void Add(const std::wstring& path, const std::vector<CardEntry>& card) {
        PutCount(card.size());
        PutText(path);
        for (const CardEntry& e : card) {
            PutText(e.name);
            PutText(e.value);
        }
    }
    bool Rewind() { return file_ && fflush(file_) == 0 && fseek(file_, 0, SEEK_SET) == 0; }
    // False at the end.
    bool Next(std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>>& values) {
        uint32_t count = 0;
        if (!GetCount(count) || !GetText(path)) return false;
        values.resize(count);
        for (auto& v : values)
            if (!GetText(v.first) || !GetText(v.second)) return ok_ = false;
        return true;
    }

private:
    void PutCount(size_t n) {
        uint32_t count = static_cast<uint32_t>(n);
        ok_ = ok_ && file_ && fwrite(&count, sizeof count, 1, file_) == 1;
    }
    void PutText(const std::wstring& text) {
        PutCount(text.size());
        ok_ = ok_ && (text.empty() || fwrite(text.data(), sizeof(wchar_t), text.size(), file_) == text.size());
    }
    bool GetCount(uint32_t& n) { return fread(&n, sizeof n, 1, file_) == 1; }
    bool GetText(std::wstring& text) {
        uint32_t n = 0;
        if (!GetCount(n) || n > (1u << 20)) return false;
        text.resize(n);
        return n == 0 || fread(text.data(), sizeof(wchar_t), n, file_) == n;
    }

    FILE* file_ = nullptr;
    bool ok_ = true;
};

// The union of the variables met, in the order first met; read-only when any file has it so.
class Columns {
public:
    void Add(const std::vector<CardEntry>& card) {
        for (const CardEntry& e : card) {
            auto found = index_.find(e.name);
            if (found == index_.end()) {
                index_.emplace(e.name, names_.size());
                names_.push_back(e.name);
                readOnly_.push_back(e.readOnly);
            } else if (e.readOnly) {
                readOnly_[found->second] = true;
            }
        }
    }
    std::vector<std::wstring> Header() const {
        std::vector<std::wstring> header{table::kSourceColumn};
        for (size_t i = 0; i < names_.size(); ++i) header.push_back(names_[i] + (readOnly_[i] ? table::kReadOnlyMark : L""));
        return header;
    }
    std::vector<std::wstring> Cells(const std::wstring& path,
                                    const std::vector<std::pair<std::wstring, std::wstring>>& values) const {
        std::vector<std::wstring> cells(names_.size() + 1);
        cells[0] = path;
        for (const auto& v : values) cells[index_.at(v.first) + 1] = v.second;
        return cells;
    }

private:
    std::vector<std::wstring> names_;
    std::vector<bool> readOnly_;
    std::map<std::wstring, size_t> index_;
};

// Standard output, or a file that appears only when complete.
class TableSink {
public:
    explicit TableSink(const std::wstring& path) {
        if (!path.empty()) file_ = std::make_unique<AtomicFile>(path);
    }
    bool Ok() const { return !file_ || file_->IsOpen(); }
    bool Write(const std::string& bytes) {
        if (file_) return file_->Write(bytes);
        return fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    }
    bool Finish() { return file_ ? file_->Commit() : fflush(stdout) == 0; }

private:
    std::unique_ptr<AtomicFile> file_;
};

} // namespace

int Export(const std::vector<std::wstring>& args, const Options& options) {
    ExportRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    toolsupport::Plugin plugin;
    HRESULT hr = plugin.Load(options.dllPath);
    if (FAILED(hr)) {
        Err(L"scanleaf-card: cannot load the plug-in: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    // The files are visited, not listed, so that memory stays flat however many there are;
    // only a progress line needs their number first.
    size_t total = 0;
    if (StderrIsTerminal())
        VisitCalsFiles(plugin.Format(), request.paths, request.recursive, [&total](const std::wstring&) { ++total; });

    CardSpool spool;
    Columns columns;
    NameCache names;
    Summary summary;
    {
        Progress progress(total);
        size_t done = 0;
        VisitCalsFiles(plugin.Format(), request.paths, request.recursive, [&](const std::wstring& file) {
            progress.Step(done++, file);
            std::wstring path = AbsolutePath(file);
            std::vector<CardEntry> card;
            HRESULT read = ReadCard(plugin.Format(), path, card, &names);
            if (FAILED(read)) {
                progress.Clear();
                Err(path + L": " + DescribeHresult(read) + L"\n");
                ++summary.failed;
                return;
            }
            ++summary.read;
            columns.Add(card);
            spool.Add(path, card);
        });
        progress.Step(done, L"");
    }
    if (summary.read + summary.failed == 0) {
        Err(L"scanleaf-card: no CALS files found\n");
        return 1;
    }
    if (!spool.Ok() || !spool.Rewind()) {
        Err(L"scanleaf-card: cannot keep the cards in a temporary file\n");
        return 1;
    }

    TableSink sink(request.output);
    if (!sink.Ok()) {
        Err(L"scanleaf-card: cannot write " + request.output + L"\n");
        return 1;
    }
    std::vector<std::wstring> header = columns.Header();
    bool ok = true;
    if (request.json) {
        ok = sink.Write("[");
    } else {
        if (request.bom) ok = sink.Write(table::kUtf8Bom);
        ok = ok && sink.Write(table::CsvLine(header));
    }
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (size_t row = 0; ok && spool.Next(path, values); ++row) {
        std::vector<std::wstring> cells = columns.Cells(path, values);
        if (request.json)
            ok = sink.Write(Utf8((row ? L",\n" : L"\n") + table::JsonObject(header, cells)));
        else
            ok = sink.Write(table::CsvLine(cells));
    }
    if (request.json) ok = ok && sink.Write("\n]\n");
    if (!ok || !spool.Ok() || !sink.Finish()) {
        Err(L"scanleaf-card: writing the table failed" + (request.output.empty() ? L"" : L": " + request.output) + L"\n");
        return 1;
    }
    Err(L"export: " + summary.Line() + L"\n");
    return summary.failed ? 1 : 0;
}

} // namespace card
