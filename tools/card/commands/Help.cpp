// help: the list of commands, or one command's help.
#include "tools/card/commands/Commands.h"

#include "tools/card/batch/Console.h"

namespace card {

int Help(const NoOptions& a, const Setup&) {
    if (a.operands.empty()) {
        Out(ProgramHelp());
        return 0;
    }
    const CommandEntry* command = FindCommand(a.operands[0]);
    if (!command) return UsageError(L"no command \"" + a.operands[0] + L"\"");
    Out(CommandHelp(*command));
    return 0;
}

} // namespace card
