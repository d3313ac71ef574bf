// verify: every drawing decoded in full, and what was found; nothing is written to them.
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Resume.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/picture/Drawing.h"
#include "tools/common/Plugin.h"
#include "tools/card/cards/PluginCodes.h"

#include "Version.h"

namespace card {

namespace {

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

int Verify(const VerifyOptions& options, const Setup& setup) {
    // --resume continues a CSV table, which it writes.
    if (!options.resume.empty() && options.format == VerifyFormat::Json)
        return UsageError(L"--resume continues a CSV table, not JSON");
    const VerifyFormat format = options.resume.empty() ? options.format : VerifyFormat::Csv;
    Batch batch(L"verify", options, setup.Extensions());
    size_t& files = batch.Count(L"files");
    size_t& sound = batch.Count(L"sound");
    size_t& damaged = batch.Count(L"damaged", true);
    size_t& other = batch.Count(L"not type 1");
    size_t& foreign = batch.Count(L"not CALS", true);
    batch.Count(L"not found", true, Tally::IfAny) = batch.Missing();
    auto count = [&](const std::wstring& status, bool isForeign) {
        ++(status == L"sound" ? sound : status == L"damaged" ? damaged : isForeign ? foreign : other);
        ++files;
    };
    // --resume: each row is kept in TABLE.rows as it comes, with its file's identity; a stopped
    // run continued takes the rows of the files that are as they were, and TABLE is written
    // whole at the end.
    std::string header = table::CsvLine(kColumns);
    const bool resume = !options.resume.empty();
    ResumableRows kept;
    std::vector<std::string> rows;
    std::wstring stop;
    size_t& reused = batch.Count(L"kept from the stopped run", false, resume ? Tally::Always : Tally::Never);
    size_t& lent = batch.Count(L"taken from the other tables", false, options.resume.size() > 1 ? Tally::Always : Tally::Never);
    const bool sharded = options.shard.Splits();
    if (!kept.Open(options.resume, L"verify\t" SCANLEAF_VERSION_WTEXT,
                   L"kept by another command or version; every file is read again", sharded))
        return batch.End(true);
    // A shard's table says which shard it was, in a last column (not kept in TABLE.rows, so that
    // the rows of every shard make one table).
    const std::wstring shard = scanleaf::core::ShardText(options.shard);
    std::vector<std::wstring> columns = kColumns;
    if (sharded) columns.push_back(L"Shard");
    auto shown = [&](std::string line) {
        if (sharded && line.size() >= 2) line.insert(line.size() - 2, "," + Utf8(shard));
        return line;
    };
    const std::string shownHeader = table::CsvLine(columns);
    if (!resume && format == VerifyFormat::Csv) {
        Out(FromUtf8(shownHeader));
    }
    if (format == VerifyFormat::Json) Out(L"[");
    struct Checked {
        Resumed resumed;
        DrawingCheck check;
    };
    // Files are decoded on the jobs' threads and reported here, in the order they came.
    batch.Each<Checked>(
        [&](unsigned, size_t i) {
            const std::wstring& path = batch.Sources()[i].path;
            Checked c;
            c.resumed = kept.LookUp(path);
            if (!c.resumed.row) c.check = DecodeDrawing(path);
            return c;
        },
        [&](size_t i, Checked& c) {
            const std::wstring& path = batch.Sources()[i].path;
            if (c.resumed.row) {
                table::Table row;
                std::vector<table::Problem> problems;
                if (table::Parse(header + *c.resumed.row, row, problems) && row.rows.size() == 1 &&
                    row.rows[0].cells.size() == kColumns.size()) {
                    rows.push_back(*c.resumed.row);
                    ++(c.resumed.lent ? lent : reused);
                    kept.Taken(c.resumed);
                    count(row.rows[0].cells[1], row.rows[0].cells[1] == L"not CALS");
                    return;
                }
                c.check = DecodeDrawing(path); // a row spoilt by hand: checked again
            }
            std::vector<std::wstring> cells = Cells(path, c.check);
            if (resume) {
                rows.push_back(table::CsvLine(cells));
                kept.Keep(c.resumed, rows.back());
            } else if (format == VerifyFormat::Csv) {
                Out(FromUtf8(shown(table::CsvLine(cells))));
            } else if (format == VerifyFormat::Json) {
                if (sharded) cells.push_back(shard);
                Out((files ? L",\n" : L"\n") + table::JsonObject(columns, cells));
            } else {
                Out(path + L": " + cells[1] +
                    (c.check.Sound() ? L", " + cells[5] + L" lines, " + cells[6] : L": " + c.check.Problem()) +
                    (c.check.Sound() && c.check.trailing ? L", " + cells[7] + L" byte(s) after it" : L"") + L"\n");
            }
            count(cells[1], c.check.foreign);
        },
        [&] { return !kept.Stopped().empty(); });
    stop = kept.Stopped();
    if (resume && stop.empty()) {
        TableSink table(kept.Table());
        bool ok = table.Ok() && table.Write(shownHeader);
        for (const std::string& row : rows) ok = ok && table.Write(shown(row));
        if (ok && table.Finish())
            kept.Remove();
        else
            stop = L"cannot write " + kept.Table() + L": " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()));
    }
    if (!stop.empty()) Err(stop + L"\n");
    if (format == VerifyFormat::Json) Out(L"\n]\n");
    const bool none = batch.NothingFound();
    return batch.End(none || !stop.empty());
}

} // namespace card
