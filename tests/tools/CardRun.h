// Running scanleaf-card as a user does, loading the plug-in straight from the DLL beside it.
#pragma once

#include "tests/support/TestSupport.h"

#include <windows.h>

#include <string>

namespace testsupport {

// The settings file of the tool tests: srcdocid split into two sub-fields, rtype read-only.
inline constexpr char kCardSettings[] =
    "[srcdocid]\n"
    "Tagnames=drawingno;revision\n"
    "Tagpositions=1-8;10-10\n"
    "[rtype]\n"
    "Readonly=1\n";

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string ReadText(const std::wstring& path);
// Output goes through files in `scratch`.
ToolRun Card(const std::wstring& arguments, const TempFolder& scratch);
// Standard output and error into one file, as `>log 2>&1` gives them: `out` holds the log.
ToolRun CardOneLog(const std::wstring& arguments, const TempFolder& scratch);
std::wstring Quoted(const std::wstring& path);

} // namespace testsupport
