#include "tools/card/cards/CardEdit.h"

#include "hostenv/FormatDate.h"
#include "tools/card/batch/Files.h"
#include "tools/card/cards/HeaderFile.h"

#include <oleauto.h>

#include <cwchar>
#include <set>

namespace card {

const CardEntry* FindEntry(const std::vector<CardEntry>& card, const std::wstring& name) {
    const std::wstring lower = Lower(name);
    for (const CardEntry& e : card)
        if (Lower(e.name) == lower) return &e;
    return nullptr;
}

std::wstring DateProblem(const std::wstring& text, double& date) {
    SYSTEMTIME t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    wchar_t tail = 0;
    int n = swscanf(text.c_str(), L"%4d-%2d-%2dT%2d:%2d:%2d%lc", &year, &month, &day, &hour, &minute, &second, &tail);
    bool shapeOk = (n == 3 && text.size() == 10) || (n == 5 && text.size() == 16) || (n == 6 && text.size() == 19);
    if (!shapeOk || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return L"not a date (YYYY-MM-DD[THH:MM[:SS]]): \"" + text + L"\"";
    if (year < 1601) return L"\"" + text + L"\" is before 1601-01-01, the earliest date that can be written";
    // Days the calendar has, counted here: not every system's conversion refuses 29 February of
    // a common year.
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > days)
        return L"\"" + text + L"\" is no day of the calendar: that month has " + std::to_wstring(days) + L" days";
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    if (!SystemTimeToVariantTime(&t, &date)) return L"\"" + text + L"\" cannot be made a date by the system";
    // The host's zero date means "no date": the plug-in writes no text for it.
    if (date == 0.0)
        return L"\"" + text + L"\" is the zero date (1899-12-30 at midnight), which the host takes for no date";
    return std::wstring();
}

bool ParseDate(const std::wstring& text, double& date) { return DateProblem(text, date).empty(); }

bool ReadNameValue(const std::wstring& text, NewValue& value) {
    const size_t eq = text.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return false;
    value = {text.substr(0, eq), text.substr(eq + 1)};
    return true;
}

std::wstring NotStoredText(const std::wstring& asked, const std::wstring& stored) {
    const std::wstring quoted = L"\"" + asked + L"\"", kept = L"\"" + stored + L"\" would be stored";
    const size_t first = asked.find_first_not_of(L' ');
    if (first != std::wstring::npos && first > 0 && stored.compare(0, asked.size() - first, asked, first) == 0)
        return quoted + L" loses its leading blanks, which the header does not keep: " + kept;
    const size_t last = asked.find_last_not_of(L' ');
    if (last != std::wstring::npos && last + 1 < asked.size() && stored == asked.substr(0, last + 1))
        return quoted + L" loses its trailing blanks, which the header does not keep: " + kept;
    return quoted + L" does not fit its slot: " + kept;
}

std::wstring DateText(double date, long style) {
    scanleaf::Str text;
    return scanleaf::FormatDate(text, date, int(style)) ? text.Text() : std::wstring();
}

std::vector<EditProblem> CardEdit::CheckNames(const std::vector<CardEntry>& card, const std::vector<NewValue>& values,
                                              std::vector<size_t>* passed) {
    std::vector<EditProblem> problems;
    std::set<std::wstring> seen;
    for (size_t i = 0; i < values.size(); ++i) {
        const NewValue& v = values[i];
        const CardEntry* entry = FindEntry(card, v.name);
        if (!seen.insert(Lower(v.name)).second)
            problems.emplace_back(EditFault::NamedTwice, i);
        else if (!entry)
            problems.emplace_back(EditFault::NotAVariable, i);
        else if (entry->readOnly)
            problems.emplace_back(EditFault::ReadOnly, i, entry->value);
        else if (!v.isDate && !FitsCodePage(v.text))
            problems.emplace_back(EditFault::CodePage, i);
        else if (passed)
            passed->push_back(i);
    }
    return problems;
}

std::vector<EditProblem> CardEdit::CheckStored(const std::wstring& path, const std::vector<NewValue>& values,
                                               long style) {
    std::vector<EditProblem> problems;
    if (values.empty()) return problems;
    HeaderState state;
    std::vector<std::wstring> stored;
    HRESULT hr = ReadHeaderState(path, state);
    if (SUCCEEDED(hr)) hr = trial_.Store(format_, state.header, values, style, stored);
    if (FAILED(hr)) {
        return {EditProblem(EditFault::TrialFailed, 0, std::wstring(), std::wstring(), hr)};
    }
    for (size_t i = 0; i < stored.size() && i < values.size(); ++i) {
        const NewValue& v = values[i];
        if (!StoredAsAsked(v.isDate ? DateText(v.date, style) : v.text, stored[i]))
            problems.emplace_back(EditFault::DoesNotFit, i, std::wstring(), stored[i]);
    }
    return problems;
}

std::vector<EditProblem> CardEdit::Check(const std::wstring& path, const std::vector<CardEntry>& card,
                                         const std::vector<NewValue>& values, long style) {
    std::vector<size_t> passed;
    std::vector<EditProblem> problems = CheckNames(card, values, &passed);
    // What the others would store is worth knowing too: every problem is listed at once.
    std::vector<NewValue> tried;
    for (size_t i : passed) tried.push_back(values[i]);
    for (EditProblem p : CheckStored(path, tried, style)) {
        if (p.fault != EditFault::TrialFailed) p.value = passed[p.value];
        problems.push_back(p);
    }
    return problems;
}

size_t CardEdit::Room(const std::wstring& path, const std::wstring& name) {
    HeaderState state;
    std::vector<std::wstring> stored;
    if (FAILED(ReadHeaderState(path, state)) ||
        FAILED(trial_.Store(format_, state.header, {{name, std::wstring(128, L'X')}}, 0, stored)) || stored.empty())
        return 0;
    return TrimRight(stored[0]).size();
}

HRESULT CardEdit::Save(const std::wstring& path, const std::vector<NewValue>& values, long style) {
    scanleaf::ComPtr<IVorFileNavigator> navigator;
    bool allTaken = false;
    HRESULT hr = WriteValues(format_, path, values, style, navigator, allTaken);
    if (FAILED(hr)) return hr;
    if (!allTaken) return E_ACCESSDENIED;
    return navigator->SaveFile();
}

HRESULT CardEdit::ReadBack(const std::wstring& path, const std::vector<NewValue>& values,
                           std::vector<EditProblem>& problems) {
    std::vector<CardEntry> card;
    const HRESULT hr = CardReader(format_).Read(path, card);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < values.size(); ++i) {
        const CardEntry* entry = FindEntry(card, values[i].name);
        if (entry && !values[i].isDate && !StoredAsAsked(values[i].text, entry->value))
            problems.emplace_back(EditFault::DoesNotFit, i, std::wstring(), entry->value);
    }
    return S_OK;
}

} // namespace card
