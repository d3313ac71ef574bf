// scanleaf-card: a command-line host for CALS data cards.
#include "tools/card/batch/Console.h"
#include "tools/card/commands/Commands.h"

#include "Version.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

// One line: the command's synopsis (or the program's), and where the rest is.
std::wstring ShortUsage(const std::wstring& command) {
    if (const card::CommandEntry* known = card::FindCommand(command))
        return L"usage: scanleaf-card " + card::Synopsis(*known) + L"  (scanleaf-card help " + command + L" for more)\n";
    return L"usage: scanleaf-card [--dll PATH] COMMAND ...  (scanleaf-card --help lists the commands)\n";
}

// What is left of the last lines, written on every way out of wmain.
struct FlushAtEnd {
    ~FlushAtEnd() { card::FlushOutput(); }
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    const FlushAtEnd flush;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    std::wstring dllPath;
    std::vector<std::wstring> args;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--dll" && i + 1 < argc) {
            dllPath = argv[++i];
        } else if (a == L"--version") {
            card::Out(L"scanleaf-card " SCANLEAF_VERSION_WTEXT L"\n");
            return 0;
        } else if (a == L"--help" || a == L"-h") {
            help = true;
        } else {
            args.push_back(a);
        }
    }
    // "COMMAND --help" as "help COMMAND"; an unknown command with it is still a usage error.
    const card::CommandEntry* known = args.empty() ? nullptr : card::FindCommand(args.front());
    if (help && (args.empty() || known)) {
        card::Out(known ? card::CommandHelp(*known) : card::ProgramHelp());
        return 0;
    }
    if (args.empty()) {
        card::Err(ShortUsage(L""));
        return card::kUsageError;
    }
    std::wstring command = args.front();
    args.erase(args.begin());

    const int rc = card::Run(command, args, dllPath);
    if (rc == card::kUsageError) card::Err(ShortUsage(command));
    return rc;
}
