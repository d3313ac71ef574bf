// A file's data card: every variable the plug-in serves for it, with value and writability.
#pragma once

#include "host/VorHost.h"

#include <string>
#include <vector>

namespace card {

struct CardEntry {
    std::wstring name;
    std::wstring value;
    bool found = false;
    bool readOnly = true;
};

// The names that the plug-in serves for the file, in tag-list order, each once.
HRESULT VariableNames(const std::wstring& path, std::vector<std::wstring>& names);

// Names from the project's own tag list; values and writability through the plug-in's interfaces.
HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card);

} // namespace card
