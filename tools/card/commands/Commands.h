// The commands of scanleaf-card: one function a command, each in a file of its name, run by
// the command list with its typed options once they are read and what it needs is set up.
#pragma once

#include "cardcore/BatchPlan.h"
#include "tools/card/commands/CommandLine.h"
#include "tools/card/commands/Options.h"

#include <string>
#include <vector>

namespace card {

inline constexpr int kUsageError = 2;

// Says what is wrong with the arguments in one line; returns kUsageError (the command's
// synopsis and where to find help follow from main).
int UsageError(const std::wstring& message);

// Reads the command's arguments by its table, sets up what it needs and runs it. Returns the
// process exit code: 0 success, 1 a failure, 2 a usage error.
int Run(const std::wstring& command, const std::vector<std::wstring>& args, const std::wstring& dllPath);

int Info(const NoOptions& options, const Setup& setup);
int Show(const ShowOptions& options, const Setup& setup);
int Set(const SetOptions& options, const Setup& setup);
int Check(const NoOptions& options, const Setup& setup);
int Register(const NoOptions& options, const Setup& setup);
int Unregister(const NoOptions& options, const Setup& setup);
int Settings(const SettingsOptions& options, const Setup& setup);
int Help(const NoOptions& options, const Setup& setup);
int Export(const ExportOptions& options, const Setup& setup);
int Import(const ImportOptions& options, const Setup& setup);
int Undo(const NoOptions& options, const Setup& setup);
int Verify(const VerifyOptions& options, const Setup& setup);
int Render(const RenderOptions& options, const Setup& setup);
int Sheet(const BatchOptions& options, const Setup& setup);
int Convert(const ConvertOptions& options, const Setup& setup);
int Repair(const RepairOptions& options, const Setup& setup);

} // namespace card
