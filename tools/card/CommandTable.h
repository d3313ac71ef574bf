// Every command of scanleaf-card with its options, operands and help: the one table from which
// both the argument parser and the help text come, so that they cannot drift apart.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace card {

struct OptionEntry {
    const wchar_t* name;  // "--recursive", "-o"
    const wchar_t* value; // what follows it ("FILE"), or null for a flag
    const wchar_t* help;  // one line
};

struct CommandEntry {
    const wchar_t* name;
    const wchar_t* operands; // "FILE|FOLDER...", as the synopsis shows them
    size_t minOperands;
    size_t maxOperands;      // kMany: no limit
    const wchar_t* summary;  // one line, for the list of commands
    std::vector<OptionEntry> options;
    const wchar_t* description; // what it does, a few lines
    const wchar_t* exitStatus;
    const wchar_t* example;
};

inline constexpr size_t kMany = size_t(-1);

const std::vector<CommandEntry>& Commands();
// Null for a name that is no command.
const CommandEntry* FindCommand(const std::wstring& name);

// "--format csv|json"
std::wstring OptionText(const OptionEntry& option);
// "export [--recursive] [--format csv|json] ... FILE|FOLDER..."
std::wstring Synopsis(const CommandEntry& command);
// The whole help of one command: synopsis, description, options, exit status, example.
std::wstring CommandHelp(const CommandEntry& command);
// Every command with its summary, and the program's own options.
std::wstring ProgramHelp();

// The arguments after the command's name, read by its table.
class Arguments {
public:
    bool Has(const wchar_t* option) const;
    // The last value given to the option, or `otherwise`.
    std::wstring Value(const wchar_t* option, const std::wstring& otherwise = std::wstring()) const;
    // Every value given to a repeatable option, in order.
    std::vector<std::wstring> Values(const wchar_t* option) const;
    std::vector<std::wstring> operands;

private:
    friend bool ParseArguments(const CommandEntry&, const std::vector<std::wstring>&, Arguments&, std::wstring&);
    std::vector<std::pair<std::wstring, std::wstring>> given_;
};

// False with a one-line `error` for an option the command does not take, an option without its
// value, or too few or too many operands.
bool ParseArguments(const CommandEntry& command, const std::vector<std::wstring>& args, Arguments& out,
                    std::wstring& error);

} // namespace card
