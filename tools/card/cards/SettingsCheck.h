// The check of a settings file as the plug-in will read it: each finding with its line (errors
// for a section that makes an open fail and a section header without its "]"; warnings for what
// is ignored or given twice, surplus names or positions, a Readonly that is neither 0 nor 1, and
// UTF-8 text where the plug-in reads the ANSI code page).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace card {

struct SettingsFindings {
    std::vector<std::wstring> lines; // "line 3: error   [srcdocid] ...", in line order
    std::size_t sections = 0;
    int errors = 0;
    int warnings = 0;
};

// `file` is read through the profile functions as the plug-in reads it; `bytes` are its bytes.
SettingsFindings CheckSettingsFile(const std::wstring& file, const std::string& bytes);

} // namespace card
