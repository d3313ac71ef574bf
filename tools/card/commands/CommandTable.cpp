#include "tools/card/commands/CommandTable.h"

#include "core/BatchPlan.h"
#include "tools/card/commands/Commands.h"
#include "tools/common/Plugin.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>

namespace card {

OptionEntry Flag(const wchar_t* name, const wchar_t* help) { return {name, OptionKind::Flag, nullptr, help}; }
OptionEntry Text(const wchar_t* name, const wchar_t* value, const wchar_t* help) {
    return {name, OptionKind::Text, value, help};
}
OptionEntry Repeatable(const wchar_t* name, const wchar_t* value, const wchar_t* help) {
    OptionEntry option{name, OptionKind::Text, value, help};
    option.repeatable = true;
    return option;
}
OptionEntry Number(const wchar_t* name, long low, long high, const wchar_t* help) {
    return {name, OptionKind::Number, L"N", help, low, high};
}
OptionEntry Choice(const wchar_t* name, const wchar_t* choices, const wchar_t* help) {
    return {name, OptionKind::Choice, choices, help};
}
OptionEntry Checked(const wchar_t* name, const wchar_t* value, bool (*check)(const std::wstring&),
                    const wchar_t* expects, const wchar_t* help) {
    OptionEntry option{name, OptionKind::Text, value, help};
    option.check = check;
    option.expects = expects;
    return option;
}

IVorFileFormat* Setup::Format() const { return plugin ? plugin->Format() : nullptr; }

namespace {

const wchar_t kFilesExit[] = L"0 every file done; 1 a file failed or was refused (each is named); 2 a usage error.";

bool IsShard(const std::wstring& text) {
    scanleaf::core::Shard shard;
    return scanleaf::core::ParseShard(text, shard);
}

// The options the batch commands share, defined once.
const OptionEntry kRecursive = Flag(L"--recursive", L"the files of subfolders too");
const OptionEntry kJobs = Number(L"--jobs", 1, 64, L"files worked on at once (else one a processor); the output is the same");
const OptionEntry kShard = Checked(L"--shard", L"K/N", IsShard, L"K/N, this machine's share K of N (1 <= K <= N <= 100000)",
                                   L"only share K of N of the sources, by a hash of each one's path (N machines take all once)");
const OptionEntry kSkipExisting =
    Flag(L"--skip-existing", L"leave alone an output made from the same sources and options (else made again)");
const OptionEntry kResume =
    Text(L"--resume", L"TABLE", L"write the table to TABLE, keeping rows in TABLE.rows that continue a stopped run for files unchanged since");

} // namespace

const std::vector<CommandEntry>& Commands() {
    static const std::vector<CommandEntry> commands = {
        {L"info", L"", 0, 0, L"the format, its extensions and their groups",
         {},
         L"Loads the plug-in as the host does and prints what it says of itself: the product, the\n"
         L"format's description, each extension with its flag word, and the extension groups.",
         L"0 done; 1 the plug-in cannot be loaded; 2 a usage error.",
         L"scanleaf-card info",
         Needs::Plugin, Info},
        {L"show", L"FILE|FOLDER...", 1, kMany, L"the data card of each CALS file",
         {Flag(L"--json", L"one JSON array: per file its variables (name, value, found, readOnly) or its error")},
         L"Prints every variable the plug-in serves for each file, with its value; [ro] marks the\n"
         L"read-only. A folder stands for its files with a CALS extension. A file that cannot be\n"
         L"opened, or is not a CALS file, is named on one line with the reason.",
         kFilesExit,
         L"scanleaf-card show Z:\\scans\\drawing.cal",
         Needs::Plugin, Show},
        {L"set", L"FILE NAME=VALUE...", 1, kMany, L"check values, then write them into the header and save",
         {Repeatable(L"--date", L"NAME=YYYY-MM-DD[THH:MM[:SS]]", L"a date, written as text in the date style"),
          Number(L"--style", LONG_MIN, LONG_MAX, L"the date style: 0-7, 10-12, 100-107, 109-113, 120, 121 (0 when not given)")},
         L"Checks the whole request before anything is written: an unknown or read-only name, a name\n"
         L"given twice, a character the code page cannot store, a date style that does not exist, and,\n"
         L"by a trial save on a scratch copy of the header, a value or date longer than its slot (with\n"
         L"what would be stored, and for a date the styles that fit). Any problem: each is listed and\n"
         L"the file is left as it is. Otherwise every value is written and the header saved.",
         L"0 saved; 1 the request was refused, or the file could not be opened or saved (nothing\n"
         L"written); 2 a usage error.",
         L"scanleaf-card set drawing.cal drawingno=A3-000471-00 revision=C --date scandate=2024-03-05 --style 120",
         Needs::Plugin, Set},
        {L"check", L"[SETTINGS-FILE]", 0, 1, L"report what the settings file does not say as meant",
         {},
         L"Reads a settings file (the shared folder's when none is named) as the plug-in will and\n"
         L"reports each finding with its line: errors for a section that makes an open fail and for a\n"
         L"section header without its \"]\"; warnings for an unknown key, a line that is neither a\n"
         L"section, a key nor a comment, a key before the first section or given twice, surplus names\n"
         L"or positions, and a Readonly value other than 0 or 1.",
         L"0 no error (warnings may be listed); 1 an error, or no settings file; 2 a usage error.",
         L"scanleaf-card check Scanleaf.ini",
         Needs::Nothing, Check},
        {L"register", L"", 0, 0, L"register the DLL with COM",
         {},
         L"Registers Scanleaf.dll beside the tool (or the one --dll names) with COM, as regsvr32 does.",
         L"0 registered; 1 the registration failed; 2 a usage error.",
         L"scanleaf-card register",
         Needs::Com, Register},
        {L"unregister", L"", 0, 0, L"unregister the DLL",
         {},
         L"Removes the DLL's registration. When the plug-in is not registered, says so.",
         L"0 unregistered, or nothing was registered; 1 the unregistration failed; 2 a usage error.",
         L"scanleaf-card unregister",
         Needs::Com, Unregister},
        {L"settings", L"", 0, 0, L"show or set the host's shared folder",
         {Text(L"--shared-folder", L"DIR", L"set the shared folder first, as the host's installer would")},
         L"Shows the host's shared folder and the settings file under it, FileFormats\\Scanleaf.ini,\n"
         L"and whether that file exists.",
         L"0 done; 1 the folder could not be set; 2 a usage error.",
         L"scanleaf-card settings --shared-folder Z:\\srv\\kestravo\\shared",
         Needs::Nothing, Settings},
        {L"export", L"FILE|FOLDER...", 1, kMany, L"every file's data card as one row of a table",
         {kRecursive,
          kJobs,
          kShard,
          kResume,
          Choice(L"--format", L"csv|json", L"the table's format (csv)"),
          Choice(L"--delimiter", L",|;", L"the CSV delimiter (,)"),
          Flag(L"--no-bom", L"no UTF-8 byte-order mark before a CSV table"),
          Text(L"-o", L"FILE", L"write the table to FILE (whole or not at all) instead of standard output")},
         L"One row per file: SourceFile, every variable met (read-only columns marked \" [ro]\"), and\n"
         L"CardState, the card's state for import to tell a file changed since. Files that fail are\n"
         L"named and left out.",
         kFilesExit,
         L"scanleaf-card export --recursive -o cards.csv Z:\\scans",
         Needs::Plugin, Export},
        {L"import", L"TABLE", 1, 1, L"check a whole table, then write its changes",
         {Flag(L"--dry-run", L"check and list the changes; write nothing"),
          Flag(L"--empty-clears", L"an empty cell clears its value (else it leaves it as it is)"),
          Flag(L"--skip-changed", L"leave out the rows of files changed since the export, and import the rest"),
          Choice(L"--delimiter", L",|;", L"the CSV delimiter (else taken from the header row)"),
          Choice(L"--encoding", L"utf8|ansi", L"the table's encoding (utf8; ansi: the system's ANSI code page)"),
          Text(L"--journal", L"FILE", L"the undo journal (else the table's name with .journal)")},
         L"Checks every row and cell first; any problem: each is listed as \"row N, column C: ...\"\n"
         L"and no file is changed. Then saves file by file behind a journal that undo plays back.",
         L"0 imported (or nothing to do); 1 the table was refused or the import stopped (the saved\n"
         L"files are named, and undo puts them back); 2 a usage error.",
         L"scanleaf-card import --dry-run cards.csv",
         Needs::Plugin, Import},
        {L"undo", L"JOURNAL", 1, 1, L"put back the headers that an import changed",
         {},
         L"Gives every file that the import saved its earlier header and modification time back,\n"
         L"unless it has changed since. When every file holds its earlier header, marks the journal\n"
         L"undone; a second undo then has nothing to do.",
         L"0 every file restored, or the journal was already undone; 1 a file changed since the\n"
         L"import or could not be written (the journal stays as it is); 2 a usage error.",
         L"scanleaf-card undo cards.journal",
         Needs::Nothing, Undo},
        {L"verify", L"FILE|FOLDER...", 1, kMany, L"decode every drawing in full and report the damaged",
         {kRecursive,
          kJobs,
          kShard,
          kResume,
          Choice(L"--format", L"csv|json", L"one table row per file instead of one line of text")},
         L"Decodes each type 1 drawing in full: lines against rpelcnt, the end-of-block code, bytes\n"
         L"after it, the first problem. Status: sound, damaged, not type 1, or not CALS (another\n"
         L"format). Writes nothing to the drawings.",
         L"0 no drawing damaged and no file of another format; 1 otherwise; 2 a usage error.",
         L"scanleaf-card verify --recursive --format csv Z:\\scans",
         Needs::Plugin, Verify},
        {L"render", L"FILE|FOLDER...", 1, kMany, L"PNG pictures of drawings",
         {kRecursive,
          kJobs,
          kShard,
          kSkipExisting,
          Number(L"--size", 0, 999999, L"the longest side in pixels (256; 0: full size, one bit a pixel)"),
          Text(L"-o", L"FILE|DIR", L"the picture (one drawing, a name ending in .png) or the folder (else the current one)")},
         L"Draws each drawing upright as rorient says, area-averaged to its size. A damaged drawing\n"
         L"is drawn as far as it decodes and named.",
         kFilesExit,
         L"scanleaf-card render --size 512 -o thumbs Z:\\scans",
         Needs::Plugin, Render},
        {L"sheet", L"FILE|FOLDER...", 1, kMany, L"one page: each drawing's thumbnail, card and status",
         {kRecursive,
          kJobs,
          kShard,
          Text(L"-o", L"PAGE.html", L"the page to write (required)")},
         L"One self-contained HTML page for review, sorted by path: each drawing's thumbnail beside\n"
         L"its card and verify status. The heading counts the damaged; files of another format are\n"
         L"named and left out.",
         L"0 every drawing sound; 1 a drawing damaged, a file of another format, or the page not\n"
         L"written; 2 a usage error.",
         L"scanleaf-card sheet -o review.html Z:\\scans\\batch-07",
         Needs::Plugin, Sheet},
        {L"convert", L"FILE|FOLDER...", 1, kMany,
         L"drawings into PDF or TIFF, their Group 4 streams unchanged; pictures into CALS files",
         {kRecursive,
          kJobs,
          kShard,
          kSkipExisting,
          Choice(L"--to", L"pdf|tiff|cals", L"the format to write (required)"),
          Text(L"-o", L"FILE|DIR", L"one document of every drawing (a name ending in .pdf, .tif or .tiff), one CALS file (a name ending as CALS files do), or the folder for one file a source (else the current one)"),
          Text(L"--title", L"NAME", L"the card variable that titles each drawing (else its file name)"),
          Flag(L"--overwrite", L"replace files that exist (else they are refused)"),
          Flag(L"--no-check", L"skip decoding each drawing in full first (for drawings verify has passed)"),
          Repeatable(L"--set", L"NAME=VALUE", L"cals: a card value for every file written (wins over --table)"),
          Text(L"--table", L"FILE", L"cals: card values by source, a table with export's columns whose SourceFile names the picture"),
          Number(L"--threshold", 1, 99, L"cals: grey and colour pels below N per cent of full lightness become black"),
          Number(L"--dpi", 1, 100000, L"cals: the pels per inch, for a picture that gives none or gives a wrong one")},
         L"--to pdf|tiff writes each drawing's Group 4 stream unchanged into a PDF page at its true size\n"
         L"(rdensty; 200 dpi when it gives none), shown upright as rorient says, or into a TIFF page of one\n"
         L"strip. A document of one drawing holds its whole card as XMP; a document of several has a\n"
         L"bookmark (PDF) per drawing, in path order. Each drawing is decoded in full first: a damaged one\n"
         L"is named and left out. Documents appear whole or not at all.\n"
         L"--to cals makes a CALS type 1 file of each page of each picture (TIFF, PNG, BMP, GIF, JPEG; a\n"
         L"folder gives its files of those kinds): NAME.cal, or NAME-p001.cal and on for several pages. A\n"
         L"bilevel TIFF page of one Group 4 strip keeps its stream byte for byte; any other picture is\n"
         L"encoded again, grey and colour ones only with --threshold. rpelcnt, rdensty and rorient come\n"
         L"from the picture; the card from --set and --table, written through the plug-in. A picture that\n"
         L"lies about itself, or whose card values do not fit, is refused and nothing of it is written.",
         L"0 every drawing or picture written; 1 one left out, refused or not written; 2 a usage error.",
         L"scanleaf-card convert --to cals --set srcdocid=PLAN-42 -o Z:\\vault\\incoming Z:\\scans\\bureau",
         Needs::Plugin, Convert},
        {L"repair", L"FILE|FOLDER...", 1, kMany, L"mend the line count that a drawing's own stream proves",
         {kRecursive,
          kShard,
          Flag(L"--dry-run", L"say what would be mended; write nothing"),
          Text(L"--journal", L"FILE", L"the undo journal (else repair.journal in the current folder)")},
         L"Decodes each type 1 drawing to its end. Where the stream ends with its end-of-block code\n"
         L"after a number of whole lines that differs from rpelcnt's, the line count is set to the\n"
         L"lines decoded, in place (no other byte of the file changes), through a journal that undo\n"
         L"reads. Damage the stream does not prove (a stream cut short, a code that fits no width) is\n"
         L"named with its reason and left as it is.",
         L"0 every drawing sound or mended; 1 one not mended, or a file not saved; 2 a usage error.",
         L"scanleaf-card repair --journal Z:\\scans\\repair-07.journal Z:\\scans\\batch-07",
         Needs::Plugin, Repair},
        {L"help", L"[COMMAND]", 0, 1, L"this list, or one command's options and exit status",
         {},
         L"Prints the help of one command, as COMMAND --help does, or the list of commands.",
         L"0 done; 2 no such command.",
         L"scanleaf-card help import",
         Needs::Nothing, Help},
    };
    return commands;
}

const CommandEntry* FindCommand(const std::wstring& name) {
    for (const CommandEntry& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// "--format csv|json"
std::wstring OptionText(const OptionEntry& option) {
    return std::wstring(option.name) + (option.value ? L" " + std::wstring(option.value) : std::wstring());
}

std::wstring OptionHelp(const OptionEntry& option) {
    std::wstring text = option.help;
    if (option.kind == OptionKind::Number && option.low != LONG_MIN)
        text += L" [" + std::to_wstring(option.low) + L"-" + std::to_wstring(option.high) + L"]";
    if (option.repeatable) text += L" (repeatable)";
    return text;
}

std::wstring Synopsis(const CommandEntry& command) {
    std::wstring text = command.name;
    for (const OptionEntry& o : command.options) text += L" [" + OptionText(o) + L"]" + (o.repeatable ? L"..." : L"");
    if (*command.operands) text += L" " + std::wstring(command.operands);
    return text;
}

std::wstring CommandHelp(const CommandEntry& command) {
    std::wstring text = L"usage: scanleaf-card " + Synopsis(command) + L"\n\n" + command.description + L"\n";
    if (!command.options.empty()) {
        text += L"\noptions:\n";
        for (const OptionEntry& o : command.options) {
            std::wstring left = L"  " + OptionText(o);
            text += left + (left.size() < 26 ? std::wstring(26 - left.size(), L' ') : L"\n" + std::wstring(26, L' ')) +
                    OptionHelp(o) + L"\n";
        }
    }
    return text + L"\nexit status: " + command.exitStatus + L"\n\nexample:\n  " + command.example + L"\n";
}

std::wstring ProgramHelp() {
    std::wstring text = L"usage: scanleaf-card [--dll PATH] COMMAND [OPTIONS] ...\n\ncommands:\n";
    for (const CommandEntry& c : Commands()) {
        std::wstring left = L"  " + std::wstring(c.name);
        text += left + std::wstring(14 - left.size(), L' ') + c.summary + L"\n";
    }
    return text + L"\n  --dll PATH    load the plug-in from this DLL instead of the registered class\n"
                  L"  --version     print the version and exit\n"
                  L"  --help        this list; COMMAND --help, or help COMMAND: that command's options\n";
}

bool Arguments::Has(const wchar_t* option) const { return !Values(option).empty(); }

std::wstring Arguments::Value(const wchar_t* option, const std::wstring& otherwise) const {
    const std::vector<std::wstring> values = Values(option);
    return values.empty() ? otherwise : values.back();
}

long Arguments::Number(const wchar_t* option, long otherwise) const {
    return Has(option) ? wcstol(Value(option).c_str(), nullptr, 10) : otherwise;
}

std::vector<std::wstring> Arguments::Values(const wchar_t* option) const {
    std::vector<std::wstring> values;
    for (const auto& g : given_)
        if (g.first == option) values.push_back(g.second);
    return values;
}

namespace {

bool IsWholeNumber(const std::wstring& text, long low, long high) {
    if (text.empty() || text.size() > 18) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long long n = wcstoll(text.c_str(), &end, 10);
    return end && !*end && errno == 0 && n >= low && n <= high && !iswspace(text[0]);
}

// Empty when the option's type takes the value, else what it takes.
std::wstring TypeProblem(const OptionEntry& option, const std::wstring& value) {
    const std::wstring name = option.name;
    switch (option.kind) {
    case OptionKind::Flag:
        return std::wstring();
    case OptionKind::Text:
        if (!option.check || option.check(value)) return std::wstring();
        return name + L" takes " + option.expects + L", not \"" + value + L"\"";
    case OptionKind::Number:
        if (IsWholeNumber(value, option.low, option.high)) return std::wstring();
        if (option.low == LONG_MIN) return name + L" takes a whole number, not \"" + value + L"\"";
        return name + L" takes a whole number from " + std::to_wstring(option.low) + L" to " +
               std::to_wstring(option.high) + L", not \"" + value + L"\"";
    case OptionKind::Choice: {
        std::vector<std::wstring> words;
        const std::wstring choices = option.value;
        for (size_t from = 0; from <= choices.size();) {
            size_t bar = choices.find(L'|', from);
            if (bar == std::wstring::npos) bar = choices.size();
            words.push_back(choices.substr(from, bar - from));
            if (value == words.back()) return std::wstring();
            from = bar + 1;
        }
        std::wstring list;
        for (size_t i = 0; i < words.size(); ++i)
            list += (i == 0 ? L"" : i + 1 == words.size() ? L" or " : L", ") + words[i];
        return name + L" takes " + list + L", not \"" + value + L"\"";
    }
    }
    return std::wstring();
}

} // namespace

bool ParseArguments(const CommandEntry& command, const std::vector<std::wstring>& args, Arguments& out,
                    std::wstring& error) {
    const std::wstring name = command.name;
    out = Arguments();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        // A lone "-", and a negative number as an operand, are no options.
        const bool looksLikeOption = a.size() > 1 && a[0] == L'-' && !(a[1] >= L'0' && a[1] <= L'9');
        if (!looksLikeOption) {
            out.operands.push_back(a);
            continue;
        }
        const OptionEntry* known = nullptr;
        for (const OptionEntry& o : command.options)
            if (a == o.name) known = &o;
        if (!known) {
            error = name + L" has no option " + a;
            return false;
        }
        if (!known->value) {
            out.given_.emplace_back(a, std::wstring());
            continue;
        }
        if (i + 1 >= args.size()) {
            error = a + L" needs a value (" + known->value + L")";
            return false;
        }
        const std::wstring& value = args[++i];
        error = TypeProblem(*known, value);
        if (!error.empty()) return false;
        out.given_.emplace_back(a, value);
    }
    if (out.operands.size() < command.minOperands) {
        error = name + L" needs " + command.operands;
        return false;
    }
    if (out.operands.size() > command.maxOperands) {
        error = name + L" takes " + (command.maxOperands ? std::wstring(command.operands) : std::wstring(L"no operand")) +
                L", not \"" + out.operands[command.maxOperands] + L"\"";
        return false;
    }
    return true;
}

} // namespace card
