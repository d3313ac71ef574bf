// Where a batch command's outputs go, decided with its plan before any work: -o read as a file or
// a folder, folders made to any depth, every name checked against what existed before the run,
// and the record of what went into each output, by which --skip-existing judges it.
#pragma once

#include "cardcore/BatchPlan.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace card {

struct OutputTarget {
    std::wstring file;   // -o names the one output (its path without the extension in `stem`)
    std::wstring stem;
    std::wstring folder; // else the outputs go here
    bool Single() const { return !file.empty(); }
};

// -o as a command reads it: a name ending in one of `fileExtensions` (".pdf") is the one output;
// a name ending in another extension that the tool writes (".tif" to --to pdf) is a usage error,
// said in `error`; anything else is a folder, the current one when -o is not given (a usage error
// for a command that writes no folder of outputs).
bool ReadOutputTarget(const std::wstring& given, const std::vector<std::wstring>& fileExtensions,
                      const wchar_t* what, OutputTarget& target, std::wstring& error, bool folders = true);

// The folder and every missing folder above it; empty, or why not, with the system's reason.
std::wstring MakeFolders(const std::wstring& folder);
// The folders that a file's name has above it (none for a bare name), as MakeFolders.
std::wstring MakeFoldersOf(const std::wstring& file);
// Where -o points: its folder, or the folders above its one file.
std::wstring MakeTargetFolders(const OutputTarget& target);

// Why the output cannot be written over, or empty: a folder of that name (which nothing
// replaces), or a file that was there before the run (which `overwriteHelps` says --overwrite
// replaces).
std::wstring OccupiedText(const std::wstring& output, bool overwriteHelps);
bool Exists(const std::wstring& path);

// "cannot write PATH: REASON", from the error of the call that failed.
std::wstring CannotWrite(const std::wstring& path, DWORD error);

// What stands in an output's way before the run, or empty: a folder of its name, or (unless
// `replaceExisting`) a file that was there already.
std::wstring InTheWay(const std::wstring& output, bool replaceExisting, bool overwriteHelps);

// Every output of a run, named before any work by the core (case-blind, none a source's name),
// and for each source what stands in the way of its first blocked output (empty: nothing).
struct OutputPlan {
    std::vector<std::vector<std::wstring>> names;
    std::vector<std::wstring> blocked;
};
// `everyone` is the whole walk (every shard's sources), and the plan is that of the sources at
// `mine` in it, named as a run of the whole walk names them.
OutputPlan PlanOutputs(const std::vector<scanleaf::core::PlannedSource>& everyone, const std::vector<size_t>& mine,
                       const OutputTarget& target, const std::wstring& extension, bool replaceExisting,
                       bool overwriteHelps);

// A source's identity for the record: its size and a hash of every byte.
bool IdentifyFile(const std::wstring& path, std::uint64_t& size, std::uint64_t& hash);
std::uint64_t HashBytes(const void* bytes, std::size_t size);

// What went into an output, kept in FOLDER\.scanleaf\NAME.inputs beside it with the output's
// size; --skip-existing leaves alone an output whose record equals the one this run would write.
class InputsKept {
public:
    enum class Verdict { Missing, UpToDate, NoRecord, SourceChanged, OptionChanged, OutputChanged, OtherVersion };
    // `option`, when given, gets the name of the option that changed (Verdict::OptionChanged).
    static Verdict Judge(const std::wstring& output, const scanleaf::core::InputRecord& record,
                         std::wstring* option = nullptr);
    // Written whole once the output is in place; false when it could not be (the output stays,
    // and a later --skip-existing makes it again).
    static bool Keep(const std::wstring& output, const scanleaf::core::InputRecord& record);
    static std::wstring RecordPath(const std::wstring& output);
    // " (up to date)", " (made again: a source changed)" and so on, for an output's line.
    // "an option changed: --pdfa" where `option` names it.
    static std::wstring Note(Verdict verdict, const std::wstring& option = std::wstring());
};

} // namespace card
