// The commands of scanleaf-card: one function a command, each in a file of its name, run by
// the command table once its arguments are read and what it needs is set up.
#pragma once

#include "core/BatchPlan.h"
#include "tools/card/commands/CommandTable.h"

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

// --jobs N, or one a processor.
unsigned JobsOf(const Arguments& args);
// --shard K/N, or every source.
scanleaf::core::Shard ShardOf(const Arguments& args);

int Info(const Arguments& args, const Setup& setup);
int Show(const Arguments& args, const Setup& setup);
int Set(const Arguments& args, const Setup& setup);
int Check(const Arguments& args, const Setup& setup);
int Register(const Arguments& args, const Setup& setup);
int Unregister(const Arguments& args, const Setup& setup);
int Settings(const Arguments& args, const Setup& setup);
int Help(const Arguments& args, const Setup& setup);
int Export(const Arguments& args, const Setup& setup);
int Import(const Arguments& args, const Setup& setup);
int Undo(const Arguments& args, const Setup& setup);
int Verify(const Arguments& args, const Setup& setup);
int Render(const Arguments& args, const Setup& setup);
int Sheet(const Arguments& args, const Setup& setup);
int Convert(const Arguments& args, const Setup& setup);
int Repair(const Arguments& args, const Setup& setup);

} // namespace card
