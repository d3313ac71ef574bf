// A file's data card: every variable the plug-in serves for it, with value and writability.
#pragma once

#include "host/VorHost.h"
#include "tools/common/VariableArray.h"

#include <memory>
#include <string>
#include <vector>

namespace card {

struct CardEntry {
    std::wstring name;
    std::wstring value;
    bool found = false;
    bool readOnly = true;
};

// Every variable the plug-in serves for a file, in card order: names and writability from its
// list, values through ReadVariable, from one open of the file.
class CardReader {
public:
    explicit CardReader(IVorFileFormat* format) : format_(format) {}
    HRESULT Read(const std::wstring& path, std::vector<CardEntry>& card);
    // The same for a file whose first bytes the caller has already found to be a CALS header
    // (IsForeignHeader): the file is opened once, by the plug-in.
    HRESULT ReadChecked(const std::wstring& path, std::vector<CardEntry>& card);

private:
    IVorFileFormat* format_;
    // The records handed to ReadVariable, kept while the files' variables stay the same, as
    // they do across one scanner's files.
    std::vector<std::wstring> names_;
    std::unique_ptr<toolsupport::VariableArray> records_;
};

// The card's state as one short text, "card-" and 16 hexadecimal digits (a 64-bit FNV-1a hash
// of every name and value in card order): plain ASCII that no spreadsheet reads as a number
// or a date. Equal cards give equal texts; any change to a name or value changes it but for
// a chance of one in 2^64.
std::wstring CardState(const std::vector<CardEntry>& card);
bool IsCardState(const std::wstring& text);

// One reader a job: each keeps its own records and opens its own navigators.
std::vector<std::unique_ptr<CardReader>> CardReaders(IVorFileFormat* format, unsigned count);

// One file's card.
HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card);

} // namespace card
