// verify: every drawing decoded in full, and what was found; nothing is written to them.
#include "tools/card/Commands.h"
#include "tools/card/Drawing.h"
#include "tools/card/Files.h"
#include "tools/card/Jobs.h"
#include "tools/card/Output.h"
#include "tools/card/Progress.h"
#include "tools/card/Resume.h"
#include "tools/card/batch/Walk.h"
#include "tools/common/Plugin.h"

namespace card {

namespace {

struct VerifyRequest {
    bool recursive = false;
    unsigned jobs = 1;
    enum { Text, Csv, Json } format = Text;
    std::wstring resume; // the CSV table to write, continued where a stopped run left it
    scanleaf::core::Shard shard;
    std::vector<std::wstring> paths;
};

bool ParseRequest(const std::vector<std::wstring>& args, VerifyRequest& request) {
    Arguments a;
    std::wstring format = L"text";
    if (!ReadArguments(L"verify", args, a) ||
        (a.Has(L"--format") && !ReadChoice(a, L"--format", {L"csv", L"json"}, L"csv", format)) ||
        !ReadJobs(a, request.jobs) || !ReadShard(a, request.shard))
        return false;
    request.recursive = a.Has(L"--recursive");
    request.format = format == L"csv" ? VerifyRequest::Csv : format == L"json" ? VerifyRequest::Json : VerifyRequest::Text;
    request.paths = a.operands;
    request.resume = a.Value(L"--resume");
    if (!request.resume.empty()) {
        if (request.format == VerifyRequest::Json) return UsageError(L"--resume continues a CSV table, not JSON"), false;
        request.format = VerifyRequest::Csv;
    }
    return true;
}

// "sound", "damaged", "not CALS" (another format under a CALS name) or "not type 1" (a picture
// this tool cannot check, not a damaged one).
std::wstring Status(const DrawingCheck& c) {
    if (c.foreign) return L"not CALS";
    if (c.unreadable.empty() && !c.info.type1) return L"not type 1";
    return c.Sound() ? L"sound" : L"damaged";
}

std::wstring Ending(const DrawingCheck& c) {
    if (!c.Decodable()) return std::wstring();
    if (c.stop == scanleaf::core::G4Stop::EndOfBlock) return L"end of block";
    if (c.stop == scanleaf::core::G4Stop::EndOfData) return L"no end of block";
    return c.moreRows ? L"more lines" : L"error";
}

std::vector<std::wstring> Cells(const std::wstring& path, const DrawingCheck& c) {
    auto number = [](std::uint64_t n, bool known) { return known ? std::to_wstring(n) : std::wstring(); };
    return {path,
            Status(c),
            c.unreadable.empty() ? (c.info.type1 ? L"yes" : L"no") : L"",
            number(c.info.width, c.info.sizeKnown),
            number(c.info.height, c.info.sizeKnown),
            number(c.rows, c.Decodable()),
            Ending(c),
            number(c.trailing, c.stop == scanleaf::core::G4Stop::EndOfBlock),
            c.Problem()};
}

const std::vector<std::wstring> kColumns = {L"SourceFile", L"Status", L"Type1", L"Width", L"Height", L"Lines",
                                            L"Ending", L"TrailingBytes", L"Problem"};

} // namespace

int Verify(const std::vector<std::wstring>& args, const Options& options) {
    VerifyRequest request;
    if (!ParseRequest(args, request)) return kUsageError;
    toolsupport::Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    const Walked walked = WalkAndReport({request.paths, CalsExtensions(plugin.Format()), request.recursive, request.shard});
    const size_t missing = walked.missing.size();
    size_t files = 0, sound = 0, damaged = 0, foreign = 0, other = 0;
    auto count = [&](const std::wstring& status, bool isForeign) {
        ++(status == L"sound" ? sound : status == L"damaged" ? damaged : isForeign ? foreign : other);
        ++files;
    };
    // --resume: the rows go to the table, after those a stopped run left, which are the first
    // files of the same walk and are not decoded again.
    std::string header = table::CsvLine(kColumns);
    header.resize(header.size() - 2);
    LineLog log;
    std::wstring mismatch;
    if (!request.resume.empty()) {
        const HRESULT hr = log.Open(request.resume);
        std::string first;
        if (FAILED(hr) || (!log.Empty() && (!log.NextKept(first) || first != header)) || (log.Empty() && !log.Append(header))) {
            Err(request.resume + L": " + (FAILED(hr) ? DescribeHresult(hr) : L"not a table that verify --format csv wrote") + L"\n");
            return 1;
        }
    } else if (request.format == VerifyRequest::Csv) {
        Out(FromUtf8(table::CsvLine(kColumns)));
    }
    if (request.format == VerifyRequest::Json) Out(L"[");
    // Files are decoded on the jobs' threads and reported here, in the order they came.
    OrderedPool<std::wstring, DrawingCheck> pool(
        request.jobs, [](unsigned, const std::wstring& path) { return DecodeDrawing(path); },
        [&](const std::wstring& path, DrawingCheck& check) {
            const std::vector<std::wstring> cells = Cells(path, check);
            if (request.format == VerifyRequest::Csv && !request.resume.empty()) {
                std::string line = table::CsvLine(cells);
                line.resize(line.size() - 2);
                if (!log.Append(line)) mismatch = request.resume + L": cannot be written";
            } else if (request.format == VerifyRequest::Csv) {
                Out(FromUtf8(table::CsvLine(cells)));
            } else if (request.format == VerifyRequest::Json) {
                Out((files ? L",\n" : L"\n") + table::JsonObject(kColumns, cells));
            } else {
                Out(path + L": " + cells[1] +
                    (check.Sound() ? L", " + cells[5] + L" lines, " + cells[6] : L": " + check.Problem()) + L"\n");
            }
            count(cells[1], check.foreign);
        });
    std::string kept;
    for (const Source& source : walked.sources) {
        const std::wstring& path = source.path;
        if (!mismatch.empty()) break;
        if (!request.resume.empty() && log.NextKept(kept)) {
            table::Table row;
            std::vector<table::Problem> problems;
            if (!table::Parse(header + "\r\n" + kept, row, problems) || row.rows.size() != 1 || row.rows[0].cells[0] != path) {
                mismatch = request.resume + L": row " + std::to_wstring(files + 2) + L" is not " + path +
                           L": the files are not those of the stopped run; start the table again";
                break;
            }
            count(row.rows[0].cells[1], row.rows[0].cells[1] == L"not CALS");
            continue;
        }
        pool.Add(path);
    }
    pool.Finish();
    if (!mismatch.empty()) Err(mismatch + L"\n");
    if (request.format == VerifyRequest::Json) Out(L"\n]\n");
    if (files == 0 && missing == 0) Err(L"scanleaf-card: no CALS files found\n");
    Err(L"verify: files " + std::to_wstring(files) + L", sound " + std::to_wstring(sound) + L", damaged " +
        std::to_wstring(damaged) + L", not type 1 " + std::to_wstring(other) + L", not CALS " + std::to_wstring(foreign) +
        (missing ? L", not found " + std::to_wstring(missing) : std::wstring()) + L"\n");
    return damaged || foreign || missing || files == 0 || !mismatch.empty() ? 1 : 0;
}

} // namespace card
