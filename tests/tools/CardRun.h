// Running scanleaf-card as a user does, loading the plug-in straight from the DLL beside it.
#pragma once

#include "tests/support/TestSupport.h"

#include <windows.h>

#include <string>

namespace testsupport {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string ReadText(const std::wstring& path);
// Output goes through files in `scratch`.
ToolRun Card(const std::wstring& arguments, const TempFolder& scratch);
std::wstring Quoted(const std::wstring& path);

} // namespace testsupport
