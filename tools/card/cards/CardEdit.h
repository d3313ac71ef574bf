// The one edit of a card that set, import and convert --to cals make: every value checked
// first, with typed problems that each command words for its own input, then written and saved
// through the plug-in, and, where nothing tried it before, read back.
#pragma once

#include "tools/card/cards/Card.h"
#include "tools/card/cards/Trial.h"

#include <string>
#include <utility>
#include <vector>

namespace card {

enum class EditFault {
    NamedTwice,   // the request names the variable twice (case-blind)
    NotAVariable, // the plug-in serves no variable of that name for the file
    ReadOnly,     // the variable is read-only; `current` is its value
    CodePage,     // the text has characters the system's code page cannot store
    DoesNotFit,   // the plug-in would store `stored`, not what was asked
    TrialFailed,  // the scratch save could not be made: `hr`
};

struct EditProblem {
    explicit EditProblem(EditFault f, size_t v = 0, std::wstring cur = std::wstring(), std::wstring st = std::wstring(),
                         HRESULT h = S_OK)
        : fault(f), value(v), current(std::move(cur)), stored(std::move(st)), hr(h) {}
    EditFault fault;
    size_t value;         // the value's place in the request
    std::wstring current; // ReadOnly
    std::wstring stored;  // DoesNotFit
    HRESULT hr;           // TrialFailed
};

// The card's entry of that name (case-blind), or null.
const CardEntry* FindEntry(const std::vector<CardEntry>& card, const std::wstring& name);

// Why a text value is not stored as asked: its leading (or trailing) blanks, which the header
// does not keep, or its length: "\"  lead\" loses its leading blanks: \"lead\" would be stored",
// "\"ABCDEFGH\" does not fit its slot: \"ABCD\" would be stored".
std::wstring NotStoredText(const std::wstring& asked, const std::wstring& stored);

// "2024-03-05", "2024-03-05T14:07" or "2024-03-05T14:07:09" as an OLE Automation date; false
// for another shape or a day the calendar does not have.
bool ParseDate(const std::wstring& text, double& date);
// The same, with why not: another shape, a year before 1601, a day the month lacks, or the zero
// date, which the host reads as none. Empty when `date` was set.
std::wstring DateProblem(const std::wstring& text, double& date);
// NAME=VALUE as a value to write (the value may be empty, the name not); false for other text.
bool ReadNameValue(const std::wstring& text, NewValue& value);
// The text the plug-in makes of a date in a style: the same formatter.
std::wstring DateText(double date, long style);

class CardEdit {
public:
    explicit CardEdit(IVorFileFormat* format) : format_(format) {}

    // Each value against the card: named twice, not a variable, read-only, not in the code page
    // (a date's text is the plug-in's own). `passed` gets the places of the values without one.
    static std::vector<EditProblem> CheckNames(const std::vector<CardEntry>& card, const std::vector<NewValue>& values,
                                               std::vector<size_t>* passed = nullptr);
    // What the plug-in would store of each value, by its own write and save on a scratch copy of
    // the file's header; a date is asked as its text in `style`.
    std::vector<EditProblem> CheckStored(const std::wstring& path, const std::vector<NewValue>& values, long style);
    // Both: the stored values tried only for the names that passed. Every problem at once.
    std::vector<EditProblem> Check(const std::wstring& path, const std::vector<CardEntry>& card,
                                   const std::vector<NewValue>& values, long style);
    // The characters a variable's slot holds, found by storing the widest text; 0 when unknown.
    size_t Room(const std::wstring& path, const std::wstring& name);

    // Writes every value and saves. A value the plug-in did not take (its settings changed since
    // the check) fails it with E_ACCESSDENIED, and nothing is saved.
    HRESULT Save(const std::wstring& path, const std::vector<NewValue>& values, long style);
    // The card read back after a save: a DoesNotFit problem for each text value not stored as asked.
    HRESULT ReadBack(const std::wstring& path, const std::vector<NewValue>& values, std::vector<EditProblem>& problems);

private:
    IVorFileFormat* format_;
    TrialFile trial_;
};

} // namespace card
