#include "tools/card/commands/CommandLine.h"

#include "tools/common/Plugin.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>

namespace card {

IVorFileFormat* Setup::Format() const { return plugin ? plugin->Format() : nullptr; }

std::vector<std::wstring> Setup::Extensions() const { return toolsupport::CalsExtensions(Format()); }

const CommandEntry* FindCommand(const std::wstring& name) {
    for (const CommandEntry& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// "--format csv|json"
std::wstring OptionText(const OptionEntry& option) {
    if (option.fallback) return std::wstring(option.name) + L" [" + option.value + L"]";
    return std::wstring(option.name) + (option.value ? L" " + std::wstring(option.value) : std::wstring());
}

std::wstring OptionHelp(const OptionEntry& option) {
    std::wstring text = option.help;
    if (option.kind == OptionKind::Number && option.low != LONG_MIN)
        text += L" [" + std::to_wstring(option.low) + L"-" + std::to_wstring(option.high) + L"]";
    if (option.repeatable) text += L" (repeatable)";
    if (option.required) text += L" (required)";
    if (option.fallback) text += L" (" + std::wstring(option.fallback) + L" when none is named)";
    return text;
}

std::wstring Synopsis(const CommandEntry& command) {
    std::wstring text = command.name;
    for (const OptionEntry& o : command.options)
        text += (o.required ? L" " + OptionText(o) : L" [" + OptionText(o) + L"]") + (o.repeatable ? L"..." : L"");
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

namespace {

// The words of "pdf|tiff|cals".
std::vector<std::wstring> Words(const std::wstring& choices) {
    std::vector<std::wstring> words;
    for (size_t from = 0; from <= choices.size();) {
        size_t bar = choices.find(L'|', from);
        if (bar == std::wstring::npos) bar = choices.size();
        words.push_back(choices.substr(from, bar - from));
        from = bar + 1;
    }
    return words;
}

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
        if (option.problem) return option.problem(value);
        if (!option.check || option.check(value)) return std::wstring();
        return name + L" takes " + option.expects + L", not \"" + value + L"\"";
    case OptionKind::Number:
        if (IsWholeNumber(value, option.low, option.high)) return std::wstring();
        if (option.low == LONG_MIN) return name + L" takes a whole number, not \"" + value + L"\"";
        return name + L" takes a whole number from " + std::to_wstring(option.low) + L" to " +
               std::to_wstring(option.high) + L", not \"" + value + L"\"";
    case OptionKind::Choice: {
        const std::vector<std::wstring> words = Words(option.value);
        if (std::find(words.begin(), words.end(), value) != words.end()) return std::wstring();
        std::wstring list;
        for (size_t i = 0; i < words.size(); ++i)
            list += (i == 0 ? L"" : i + 1 == words.size() ? L" or " : L", ") + words[i];
        return name + L" takes " + list + L", not \"" + value + L"\"";
    }
    }
    return std::wstring();
}

// Whether the argument after an option whose value may be left out is that value: one of its
// words, or a short word that starts with a digit as its words do ("1B", "3b", "1"), which is
// then refused as a mistyped value rather than read as an operand.
bool MeantAsValue(const OptionEntry& option, const std::wstring& next) {
    if (TypeProblem(option, next).empty()) return true;
    return !next.empty() && next.size() <= 3 && iswdigit(next[0]) && next.find_first_of(L"\\/.:") == std::wstring::npos;
}

} // namespace

bool ParseArguments(const CommandEntry& command, const std::vector<std::wstring>& args, Parsed& out, std::wstring& error) {
    const std::wstring name = command.name;
    out = Parsed();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        // A lone "-", and a negative number as an operand, are no options.
        const bool looksLikeOption = a.size() > 1 && a[0] == L'-' && !(a[1] >= L'0' && a[1] <= L'9');
        if (!looksLikeOption) {
            out.operands.push_back(a);
            continue;
        }
        size_t known = command.options.size();
        for (size_t o = 0; o < command.options.size(); ++o)
            if (a == command.options[o].name) known = o;
        if (known == command.options.size()) {
            error = name + L" has no option " + a;
            return false;
        }
        const OptionEntry& option = command.options[known];
        if (!option.value) {
            out.given.emplace_back(known, std::wstring());
            continue;
        }
        if (option.fallback && (i + 1 >= args.size() || !MeantAsValue(option, args[i + 1]))) {
            out.given.emplace_back(known, option.fallback);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = a + L" needs a value (" + option.value + L")";
            return false;
        }
        const std::wstring& value = args[++i];
        error = TypeProblem(option, value);
        if (!error.empty()) return false;
        out.given.emplace_back(known, value);
    }
    // An option given without the one it is for.
    auto last = [&](const wchar_t* other, std::wstring& value) {
        bool given = false;
        for (const auto& g : out.given)
            if (std::wstring(command.options[g.first].name) == other) given = true, value = g.second;
        return given;
    };
    for (const auto& g : out.given)
        for (const OptionEntry::For& needed : command.options[g.first].onlyFor) {
            std::wstring value;
            const bool given = last(needed.option, value);
            const std::vector<std::wstring> words = needed.values ? Words(needed.values) : std::vector<std::wstring>();
            if (given && (words.empty() || std::find(words.begin(), words.end(), value) != words.end())) continue;
            std::wstring what;
            for (size_t w = 0; w < words.size(); ++w)
                what += (w ? L" and " : L"") + std::wstring(needed.option) + L" " + words[w];
            error = std::wstring(command.options[g.first].name) + L" is for " + (words.empty() ? std::wstring(needed.option) : what);
            return false;
        }
    for (size_t o = 0; o < command.options.size(); ++o) {
        const bool given = std::any_of(out.given.begin(), out.given.end(), [o](const auto& g) { return g.first == o; });
        if (command.options[o].required && !given) {
            error = name + L" needs " + OptionText(command.options[o]);
            return false;
        }
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
