// scanleaf-card: a command-line host for CALS data cards.
#include "tools/card/Commands.h"
#include "tools/card/Output.h"

#include "Version.h"

#include <objbase.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

struct CommandHelp {
    const wchar_t* name;
    const wchar_t* synopsis;    // after "scanleaf-card "
    const wchar_t* description;
};

const CommandHelp kCommands[] = {
    {L"info", L"info", L"the format, its extensions and their groups"},
    {L"show", L"show [--json] FILE|FOLDER...", L"the data card of each CALS file"},
    {L"set", L"set FILE NAME=VALUE... [--date NAME=YYYY-MM-DD[THH:MM[:SS]]]... [--style N]",
     L"check the values, then write them into the header and save"},
    {L"check", L"check [SETTINGS-FILE]", L"report what the settings file does not say as meant"},
    {L"register", L"register", L"register the DLL with COM"},
    {L"unregister", L"unregister", L"unregister the DLL"},
    {L"settings", L"settings [--shared-folder DIR]", L"show or set the host's shared folder"},
    {L"export", L"export [--recursive] [--format csv|json] [--delimiter ,|;] [--no-bom] [-o FILE] FILE|FOLDER...",
     L"every file's data card as one row of a table"},
    {L"import",
     L"import [--dry-run] [--empty-clears] [--skip-changed] [--delimiter ,|;] [--encoding utf8|ansi] "
     L"[--journal FILE] TABLE",
     L"check a whole table, then write its changes"},
    {L"undo", L"undo JOURNAL", L"put back the headers that an import changed"},
    {L"verify", L"verify [--recursive] [--format csv|json] FILE|FOLDER...",
     L"decode every drawing in full and report the damaged"},
    {L"render", L"render [--recursive] [--size N] [-o FILE|DIR] FILE|FOLDER...",
     L"PNG pictures, longest side N (256; 0: full size)"},
    {L"sheet", L"sheet [--recursive] -o PAGE.html FILE|FOLDER...",
     L"one page: each drawing's thumbnail, card and status"},
};

std::wstring Usage() {
    std::wstring text = L"usage: scanleaf-card [--dll PATH] COMMAND ...\n\n";
    for (const CommandHelp& c : kCommands) {
        std::wstring line = L"  " + std::wstring(c.synopsis);
        text += line + (line.size() < 36 ? std::wstring(36 - line.size(), L' ') : L"\n" + std::wstring(36, L' ')) +
                c.description + L"\n";
    }
    return text + L"\n  --dll PATH  load the plug-in from this DLL instead of the registered class\n"
                  L"  --version   print the version and exit\n";
}

// One line: the command's synopsis (or the program's), and where the rest is.
std::wstring ShortUsage(const std::wstring& command) {
    for (const CommandHelp& c : kCommands)
        if (command == c.name)
            return L"usage: scanleaf-card " + std::wstring(c.synopsis) + L"  (scanleaf-card --help for more)\n";
    return L"usage: scanleaf-card [--dll PATH] COMMAND ...  (scanleaf-card --help lists the commands)\n";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    card::Options options;
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--dll" && i + 1 < argc) {
            options.dllPath = argv[++i];
        } else if (a == L"--version") {
            card::Out(L"scanleaf-card " SCANLEAF_VERSION_WTEXT L"\n");
            return 0;
        } else if (a == L"--help" || a == L"-h") {
            card::Out(Usage());
            return 0;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        card::Err(ShortUsage(L""));
        return card::kUsageError;
    }
    std::wstring command = args.front();
    args.erase(args.begin());

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        card::Err(L"scanleaf-card: COM could not be initialised\n");
        return 1;
    }
    int rc = card::Run(command, args, options);
    fflush(stdout);
    CoUninitialize();
    if (rc == card::kUsageError) card::Err(ShortUsage(command));
    return rc;
}
