// set: values written into one file's header, checked as a whole first, as import checks a
// table: every name, writability, code page, date style and slot width, with a trial save of
// the header on a scratch copy. One problem: each is listed, and the file is left as it is.
#include "core/DateText.h"
#include "hostenv/FormatDate.h"
#include "tools/card/Card.h"
#include "tools/card/Commands.h"
#include "tools/card/Files.h"
#include "tools/card/HeaderFile.h"
#include "tools/card/Output.h"
#include "tools/card/Trial.h"
#include "tools/common/Plugin.h"


#include <algorithm>
#include <set>

namespace card {

namespace {

struct SetRequest {
    std::wstring path;
    std::vector<NewValue> values;
    long style = 0;
    bool styleGiven = false;
};

using scanleaf::core::kDateStyles;

bool IsDateStyle(long style) { return std::find(std::begin(kDateStyles), std::end(kDateStyles), style) != std::end(kDateStyles); }

int ParseRequest(const std::vector<std::wstring>& args, SetRequest& request) {
    Arguments a;
    if (!ReadArguments(L"set", args, a)) return kUsageError;
    request.path = a.operands[0];
    if (a.Has(L"--style")) {
        const std::wstring n = a.Value(L"--style");
        wchar_t* end = nullptr;
        request.style = wcstol(n.c_str(), &end, 10);
        if (n.empty() || !end || *end) return UsageError(L"--style takes a number, not \"" + n + L"\"");
        request.styleGiven = true;
    }
    std::vector<std::pair<std::wstring, bool>> pairs; // NAME=VALUE, and whether it is a date
    for (size_t i = 1; i < a.operands.size(); ++i) pairs.emplace_back(a.operands[i], false);
    for (const std::wstring& d : a.Values(L"--date")) pairs.emplace_back(d, true);
    for (const auto& [pair, date] : pairs) {
        const size_t eq = pair.find(L'=');
        if (eq == std::wstring::npos || eq == 0) return UsageError(L"expected NAME=VALUE, got \"" + pair + L"\"");
        NewValue value{pair.substr(0, eq), pair.substr(eq + 1)};
        if (date) {
            value.isDate = true;
            if (!ParseDate(value.text, value.date))
                return UsageError(L"not a date (YYYY-MM-DD[THH:MM[:SS]]): \"" + value.text + L"\"");
        }
        request.values.push_back(value);
    }
    if (request.values.empty()) return UsageError(L"set needs at least one NAME=VALUE or --date NAME=DATE");
    return 0;
}

// The text the plug-in makes of a date in a style: the same formatter.
std::wstring DateText(double date, long style) {
    scanleaf::Str text;
    return scanleaf::FormatDate(text, date, int(style)) ? text.Text() : std::wstring();
}

std::wstring StyleList(const std::vector<int>& styles) {
    std::wstring list;
    for (int s : styles) list += (list.empty() ? L"" : L", ") + std::to_wstring(s);
    return list;
}

class SetCheck {
public:
    SetCheck(IVorFileFormat* format, const SetRequest& request) : format_(format), request_(request) {}

    std::vector<std::wstring> problems;

    void Run(const std::vector<CardEntry>& card) {
        if (request_.styleGiven && !IsDateStyle(request_.style)) {
            std::vector<int> all(std::begin(kDateStyles), std::end(kDateStyles));
            problems.push_back(L"--style " + std::to_wstring(request_.style) + L": no such date style (the styles: " +
                               StyleList(all) + L")");
        }
        std::set<std::wstring> seen;
        std::vector<NewValue> writable;
        for (const NewValue& v : request_.values) {
            const CardEntry* entry = nullptr;
            for (const CardEntry& e : card)
                if (!entry && Lower(e.name) == Lower(v.name)) entry = &e;
            const std::wstring shown = v.isDate ? v.text : Quote(v.text);
            if (!seen.insert(Lower(v.name)).second)
                problems.push_back(v.name + L": named twice in the request");
            else if (!entry)
                problems.push_back(v.name + L": not a variable of " + request_.path);
            else if (entry->readOnly)
                problems.push_back(v.name + L": read-only: the request changes " + Quote(entry->value) + L" to " + shown);
            else if (!v.isDate && !FitsCodePage(v.text))
                problems.push_back(v.name + L": " + CodePageProblem(v.text));
            else
                writable.push_back(v);
        }
        // What the others would store is worth knowing too: every problem is listed at once.
        if (!writable.empty()) TrialSave(writable);
    }

private:
    void Problem(const std::wstring& text) { problems.push_back(text); }

    void TrialSave(const std::vector<NewValue>& values) {
        HeaderState state;
        std::vector<std::wstring> stored;
        HRESULT hr = ReadHeaderState(request_.path, state);
        if (SUCCEEDED(hr)) hr = trial_.Store(format_, state.header, values, request_.style, stored);
        if (FAILED(hr)) return Problem(L"a trial save failed: " + DescribeHresult(hr));
        for (size_t i = 0; i < stored.size(); ++i) {
            const NewValue& v = values[i];
            const std::wstring asked = v.isDate ? DateText(v.date, request_.style) : v.text;
            if (StoredAsAsked(asked, stored[i])) continue;
            if (!v.isDate) {
                Problem(v.name + L": " + (v.text.empty() ? L"an empty value is stored as \"NONE\", which does not fit its slot: "
                                                          : Quote(v.text) + L" does not fit its slot: ") +
                        Quote(stored[i]) + L" would be stored");
                continue;
            }
            Problem(v.name + L": " + v.text + L" in date style " + std::to_wstring(request_.style) + L" is " +
                    Quote(asked) + L", which does not fit its slot: " + Quote(stored[i]) + L" would be stored; " +
                    FittingStyles(v, state.header));
        }
    }

    // The styles whose text of the date the slot holds whole, found by storing the widest text.
    std::wstring FittingStyles(const NewValue& v, const std::string& header) {
        std::vector<std::wstring> stored;
        if (FAILED(trial_.Store(format_, header, {{v.name, std::wstring(128, L'X')}}, 0, stored)) || stored.empty())
            return L"see the date styles in the manual";
        const size_t room = TrimRight(stored[0]).size();
        std::vector<int> fitting;
        for (int style : kDateStyles)
            if (DateText(v.date, style).size() <= room) fitting.push_back(style);
        if (fitting.empty()) return L"no date style fits its " + std::to_wstring(room) + L" characters";
        return L"the styles that fit: " + StyleList(fitting) + L" (--style N)";
    }

    IVorFileFormat* format_;
    const SetRequest& request_;
    TrialFile trial_;
};

} // namespace

int Set(const std::vector<std::wstring>& args, const Options& options) {
    SetRequest request;
    if (int rc = ParseRequest(args, request)) return rc;
    toolsupport::Plugin plugin;
    if (int rc = LoadPlugin(plugin, options)) return rc;
    IVorFileFormat* format = plugin.Format();
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
    SetCheck check(format, request);
    check.Run(card);
    if (!check.problems.empty()) {
        for (const std::wstring& p : check.problems) Err(request.path + L": " + p + L"\n");
        Err(std::to_wstring(check.problems.size()) + L" problem(s); the file was not changed\n");
        return 1;
    }
    scanleaf::ComPtr<IVorFileNavigator> navigator;
    bool allTaken = false;
    hr = WriteValues(format, request.path, request.values, request.style, navigator, allTaken);
    if (SUCCEEDED(hr) && !allTaken) hr = E_ACCESSDENIED; // the settings file changed since the check
    if (SUCCEEDED(hr)) hr = navigator->SaveFile();
    if (FAILED(hr)) {
        Err(request.path + L": not saved: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(request.path + L": " + std::to_wstring(request.values.size()) + L" value(s) saved\n");
    return 0;
}

} // namespace card
