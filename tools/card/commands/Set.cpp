// set: values written into one file's header, checked as a whole first, as import checks a
// table: every name, writability, code page, date style and slot width, with a trial save of
// the header on a scratch copy. One problem: each is listed, and the file is left as it is.
#include "core/DateText.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/cards/Card.h"
#include "tools/card/cards/CardEdit.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include <algorithm>

namespace card {

namespace {

using scanleaf::core::kDateStyles;

bool IsDateStyle(long style) { return std::find(std::begin(kDateStyles), std::end(kDateStyles), style) != std::end(kDateStyles); }

// What the request stores: the operands' NAME=VALUE, then --date's.
struct SetRequest {
    const std::wstring& path;
    std::vector<NewValue> values;
    long style;
    bool styleGiven;
};

std::wstring StyleList(const std::vector<int>& styles) {
    std::wstring list;
    for (int s : styles) list += (list.empty() ? L"" : L", ") + std::to_wstring(s);
    return list;
}

// The styles whose text of the date the slot holds whole.
std::wstring FittingStyles(CardEdit& edit, const std::wstring& path, const NewValue& v) {
    const size_t room = edit.Room(path, v.name);
    if (!room) return L"see the date styles in the manual";
    std::vector<int> fitting;
    for (int style : kDateStyles)
        if (DateText(v.date, style).size() <= room) fitting.push_back(style);
    if (fitting.empty()) return L"no date style fits its " + std::to_wstring(room) + L" characters";
    return L"the styles that fit: " + StyleList(fitting) + L" (--style N)";
}

// Every problem of the request, in the words of a request on the command line.
std::vector<std::wstring> Problems(CardEdit& edit, const SetRequest& request, const std::vector<CardEntry>& card) {
    std::vector<std::wstring> problems;
    if (request.styleGiven && !IsDateStyle(request.style)) {
        std::vector<int> all(std::begin(kDateStyles), std::end(kDateStyles));
        problems.push_back(L"--style " + std::to_wstring(request.style) + L": no such date style (the styles: " +
                           StyleList(all) + L")");
    }
    for (const EditProblem& p : edit.Check(request.path, card, request.values, request.style)) {
        if (p.fault == EditFault::TrialFailed) {
            problems.push_back(L"a trial save failed: " + DescribeHresult(p.hr));
            continue;
        }
        const NewValue& v = request.values[p.value];
        const std::wstring shown = v.isDate ? v.text : Quote(v.text);
        switch (p.fault) {
        case EditFault::NamedTwice:
            problems.push_back(v.name + L": named twice in the request");
            break;
        case EditFault::NotAVariable:
            problems.push_back(v.name + L": not a variable of " + request.path);
            break;
        case EditFault::ReadOnly:
            problems.push_back(v.name + L": read-only: the request changes " + Quote(p.current) + L" to " + shown);
            break;
        case EditFault::CodePage:
            problems.push_back(v.name + L": " + CodePageProblem(v.text));
            break;
        case EditFault::DoesNotFit:
            if (!v.isDate)
                problems.push_back(v.name + L": " +
                                   (v.text.empty() ? L"an empty value is stored as \"NONE\", which does not fit its slot: " +
                                                         Quote(p.stored) + L" would be stored"
                                                   : NotStoredText(v.text, p.stored)));
            else
                problems.push_back(v.name + L": " + v.text + L" in date style " + std::to_wstring(request.style) +
                                   L" is " + Quote(DateText(v.date, request.style)) +
                                   L", which does not fit its slot: " + Quote(p.stored) + L" would be stored; " +
                                   FittingStyles(edit, request.path, v));
            break;
        case EditFault::TrialFailed:
            break;
        }
    }
    return problems;
}

} // namespace

int Set(const SetOptions& options, const Setup& setup) {
    SetRequest request{options.operands[0], {}, options.style, options.styleGiven};
    for (size_t i = 1; i < options.operands.size(); ++i) {
        NewValue value;
        if (!ReadNameValue(options.operands[i], value)) return UsageError(L"expected NAME=VALUE, got \"" + options.operands[i] + L"\"");
        request.values.push_back(value);
    }
    request.values.insert(request.values.end(), options.dates.begin(), options.dates.end());
    if (request.values.empty()) return UsageError(L"set needs at least one NAME=VALUE or --date NAME=DATE");
    IVorFileFormat* format = setup.Format();
    if (IsFolder(request.path)) {
        Err(request.path + L": a folder; set changes one file\n");
        return 1;
    }
    std::vector<CardEntry> card;
    HRESULT hr = CardReader(format).Read(request.path, card);
    if (FAILED(hr)) {
        Err(request.path + L": " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    CardEdit edit(format);
    const std::vector<std::wstring> problems = Problems(edit, request, card);
    if (!problems.empty()) {
        for (const std::wstring& p : problems) Err(request.path + L": " + p + L"\n");
        Err(std::to_wstring(problems.size()) + L" problem(s); the file was not changed\n");
        return 1;
    }
    hr = edit.Save(request.path, request.values, request.style);
    if (FAILED(hr)) {
        Err(request.path + L": not saved: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(request.path + L": " + std::to_wstring(request.values.size()) + L" value(s) saved\n");
    return 0;
}

} // namespace card
