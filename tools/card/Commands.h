// The commands of scanleaf-card.
#pragma once

#include "tools/card/CommandTable.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace toolsupport {
class Plugin;
}

namespace card {

struct Options {
    std::wstring dllPath; // empty: the registered class, else the DLL beside the program
};

inline constexpr int kUsageError = 2;

// Says what is wrong with the arguments in one line; returns kUsageError (the command's
// synopsis and where to find help follow from main).
int UsageError(const std::wstring& message);

// The command's arguments read by its table; false after saying in one line what is wrong.
bool ReadArguments(const wchar_t* command, const std::vector<std::wstring>& args, Arguments& out);
// The option's value when it is one of `choices` (or `otherwise` when not given); false after
// saying what it takes.
bool ReadChoice(const Arguments& args, const wchar_t* option, std::initializer_list<const wchar_t*> choices,
                const wchar_t* otherwise, std::wstring& value);

// Loads the plug-in as the options say; 0, or 1 after saying why it could not.
int LoadPlugin(toolsupport::Plugin& plugin, const Options& options);

// Returns the process exit code: 0 success, 1 a failure, 2 a usage error.
int Run(const std::wstring& command, const std::vector<std::wstring>& args, const Options& options);

int Info(const Options& options);
int Show(const std::vector<std::wstring>& args, const Options& options);
int Set(const std::vector<std::wstring>& args, const Options& options);
int Check(const std::vector<std::wstring>& args);
int Registration(bool registering, const Options& options);
int Settings(const std::vector<std::wstring>& args);
int Help(const std::vector<std::wstring>& args);
int Export(const std::vector<std::wstring>& args, const Options& options);
int Import(const std::vector<std::wstring>& args, const Options& options);
int Undo(const std::vector<std::wstring>& args);
int Verify(const std::vector<std::wstring>& args, const Options& options);
int Render(const std::vector<std::wstring>& args, const Options& options);
int Sheet(const std::vector<std::wstring>& args, const Options& options);
int Convert(const std::vector<std::wstring>& args, const Options& options);
int Repair(const std::vector<std::wstring>& args, const Options& options);

// "2024-03-05", "2024-03-05T14:07" or "2024-03-05T14:07:09" as an OLE Automation date.
bool ParseDate(const std::wstring& text, double& date);

} // namespace card
