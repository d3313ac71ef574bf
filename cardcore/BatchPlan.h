// What a batch run decides before any work: which sources are its share, and the name of every
// output. Pure: paths in, names out, so that a run's names depend on its sources alone, never on
// its job count, its timing or what it has written so far.
#pragma once

#include "core/Platform.h"
#include "core/Text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scanleaf::core {

// A file's name without its folder and its last extension.
Text BaseName(const Text& path);

// --shard K/N: the share of a source is fixed by its path relative to the folder it was found
// in (or its name, for a file given as itself), so every machine that runs shard K of N takes
// the same sources, and the N shards together take every source once.
struct Shard {
    std::uint32_t index = 1; // K, from 1
    std::uint32_t count = 1; // N
    bool Splits() const { return count > 1; } // a share of a run, not the whole of it
    bool Takes(const Text& relative, const LowerCaser& lower) const;
};
// "K/N" with 1 <= K <= N <= 100000; false for anything else.
bool ParseShard(const Text& text, Shard& shard);
// "K/N" (the text that ParseShard reads).
Text ShardText(const Shard& shard);

// --shard K/N, or the share a scheduler gives the task: "auto" from a Slurm job array
// (SLURM_ARRAY_TASK_ID from SLURM_ARRAY_TASK_MIN in steps of SLURM_ARRAY_TASK_STEP, 1 when unset,
// SLURM_ARRAY_TASK_COUNT tasks), "auto/N" from a Kubernetes indexed Job (JOB_COMPLETION_INDEX,
// from 0, of N) or from a Slurm array of N tasks. `variable` gives a variable's value (empty: not
// set). The message names what is wrong and which variables were read; empty when `shard` is set.
// Linear in the text; a variable is read as a number of at most 9 digits, anything longer refused.
inline constexpr char kShardVariables[] =
    "SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_MIN and SLURM_ARRAY_TASK_COUNT (a Slurm job array) or "
    "JOB_COMPLETION_INDEX (a Kubernetes indexed Job, with --shard auto/N)";
std::string ResolveShard(const Text& text, Text (*variable)(const char* name), Shard& shard);
// FNV-1a over the path's UTF-16 units, lower case and with "/" made "\": the same on every
// machine and every processor.
std::uint64_t ShardHash(const Text& relative, const LowerCaser& lower);

// How outputs are named: FOLDER\BASE + EXTENSION for a source of one page,
// FOLDER\BASE-p001 + EXTENSION and on for one of several; " (2)" and on after BASE where a name
// of an earlier source, or a source itself, has it already (case-blind).
struct OutputNaming {
    Text folder;    // empty: `single` names the one output
    Text single;    // the whole name of the one output, without its extension
    Text extension; // ".pdf"
};

struct PlannedSource {
    Text path;              // as every message shows it
    std::uint32_t outputs;  // pages that become files (1 for most sources)
    // Each page's own name where the source carries one (a PDF page's title or bookmark); a
    // source of several pages names those pages by it, the rest by their number.
    std::vector<Text> titles = {};
};

// A title as a file's name: characters no file name holds made "_", blanks and dots trimmed at
// both ends, a device's name (CON, NUL, COM1...) given a "_" before it, at most 120 characters;
// empty when nothing is left.
Text FileNameOf(const Text& title);

// Every source's output names, in the sources' order.
std::vector<std::vector<Text>> PlanOutputNames(const std::vector<PlannedSource>& sources, const OutputNaming& naming,
                                               const LowerCaser& lower);

// What went into an output, as text kept beside it: the options that change it and, in order,
// each source's path, size and content hash. An output whose record differs is made again.
class InputRecord {
public:
    void Option(const Text& name, const Text& value);
    void Source(const Text& path, std::uint64_t size, std::uint64_t hash);
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_ = "scanleaf-card inputs 1\n";
};

// What differs between the record kept beside an output and the one a run would write, in the
// order that explains it best: an option (the first one added, removed or changed, named), a
// source, the tool's version, else the output itself.
struct RecordChange {
    enum Kind { Same, Option, Source, Tool, Output };
    Kind kind = Same;
    Text option; // Kind Option: its name ("--pdfa", "value notes")
};
RecordChange CompareRecords(const std::string& kept, const std::string& wanted);

// A row that a resumable run keeps for one source, with the source's identity, so that a
// continued run takes the row only while the source's size and content hash are what they were.
struct KeptRow {
    Text path;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    std::string row; // the command's own line: any bytes
};
// One line: "row", the path, the size, the hash and the row, by tabs (fields as in InputRecord).
std::string FormatKeptRow(const KeptRow& kept);
// False for a line that FormatKeptRow did not make.
bool ParseKeptRow(const std::string& line, KeptRow& kept);
// The first line of a file of kept rows: what made them (the command, its options, the version).
std::string FormatRunLine(const Text& run);
bool ParseRunLine(const std::string& line, Text& run);

// A file's content in 64 bits, over bytes given in any number of pieces: zlib's CRC-32 in the
// high half and its Adler-32 in the low, together a third of FNV-1a's time a byte in the 32-bit
// tool, where every drawing handed on is hashed whole.
class ContentHash {
public:
    void Add(const void* bytes, std::size_t size);
    std::uint64_t Value() const { return (std::uint64_t(crc_) << 32) | adler_; }

private:
    std::uint32_t crc_ = 0;   // zlib's starting values
    std::uint32_t adler_ = 1;
};

} // namespace scanleaf::core
