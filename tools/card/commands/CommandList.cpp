// The commands of scanleaf-card, each with its options, help, what it needs and its function.
#include "tools/card/commands/CommandLine.h"

#include "cardcore/BatchPlan.h"
#include "tools/card/batch/Console.h"
#include "tools/card/cards/CardEdit.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/commands/Options.h"

#include <cstring>

namespace card {

namespace {

const wchar_t kFilesExit[] = L"0 every file done; 1 a file failed or was refused (each is named); 2 a usage error.";

// --set and --date: NAME=VALUE, checked by the parser, then read as the value to write.
std::wstring SetProblem(const std::wstring& text) {
    NewValue value;
    return ReadNameValue(text, value) ? std::wstring() : L"--set takes NAME=VALUE, not \"" + text + L"\"";
}
NewValue SetValue(const std::wstring& text) {
    NewValue value;
    ReadNameValue(text, value);
    return value;
}
std::wstring DateValueProblem(const std::wstring& text) {
    NewValue value;
    if (!ReadNameValue(text, value)) return L"expected NAME=VALUE, got \"" + text + L"\"";
    return DateProblem(value.text, value.date);
}
NewValue DateValue(const std::wstring& text) {
    NewValue value = SetValue(text);
    value.isDate = true;
    DateProblem(value.text, value.date);
    return value;
}

// A scheduler's variable as the process was given it (empty: not set; "?" when too long to be a
// number, so that it is refused).
scanleaf::core::Text SchedulerVariable(const char* name) {
    const std::wstring wide(name, name + std::strlen(name));
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(wide.c_str(), value, 32);
    if (n == 0) return {};
    return n < 32 ? std::wstring(value, n) : std::wstring(L"?");
}

std::wstring ShardProblem(const std::wstring& text) {
    scanleaf::core::Shard shard;
    if (text.compare(0, 4, L"auto") != 0 && !scanleaf::core::ParseShard(text, shard))
        return L"--shard takes K/N, this machine's share K of N (1 <= K <= N <= 100000), or auto[/N], not \"" + text + L"\"";
    const std::string problem = scanleaf::core::ResolveShard(text, SchedulerVariable, shard);
    return problem.empty() ? std::wstring() : L"--shard " + text + L": " + FromUtf8(problem);
}

Option<BatchOptions> ShardOption() {
    OptionEntry entry{L"--shard", OptionKind::Text, L"K/N|auto[/N]",
                      L"only share K of N of the sources, by a hash of each one's path (N machines take all once); auto: "
                      L"the share of this task of a Slurm job array, auto/N: of a Kubernetes indexed Job of N"};
    entry.problem = ShardProblem;
    return {entry, [](BatchOptions& o, const std::wstring& v) { scanleaf::core::ResolveShard(v, SchedulerVariable, o.shard); }};
}

// The options the batch commands share, defined once.
const Option<BatchOptions> kRecursive = Flag(L"--recursive", &BatchOptions::recursive, L"the files of subfolders too");
const Option<BatchOptions> kJobs =
    Number(L"--jobs", 1, 64, &BatchOptions::jobs, L"files worked on at once (else one a processor); the output is the same");
const Option<BatchOptions> kShard = ShardOption();
const Option<BatchOptions> kOverwrite =
    Flag(L"--overwrite", &BatchOptions::overwrite, L"replace files that exist (else they are refused)");
const Option<BatchOptions> kSkipExisting = Flag(L"--skip-existing", &BatchOptions::skipExisting,
                                                L"leave alone an output made from the same sources and options (else made again)");
const Option<BatchOptions> kResume =
    Repeatable(L"--resume", L"TABLE", &BatchOptions::resume,
               L"write the table to TABLE, keeping rows in TABLE.rows that continue a stopped run for files unchanged since; "
               L"given again, the other tables' kept rows are taken too (one table of many shards)");
const ChoiceWords<wchar_t> kDelimiters = {{L",", L','}, {L";", L';'}};
const ChoiceWords<Encoding> kEncodings = {{L"utf8", Encoding::Utf8}, {L"ansi", Encoding::Ansi}};
const ChoiceWords<TableFormat> kTableFormats = {{L"csv", TableFormat::Csv}, {L"json", TableFormat::Json}};
const ChoiceWords<VerifyFormat> kVerifyFormats = {{L"csv", VerifyFormat::Csv}, {L"json", VerifyFormat::Json}};

// How a table of cards is read, by import and convert --table alike.
const Option<TableOptions> kTableDelimiter =
    Choice(L"--delimiter", kDelimiters, &TableOptions::delimiter, L"the table's CSV delimiter (else taken from the header row)");
const Option<TableOptions> kTableEncoding = Choice(L"--encoding", kEncodings, &TableOptions::encoding,
                                                   L"the table's encoding (utf8; ansi: the system's ANSI code page)");
} // namespace

const ChoiceWords<Target> kTargets = {{L"pdf", Target::Pdf}, {L"tiff", Target::Tiff}, {L"cals", Target::Cals}};
const ChoiceWords<scanleaf::core::Pdfa> kPdfaParts = {{L"1b", scanleaf::core::Pdfa::Part1b}, {L"2b", scanleaf::core::Pdfa::Part2b}};
const Option<ConvertOptions> kTo = Required(Choice(L"--to", kTargets, &ConvertOptions::to, L"the format to write"));
const Option<ConvertOptions> kPdfa = OnlyFor(OptionalChoice(L"--pdfa", kPdfaParts, L"2b", &ConvertOptions::pdfa,
                                                            L"pdf: a PDF/A document of that part and level, for archives"),
                                             kTo, L"pdf");
const Option<ConvertOptions> kTitle =
    OnlyFor(Text(L"--title", L"NAME", &ConvertOptions::title, L"the card variable that titles each drawing (else its file name)"),
            kTo, L"pdf|tiff");
const Option<RenderOptions> kSize =
    Number(L"--size", 0, 999999, &RenderOptions::size, L"the longest side in pixels (256; 0: full size, one bit a pixel)");

namespace {

const Option<ConvertOptions> kTable = OnlyFor(Text(L"--table", L"FILE", &ConvertOptions::table,
                                                   L"cals: card values by source, a table with export's columns whose SourceFile names the picture"),
                                              kTo, L"cals");


} // namespace

const std::vector<CommandEntry>& Commands() {
    static const std::vector<CommandEntry> commands = {
        Command<NoOptions>(L"info", L"", 0, 0, L"the format, its extensions and their groups",
         {},
         L"Loads the plug-in as the host does and prints what it says of itself: the product, the\n"
         L"format's description, each extension with its flag word, and the extension groups.",
         L"0 done; 1 the plug-in cannot be loaded; 2 a usage error.",
         L"scanleaf-card info",
         Needs::Plugin, Info),
        Command<ShowOptions>(L"show", L"FILE|FOLDER...", 1, kMany, L"the data card of each CALS file",
         {Flag(L"--json", &ShowOptions::json, L"one JSON array: per file its variables (name, value, found, readOnly) or its error")},
         L"Prints every variable the plug-in serves for each file, with its value; [ro] marks the\n"
         L"read-only. A folder stands for its files with a CALS extension. A file that cannot be\n"
         L"opened, or is not a CALS file, is named on one line with the reason.",
         kFilesExit,
         L"scanleaf-card show Z:\\scans\\drawing.cal",
         Needs::Plugin, Show),
        Command<SetOptions>(L"set", L"FILE NAME=VALUE...", 1, kMany, L"check values, then write them into the header and save",
         {Typed(L"--date", L"NAME=YYYY-MM-DD[THH:MM[:SS]]", DateValueProblem, DateValue, &SetOptions::dates,
                L"a date, written as text in the date style"),
          FilledBy(Number(L"--style", LONG_MIN, LONG_MAX, &SetOptions::style,
                          L"the date style: 0-7, 10-12, 100-107, 109-113, 120, 121 (0 when not given)"),
                   [](SetOptions& o, const std::wstring& v) {
                       o.style = wcstol(v.c_str(), nullptr, 10);
                       o.styleGiven = true;
                   })},
         L"Checks the whole request before anything is written: an unknown or read-only name, a name\n"
         L"given twice, a character the code page cannot store, a date style that does not exist, and,\n"
         L"by a trial save on a scratch copy of the header, a value or date longer than its slot (with\n"
         L"what would be stored, and for a date the styles that fit). Any problem: each is listed and\n"
         L"the file is left as it is. Otherwise every value is written and the header saved.",
         L"0 saved; 1 the request was refused, or the file could not be opened or saved (nothing\n"
         L"written); 2 a usage error.",
         L"scanleaf-card set drawing.cal drawingno=A3-000471-00 revision=C --date scandate=2024-03-05 --style 120",
         Needs::Plugin, Set),
        Command<NoOptions>(L"check", L"[SETTINGS-FILE]", 0, 1, L"report what the settings file does not say as meant",
         {},
         L"Reads a settings file (the shared folder's when none is named) as the plug-in will and\n"
         L"reports each finding with its line: errors for a section that makes an open fail and for a\n"
         L"section header without its \"]\"; warnings for an unknown key, a line that is neither a\n"
         L"section, a key nor a comment, a key before the first section or given twice, surplus names\n"
         L"or positions, and a Readonly value other than 0 or 1.",
         L"0 no error (warnings may be listed); 1 an error, or no settings file; 2 a usage error.",
         L"scanleaf-card check Scanleaf.ini",
         Needs::Nothing, Check),
        Command<NoOptions>(L"register", L"", 0, 0, L"register the DLL with COM",
         {},
         L"Registers Scanleaf.dll beside the tool (or the one --dll names) with COM, as regsvr32 does.",
         L"0 registered; 1 the registration failed; 2 a usage error.",
         L"scanleaf-card register",
         Needs::Com, Register),
        Command<NoOptions>(L"unregister", L"", 0, 0, L"unregister the DLL",
         {},
         L"Removes the DLL's registration. When the plug-in is not registered, says so.",
         L"0 unregistered, or nothing was registered; 1 the unregistration failed; 2 a usage error.",
         L"scanleaf-card unregister",
         Needs::Com, Unregister),
        Command<SettingsOptions>(L"settings", L"", 0, 0, L"show or set the host's shared folder",
         {FilledBy(Text(L"--shared-folder", L"DIR", &SettingsOptions::sharedFolder,
                        L"set the shared folder first, as the host's installer would"),
                   [](SettingsOptions& o, const std::wstring& v) {
                       o.sharedFolder = v;
                       o.setSharedFolder = true;
                   })},
         L"Shows the host's shared folder and the settings file under it, FileFormats\\Scanleaf.ini,\n"
         L"and whether that file exists.",
         L"0 done; 1 the folder could not be set; 2 a usage error.",
         L"scanleaf-card settings --shared-folder Z:\\srv\\kestravo\\shared",
         Needs::Nothing, Settings),
        Command<ExportOptions>(L"export", L"FILE|FOLDER...", 1, kMany, L"every file's data card as one row of a table",
         {kRecursive,
          kJobs,
          kShard,
          kResume,
          Choice(L"--format", kTableFormats, &ExportOptions::format, L"the table's format (csv)"),
          Choice(L"--delimiter", kDelimiters, &ExportOptions::delimiter, L"the CSV delimiter (,)"),
          Flag(L"--no-bom", &ExportOptions::noBom, L"no UTF-8 byte-order mark before a CSV table"),
          Text(L"-o", L"FILE", &ExportOptions::output, L"write the table to FILE (whole or not at all) instead of standard output")},
         L"One row per file: SourceFile, every variable met (read-only columns marked \" [ro]\"), and\n"
         L"CardState, the card's state for import to tell a file changed since. Files that fail are\n"
         L"named and left out.",
         kFilesExit,
         L"scanleaf-card export --recursive -o cards.csv Z:\\scans",
         Needs::Plugin, Export),
        Command<ImportOptions>(L"import", L"TABLE", 1, 1, L"check a whole table, then write its changes",
         {Flag(L"--dry-run", &ImportOptions::dryRun, L"check and list the changes; write nothing"),
          Flag(L"--empty-clears", &ImportOptions::emptyClears, L"an empty cell clears its value (else it leaves it as it is)"),
          Flag(L"--skip-changed", &ImportOptions::skipChanged,
               L"leave out the rows of files changed since the export, and import the rest"),
          kTableDelimiter,
          kTableEncoding,
          Text(L"--journal", L"FILE", &ImportOptions::journal, L"the undo journal (else the table's name with .journal)")},
         L"Checks every row and cell first; any problem: each is listed as \"row N, column C: ...\"\n"
         L"and no file is changed. Then saves file by file behind a journal that undo plays back.",
         L"0 imported (or nothing to do); 1 the table was refused or the import stopped (the saved\n"
         L"files are named, and undo puts them back); 2 a usage error.",
         L"scanleaf-card import --dry-run cards.csv",
         Needs::Plugin, Import),
        Command<NoOptions>(L"undo", L"JOURNAL", 1, 1, L"put back the headers that an import changed",
         {},
         L"Gives every file that the import saved its earlier header and modification time back,\n"
         L"unless it has changed since. When every file holds its earlier header, marks the journal\n"
         L"undone; a second undo then has nothing to do.",
         L"0 every file restored, or the journal was already undone; 1 a file changed since the\n"
         L"import or could not be written (the journal stays as it is); 2 a usage error.",
         L"scanleaf-card undo cards.journal",
         Needs::Nothing, Undo),
        Command<VerifyOptions>(L"verify", L"FILE|FOLDER...", 1, kMany, L"decode every drawing in full and report the damaged",
         {kRecursive,
          kJobs,
          kShard,
          kResume,
          Choice(L"--format", kVerifyFormats, &VerifyOptions::format, L"one table row per file instead of one line of text")},
         L"Decodes each type 1 drawing in full: lines against rpelcnt, the end-of-block code, bytes\n"
         L"after it, the first problem. Status: sound, damaged, not type 1, or not CALS (another\n"
         L"format). Writes nothing to the drawings.",
         L"0 no drawing damaged and no file of another format; 1 otherwise; 2 a usage error.",
         L"scanleaf-card verify --recursive --format csv Z:\\scans",
         Needs::Plugin, Verify),
        Command<RenderOptions>(L"render", L"FILE|FOLDER...", 1, kMany, L"PNG pictures of drawings",
         {kRecursive,
          kJobs,
          kShard,
          kSkipExisting,
          kOverwrite,
          kSize,
          Text(L"-o", L"FILE|DIR", &RenderOptions::output,
               L"the picture (one drawing, a name ending in .png) or the folder (else the current one)")},
         L"Draws each drawing upright as rorient says, area-averaged to its size. A damaged drawing\n"
         L"is drawn as far as it decodes and named. A picture that exists is refused unless\n"
         L"--overwrite or --skip-existing.",
         kFilesExit,
         L"scanleaf-card render --size 512 -o thumbs Z:\\scans",
         Needs::Plugin, Render),
        Command<BatchOptions>(L"sheet", L"FILE|FOLDER...", 1, kMany, L"one page: each drawing's thumbnail, card and status",
         {kRecursive,
          kJobs,
          kShard,
          Required(Text(L"-o", L"PAGE.html", &BatchOptions::output, L"the page to write"))},
         L"One self-contained HTML page for review, sorted by path: each drawing's thumbnail beside\n"
         L"its card and verify status. The heading counts the damaged; files of another format are\n"
         L"named and left out.",
         L"0 every drawing sound; 1 a drawing damaged, a file of another format, or the page not\n"
         L"written; 2 a usage error.",
         L"scanleaf-card sheet -o review.html Z:\\scans\\batch-07",
         Needs::Plugin, Sheet),
        Command<ConvertOptions>(L"convert", L"FILE|FOLDER...", 1, kMany,
         L"drawings into PDF or TIFF, their Group 4 streams unchanged; pictures into CALS files",
         {kRecursive,
          kJobs,
          kShard,
          kSkipExisting,
          kTo,
          kPdfa,
          Text(L"-o", L"FILE|DIR", &ConvertOptions::output, L"one document of every drawing (a name ending in .pdf, .tif or .tiff), one CALS file (a name ending as CALS files do), or the folder for one file a source (else the current one)"),
          kTitle,
          kOverwrite,
          OnlyFor(Flag(L"--no-check", &ConvertOptions::noCheck,
                       L"skip decoding each drawing in full first (for drawings verify has passed)"),
                  kTo, L"pdf|tiff"),
          OnlyFor(Typed(L"--set", L"NAME=VALUE", SetProblem, SetValue, &ConvertOptions::set,
                        L"cals: a card value for every file written (wins over --table)"),
                  kTo, L"cals"),
          kTable,
          OnlyFor(OnlyFor(Option<ConvertOptions>(kTableEncoding), kTo, L"cals"), kTable),
          OnlyFor(OnlyFor(Option<ConvertOptions>(kTableDelimiter), kTo, L"cals"), kTable),
          OnlyFor(Number(L"--threshold", 1, 99, &ConvertOptions::threshold,
                         L"cals: grey and colour pels below N per cent of full lightness become black"),
                  kTo, L"cals"),
          OnlyFor(Number(L"--dpi", 1, 100000, &ConvertOptions::dpi,
                         L"cals: the pels per inch, for a picture that gives none, 72 or 96, or not the same both ways"),
                  kTo, L"cals")},
         L"--to pdf|tiff writes each drawing's Group 4 stream unchanged into a PDF page at its true size\n"
         L"(rdensty; 200 dpi when it gives none), shown upright as rorient says, or into a TIFF page of one\n"
         L"strip. Each page's XMP holds the drawing's whole header (its bytes and records), and its card\n"
         L"where the host's shared folder is set; a document of several has a bookmark (PDF) per drawing,\n"
         L"in path order. Each drawing is decoded in full first: a damaged one is named and left out.\n"
         L"Documents appear whole or not at all.\n"
         L"--to cals makes a CALS type 1 file of each page of each picture (TIFF, PNG, BMP, GIF, JPEG,\n"
         L"PDF; a folder gives its files of those kinds): NAME.cal, or NAME-p001.cal and on for several\n"
         L"pages. A page that Scanleaf handed on comes back as the file it was, byte for byte. A Group 4\n"
         L"TIFF strip or PDF stream that is a CALS stream is kept byte for byte; any other picture is\n"
         L"encoded again, grey and colour ones only with --threshold. rpelcnt, rdensty and rorient come\n"
         L"from the picture; the card from --set and --table, written through the plug-in. A PDF page of\n"
         L"no picture, several, or no 1-bit one is named and left out. A picture that lies about itself,\n"
         L"or whose card values do not fit, is refused and nothing of it is written.",
         L"0 every drawing or picture written; 1 one left out, refused or not written; 2 a usage error.",
         L"scanleaf-card convert --to cals --set srcdocid=PLAN-42 -o Z:\\vault\\incoming Z:\\scans\\bureau",
         Needs::Plugin, Convert),
        Command<RepairOptions>(L"repair", L"FILE|FOLDER...", 1, kMany, L"mend the line count that a drawing's own stream proves",
         {kRecursive,
          kShard,
          Flag(L"--dry-run", &RepairOptions::dryRun, L"say what would be mended; write nothing"),
          Text(L"--journal", L"FILE", &RepairOptions::journal, L"the undo journal (else repair.journal in the current folder)")},
         L"Decodes each type 1 drawing to its end. Where the stream ends with its end-of-block code\n"
         L"after a number of whole lines that differs from rpelcnt's, the line count is set to the\n"
         L"lines decoded, in place (no other byte of the file changes), through a journal that undo\n"
         L"reads. Damage the stream does not prove (a stream cut short, a code that fits no width) is\n"
         L"named with its reason and left as it is.",
         L"0 every drawing sound or mended; 1 one not mended, or a file not saved; 2 a usage error.",
         L"scanleaf-card repair --journal Z:\\scans\\repair-07.journal Z:\\scans\\batch-07",
         Needs::Plugin, Repair),
        Command<NoOptions>(L"help", L"[COMMAND]", 0, 1, L"this list, or one command's options and exit status",
         {},
         L"Prints the help of one command, as COMMAND --help does, or the list of commands.",
         L"0 done; 2 no such command.",
         L"scanleaf-card help import",
         Needs::Nothing, Help),
    };
    return commands;
}

} // namespace card
