#include "tests/tools/CardRun.h"

#include "tests/support/CalsFixtures.h"

#include <vector>

namespace testsupport {

std::string ReadText(const std::wstring& path) {
    std::vector<unsigned char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

namespace {

ToolRun RunCard(const std::wstring& arguments, const TempFolder& scratch, bool oneLog) {
    std::wstring outPath = scratch.File(L"stdout.txt");
    std::wstring errPath = scratch.File(L"stderr.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = oneLog ? out : CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::wstring folder = ProgramFolder();
    std::wstring command = L"\"" + folder + L"\\scanleaf-card.exe\" --dll \"" + folder + L"\\Scanleaf.dll\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out;
    startup.hStdError = err;
    ToolRun run;
    // A console of its own would take the handles' place: the tool writes to the files given.
    run.exitCode = RunToEnd(command, startup, 0);
    CloseHandle(out);
    if (!oneLog) CloseHandle(err);
    run.out = ReadText(outPath);
    if (!oneLog) run.err = ReadText(errPath);
    return run;
}

} // namespace

ToolRun Card(const std::wstring& arguments, const TempFolder& scratch) { return RunCard(arguments, scratch, false); }

ToolRun CardOneLog(const std::wstring& arguments, const TempFolder& scratch) { return RunCard(arguments, scratch, true); }

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

} // namespace testsupport
