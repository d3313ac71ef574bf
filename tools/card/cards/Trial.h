// What the plug-in would store: new values written through its own write and save into a
// scratch copy of a header and read back, before a file is touched. Shared by set and import.
#pragma once

#include "host/VorHost.h"
#include "hostenv/ComPtr.h"

#include <windows.h>

#include <string>
#include <vector>

namespace card {

// One variable's new value: text, or a date written in the request's date style.
struct NewValue {
    std::wstring name;
    std::wstring text;
    bool isDate = false;
    double date = 0;
};

// Opens the file through the plug-in and writes the values into it, unsaved; `allTaken` says
// whether the plug-in took every one.
HRESULT WriteValues(IVorFileFormat* format, const std::wstring& path, const std::vector<NewValue>& values, long style,
                    scanleaf::ComPtr<IVorFileNavigator>& navigator, bool& allTaken);

// A scratch file in the temporary folder, removed when done.
class TrialFile {
public:
    TrialFile();
    ~TrialFile();
    TrialFile(const TrialFile&) = delete;
    TrialFile& operator=(const TrialFile&) = delete;

    // Saves the values into a copy of `header` and reads each back as stored.
    HRESULT Store(IVorFileFormat* format, const std::string& header, const std::vector<NewValue>& values, long style,
                  std::vector<std::wstring>& stored);

private:
    std::wstring path_;
};

// Text that the system's ANSI code page holds exactly: no default character, no best fit.
bool FitsCodePage(const std::wstring& text);
// "... has characters that the code page 1252 cannot store"
std::wstring CodePageProblem(const std::wstring& text);

std::wstring Quote(const std::wstring& text);
std::wstring TrimRight(std::wstring text);

// The text a stored value must read back as: an empty text is stored as "NONE".
bool StoredAsAsked(const std::wstring& asked, const std::wstring& stored);

} // namespace card
