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

private:
    IVorFileFormat* format_;
    // The records handed to ReadVariable, kept while the files' variables stay the same, as
    // they do across one scanner's files.
    std::vector<std::wstring> names_;
    std::unique_ptr<toolsupport::VariableArray> records_;
};

// One file's card.
HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card);

} // namespace card
