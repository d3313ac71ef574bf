// scanleaf-card: a command-line host for CALS data cards.
#include "tools/card/Commands.h"
#include "tools/card/Output.h"

#include "Version.h"

#include <objbase.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

const wchar_t kUsage[] =
    L"usage: scanleaf-card [--dll PATH] COMMAND ...\n"
    L"\n"
    L"  info                              the format, its extensions and their groups\n"
    L"  show [--json] FILE|FOLDER...      the data card of each CALS file\n"
    L"  set FILE NAME=VALUE... [--date NAME=YYYY-MM-DD[THH:MM[:SS]]]... [--style N]\n"
    L"                                    write values into the header and save\n"
    L"  check [SETTINGS-FILE]             report settings sections that would fail an open\n"
    L"  register | unregister             (un)register the DLL with COM\n"
    L"  settings [--shared-folder DIR]    show or set the host's shared folder\n"
    L"  export [--recursive] [--format csv|json] [--delimiter ,|;] [--no-bom] [-o FILE] FILE|FOLDER...\n"
    L"                                    every file's data card as one row of a table\n"
    L"  import [--dry-run] [--empty-clears] [--skip-changed] [--delimiter ,|;] [--encoding utf8|ansi]\n"
    L"         [--journal FILE] TABLE     check a whole table, then write its changes\n"
    L"  undo JOURNAL                      put back the headers that an import changed\n"
    L"  verify [--recursive] [--format csv|json] FILE|FOLDER...\n"
    L"                                    decode every drawing in full and report the damaged\n"
    L"  render [--recursive] [--size N] [-o FILE|DIR] FILE|FOLDER...\n"
    L"                                    PNG pictures, longest side N (256; 0: full size)\n"
    L"  sheet [--recursive] -o PAGE.html FILE|FOLDER...\n"
    L"                                    one page: each drawing's thumbnail, card and status\n"
    L"\n"
    L"  --dll PATH  load the plug-in from this DLL instead of the registered class\n"
    L"  --version   print the version and exit\n";

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
            card::Out(kUsage);
            return 0;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        card::Err(kUsage);
        return 2;
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
    if (rc == card::kUsageError) card::Err(kUsage);
    return rc;
}
