#include "tools/card/card/CardEdit.h"

#include "hostenv/FormatDate.h"
#include "tools/card/batch/Files.h"
#include "tools/card/card/HeaderFile.h"

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

bool ParseDate(const std::wstring& text, double& date) {
    SYSTEMTIME t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    wchar_t tail = 0;
    int n = swscanf(text.c_str(), L"%4d-%2d-%2dT%2d:%2d:%2d%lc", &year, &month, &day, &hour, &minute, &second, &tail);
    bool shapeOk = (n == 3 && text.size() == 10) || (n == 5 && text.size() == 16) || (n == 6 && text.size() == 19);
    if (!shapeOk || year < 1601 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    // Days the calendar has, counted here: not every system's conversion refuses 29 February of
    // a common year.
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return SystemTimeToVariantTime(&t, &date) != 0;
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
