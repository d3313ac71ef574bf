// Every command of scanleaf-card with its typed options, operands, help, what it needs set up
// and the function that runs it: the one table from which the dispatch, the argument parser and
// the help text all come, so that they cannot drift apart.
#pragma once

#include "host/VorHost.h"

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

namespace toolsupport {
class Plugin;
}

namespace card {

enum class OptionKind {
    Flag,   // no value
    Text,   // any text, or one that `check` accepts
    Number, // a whole number from `low` to `high`
    Choice, // one of the words of `value`, "csv|json"
};

struct OptionEntry {
    const wchar_t* name;  // "--recursive", "-o"
    OptionKind kind;
    const wchar_t* value; // what follows it ("FILE", "N", "csv|json"), or null for a flag
    const wchar_t* help;  // one line
    long low = LONG_MIN;  // a number's range
    long high = LONG_MAX;
    bool repeatable = false; // every value kept, in order (else the last one counts)
    bool (*check)(const std::wstring&) = nullptr; // a text's own rule
    const wchar_t* expects = nullptr;               // what `check` takes, for the message
    const wchar_t* fallback = nullptr;              // a choice's value when no word of it follows
    bool required = false;                          // shown without brackets: the command needs it
};

OptionEntry Flag(const wchar_t* name, const wchar_t* help);
OptionEntry Text(const wchar_t* name, const wchar_t* value, const wchar_t* help);
OptionEntry Repeatable(const wchar_t* name, const wchar_t* value, const wchar_t* help);
OptionEntry Number(const wchar_t* name, long low, long high, const wchar_t* help);
OptionEntry Choice(const wchar_t* name, const wchar_t* choices, const wchar_t* help);
// A choice whose value may be left out: `fallback` then, and the next argument is not taken.
OptionEntry OptionalChoice(const wchar_t* name, const wchar_t* choices, const wchar_t* fallback, const wchar_t* help);
// The same option, which the command cannot run without.
OptionEntry Required(OptionEntry option);
OptionEntry Checked(const wchar_t* name, const wchar_t* value, bool (*check)(const std::wstring&),
                    const wchar_t* expects, const wchar_t* help);

class Arguments;

// What a command runs with: the global options, and the plug-in when the command needs it.
struct Setup {
    std::wstring dllPath; // empty: the registered class, else the DLL beside the program
    toolsupport::Plugin* plugin = nullptr;
    IVorFileFormat* Format() const;
};

// What the dispatch sets up before a command runs.
enum class Needs {
    Nothing,
    Com,    // COM in this thread
    Plugin, // COM and the plug-in loaded (a failure to load is the command's exit 1)
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
    Needs needs;
    int (*run)(const Arguments&, const Setup&);
};

inline constexpr size_t kMany = size_t(-1);

const std::vector<CommandEntry>& Commands();
// Null for a name that is no command.
const CommandEntry* FindCommand(const std::wstring& name);

// "--format csv|json"
std::wstring OptionText(const OptionEntry& option);
// The option's help line with what the parser takes: "... [1-64]", "... (repeatable)".
std::wstring OptionHelp(const OptionEntry& option);
// "export [--recursive] [--format csv|json] ... FILE|FOLDER..."
std::wstring Synopsis(const CommandEntry& command);
// The whole help of one command: synopsis, description, options, exit status, example.
std::wstring CommandHelp(const CommandEntry& command);
// Every command with its summary, and the program's own options.
std::wstring ProgramHelp();

// The arguments after the command's name, read and checked by its table.
class Arguments {
public:
    bool Has(const wchar_t* option) const;
    // The last value given to the option, or `otherwise`.
    std::wstring Value(const wchar_t* option, const std::wstring& otherwise = std::wstring()) const;
    // A number option's value (checked by the parser), or `otherwise`.
    long Number(const wchar_t* option, long otherwise) const;
    // Every value given to a repeatable option, in order.
    std::vector<std::wstring> Values(const wchar_t* option) const;
    std::vector<std::wstring> operands;

private:
    friend bool ParseArguments(const CommandEntry&, const std::vector<std::wstring>&, Arguments&, std::wstring&);
    std::vector<std::pair<std::wstring, std::wstring>> given_;
};

// False with a one-line `error` for an option the command does not take, an option without its
// value, a value its type refuses, or too few or too many operands.
bool ParseArguments(const CommandEntry& command, const std::vector<std::wstring>& args, Arguments& out,
                    std::wstring& error);

} // namespace card
