// Every command of scanleaf-card with its typed options, operands, help, what it needs set up
// and the function that runs it: the one table from which the dispatch, the argument parser and
// the help text all come, so that they cannot drift apart.
#pragma once

#include "host/VorHost.h"

#include <climits>
#include <cstddef>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
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

// An option as the parser and the help know it.
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
    std::wstring (*problem)(const std::wstring&) = nullptr; // or the whole message (empty: taken)
    const wchar_t* fallback = nullptr;              // a choice's value when no word of it follows
    bool required = false;                          // shown without brackets: the command needs it
    // Options it is only for: "--set" is for "--to" "cals"; "--encoding" is for "--table" (any
    // value). Each one given without them is a usage error ("--set is for --to cals").
    struct For {
        const wchar_t* option;
        const wchar_t* values; // "pdf|tiff", or null: any value
    };
    std::vector<For> onlyFor{};
};

// What the parser read: each option given, by its place in the command's list, with its value
// (a flag's is empty), in the order given; and the operands.
struct Parsed {
    std::vector<std::pair<size_t, std::wstring>> given;
    std::vector<std::wstring> operands;
};

// What every command's options fill: its operands.
struct Request {
    std::vector<std::wstring> operands;
};

// An option bound to the field of the command's request R that its value fills: the parser's
// entry and the filling. Options of a base request (those every batch command shares) serve each
// request made from it.
template <class R>
struct Option {
    using Fill = std::function<void(R&, const std::wstring&)>;
    Option(OptionEntry e, Fill f) : entry(std::move(e)), fill(std::move(f)) {}
    template <class B, std::enable_if_t<std::is_base_of_v<B, R> && !std::is_same_v<B, R>, int> = 0>
    Option(const Option<B>& base)
        : entry(base.entry), fill([f = base.fill](R& request, const std::wstring& value) { f(request, value); }) {}
    OptionEntry entry;
    Fill fill;
};

// The kinds of option, each filling a field of its type.
template <class R>
Option<R> Flag(const wchar_t* name, bool R::*field, const wchar_t* help) {
    return {{name, OptionKind::Flag, nullptr, help}, [field](R& r, const std::wstring&) { r.*field = true; }};
}
template <class R>
Option<R> Text(const wchar_t* name, const wchar_t* value, std::wstring R::*field, const wchar_t* help) {
    return {{name, OptionKind::Text, value, help}, [field](R& r, const std::wstring& v) { r.*field = v; }};
}
// Every value kept, in order.
template <class R>
Option<R> Repeatable(const wchar_t* name, const wchar_t* value, std::vector<std::wstring> R::*field, const wchar_t* help) {
    OptionEntry entry{name, OptionKind::Text, value, help};
    entry.repeatable = true;
    return {entry, [field](R& r, const std::wstring& v) { (r.*field).push_back(v); }};
}
template <class R, class N>
Option<R> Number(const wchar_t* name, long low, long high, N R::*field, const wchar_t* help) {
    return {{name, OptionKind::Number, L"N", help, low, high},
            [field](R& r, const std::wstring& v) { r.*field = N(wcstol(v.c_str(), nullptr, 10)); }};
}
// The words of a choice and the value each stands for, in the order the help shows them. Each is
// defined once, at namespace scope: the options' entries show its text.
template <class E>
class ChoiceWords {
public:
    ChoiceWords(std::initializer_list<std::pair<const wchar_t*, E>> words) : words_(words) {
        for (const auto& w : words_) text_ += (text_.empty() ? L"" : L"|") + std::wstring(w.first);
    }
    const wchar_t* Text() const { return text_.c_str(); } // "csv|json"
    // The parser took only the words, so each given one is there.
    E Value(const std::wstring& word) const {
        for (const auto& w : words_)
            if (word == w.first) return w.second;
        return words_.front().second;
    }
    const wchar_t* Word(E value) const {
        for (const auto& w : words_)
            if (value == w.second) return w.first;
        return L"";
    }

private:
    std::vector<std::pair<const wchar_t*, E>> words_;
    std::wstring text_;
};

// A choice, filled as the value its word stands for.
template <class R, class E>
Option<R> Choice(const wchar_t* name, const ChoiceWords<E>& words, E R::*field, const wchar_t* help) {
    return {{name, OptionKind::Choice, words.Text(), help},
            [field, &words](R& r, const std::wstring& v) { r.*field = words.Value(v); }};
}
// A choice whose value may be left out: `fallback` then, and the next argument is not taken.
template <class R, class E>
Option<R> OptionalChoice(const wchar_t* name, const ChoiceWords<E>& words, const wchar_t* fallback, E R::*field,
                         const wchar_t* help) {
    Option<R> option = Choice(name, words, field, help);
    option.entry.fallback = fallback;
    return option;
}
// A text with a rule of its own, turned into the field's type by `fill`.
template <class R>
Option<R> Checked(const wchar_t* name, const wchar_t* value, bool (*check)(const std::wstring&), const wchar_t* expects,
                  typename Option<R>::Fill fill, const wchar_t* help) {
    OptionEntry entry{name, OptionKind::Text, value, help};
    entry.check = check;
    entry.expects = expects;
    return {entry, std::move(fill)};
}
// A text that `problem` turns into the field's type, or refuses with its whole message.
template <class R, class T>
Option<R> Typed(const wchar_t* name, const wchar_t* value, std::wstring (*problem)(const std::wstring&),
                 T (*parse)(const std::wstring&), std::vector<T> R::*field, const wchar_t* help) {
    OptionEntry entry{name, OptionKind::Text, value, help};
    entry.problem = problem;
    entry.repeatable = true;
    return {entry, [field, parse](R& r, const std::wstring& v) { (r.*field).push_back(parse(v)); }};
}
// The same option, which the command cannot run without.
template <class R>
Option<R> Required(Option<R> option) {
    option.entry.required = true;
    return option;
}
// The same option, only for `other` given (with one of `values`, "pdf|tiff", when named).
template <class R, class O>
Option<R> OnlyFor(Option<R> option, const Option<O>& other, const wchar_t* values = nullptr) {
    option.entry.onlyFor.push_back({other.entry.name, values});
    return option;
}
// The same option, filled another way (a choice into an enumeration, a flag that counts too).
template <class R>
Option<R> FilledBy(Option<R> option, typename Option<R>::Fill fill) {
    option.fill = std::move(fill);
    return option;
}

// What a command runs with: the global options, and the plug-in when the command needs it.
struct Setup {
    std::wstring dllPath; // empty: the registered class, else the DLL beside the program
    toolsupport::Plugin* plugin = nullptr;
    IVorFileFormat* Format() const;
    // The extensions of the files a folder stands for (lower case, without the dot).
    std::vector<std::wstring> Extensions() const;
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
    // The command's request filled from what was parsed (its type is the command's own), and
    // the command run with it.
    std::function<void(const Parsed&, void* request)> fill{};
    std::function<int(const Parsed&, const Setup&)> run{};
    const std::type_info* requestType = nullptr;
};

// A command whose options fill a request R, and its function that runs with it.
template <class R>
CommandEntry Command(const wchar_t* name, const wchar_t* operands, size_t minOperands, size_t maxOperands,
                     const wchar_t* summary, std::vector<Option<R>> options, const wchar_t* description,
                     const wchar_t* exitStatus, const wchar_t* example, Needs needs, int (*run)(const R&, const Setup&)) {
    CommandEntry command{name, operands, minOperands, maxOperands, summary, {}, description, exitStatus, example, needs};
    std::vector<typename Option<R>::Fill> fills;
    for (Option<R>& o : options) {
        command.options.push_back(o.entry);
        fills.push_back(o.fill);
    }
    command.fill = [fills](const Parsed& parsed, void* request) {
        R& r = *static_cast<R*>(request);
        r.operands = parsed.operands;
        for (const auto& given : parsed.given) fills[given.first](r, given.second);
    };
    command.run = [fill = command.fill, run](const Parsed& parsed, const Setup& setup) {
        R request;
        fill(parsed, &request);
        return run(request, setup);
    };
    command.requestType = &typeid(R);
    return command;
}

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

// False with a one-line `error` for an option the command does not take, an option without its
// value, a value its type refuses, an option given without the one it is for, or too few or too
// many operands.
bool ParseArguments(const CommandEntry& command, const std::vector<std::wstring>& args, Parsed& out, std::wstring& error);

// The options a command's arguments make, for a caller that knows their type (the tests).
template <class R>
bool ParseOptions(const CommandEntry& command, const std::vector<std::wstring>& args, R& request, std::wstring& error) {
    Parsed parsed;
    if (*command.requestType != typeid(R)) return error = L"another request type", false;
    if (!ParseArguments(command, args, parsed, error)) return false;
    command.fill(parsed, &request);
    return true;
}

} // namespace card
