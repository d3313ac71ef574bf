// A file's data card: every variable the plug-in serves for it, with value and writability.
#pragma once

#include "host/VorHost.h"

#include <map>
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

// Variable names by the records a header holds: the files of one scanner or converter share
// them, so a batch works them out once per distinct set (with the settings file as it was then)
// and reads only the header bytes of the other files. Holds at most a few hundred sets.
class NameCache {
public:
    HRESULT Names(const std::wstring& path, std::vector<std::wstring>& names);

private:
    std::map<std::string, std::vector<std::wstring>> bySignature_;
};

// Names from the project's own tag list (through `cache` when given); values and writability
// through the plug-in's interfaces.
HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card,
                 NameCache* cache = nullptr);

} // namespace card
