// The one driver of a batch command: the walk before any work (missing operands named and
// counted), "no files found", the jobs with their results reported in the files' order, the
// progress line, and the closing line with its exit code on every path. A command declares its
// counts, says what one file's work is and how its result is reported, and ends with End.
#pragma once

#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/batch/Progress.h"
#include "tools/card/batch/Tally.h"
#include "tools/card/batch/Walk.h"

#include <functional>
#include <string>

namespace card {

// What a batch command's options give its run; each command takes the options its list names.
struct BatchOptions {
    std::vector<std::wstring> operands; // files and folders
    bool recursive = false;
    unsigned jobs = DefaultJobs();
    scanleaf::core::Shard shard;
    bool skipExisting = false;
    bool overwrite = false;
    std::vector<std::wstring> resume; // the table a stopped run continues, then tables that lend their rows
    std::wstring output; // -o
};

class Batch {
public:
    // The run the options make: walks the operands at once, a folder standing for its files with
    // one of `extensions`; each operand that names nothing is said on standard error. `what`
    // names the files the command works on ("CALS files", "pictures").
    Batch(std::wstring title, const BatchOptions& options, std::vector<std::wstring> extensions,
          const wchar_t* what = L"CALS files");

    const Walked& Walk() const { return walked_; }
    const std::vector<Source>& Sources() const { return walked_.sources; }
    size_t Missing() const { return walked_.missing.size(); }

    // The counts of the closing line, in the order it shows them (see Tally).
    size_t& Count(const wchar_t* name, bool failing = false, Tally::Shown shown = Tally::Always) {
        return tally_.Count(name, failing, shown);
    }
    Tally& Counts() { return tally_; }

    // No source to work on, said once for every command (NothingFound), then the closing line.
    int NoneFound() { return End(NothingFound()); }
    // Whether a run without sources failed, and what is said of it: "no WHAT found" when the walk
    // found nothing (a failure; nothing more where an operand named nothing, which is said and
    // counted already), or that --shard's split left this shard none of those the walk found
    // (no failure: the other shards have them). Nothing when there are sources.
    bool NothingFound() const;
    // A run refused whole before any work: the reason, every source counted into `into`, the
    // closing line, exit 1.
    int Refuse(const std::wstring& reason, size_t& into);

    // The outputs' prologue, before any work: -o naming one output for several sources refused
    // ("-o X names one `one`, for N `many`; name a folder"; `one` null: the one output takes them
    // all), and the folders -o points at made. False when the run is refused (as Refuse, with its
    // exit code in `exit`).
    bool PrepareOutputs(const OutputTarget& target, const wchar_t* one, const wchar_t* many, size_t& into, int& exit);
    // Every output of the run named before any work from the whole walk, so that every job count
    // and every shard names alike: `planned` gives each source of the walk its outputs' count and
    // titles (empty: one output a source); each of this shard's sources gets its names and what
    // stands in their way (an output there before the run, unless `replace`).
    OutputPlan PlanOutputs(const OutputTarget& target, const std::wstring& extension, bool replace,
                           std::vector<scanleaf::core::PlannedSource> planned = {}) const;
    // The closing line on standard error; 1 when a failing count is above 0 or `failedOtherwise`.
    int End(bool failedOtherwise = false) const { return tally_.Report(failedOtherwise); }

    unsigned Jobs() const { return jobs_; }

    // Each source by the run's jobs: `work` on a job's thread, `report` here in the sources'
    // order, the progress line stepping after each. `stop`, when given, ends the adding of
    // sources once it says so (a resumable table that can no longer be kept).
    template <class Result>
    void Each(std::function<Result(unsigned worker, size_t index)> work, std::function<void(size_t index, Result& result)> report,
              std::function<bool()> stop = {}) {
        Progress progress(Sources().size());
        size_t done = 0;
        OrderedPool<size_t, Result> pool(jobs_, work, [&](const size_t& i, Result& result) {
            report(i, result);
            progress.Step(++done, Sources()[i].path);
        });
        for (size_t i = 0; i < Sources().size() && !(stop && stop()); ++i) pool.Add(i);
        pool.Finish();
        progress.Clear();
    }

private:
    WalkRequest request_;
    unsigned jobs_;
    const wchar_t* what_;
    Walked walked_;
    Tally tally_;
};

// What Batch::NothingFound says and answers, for a command that walks without a batch (show).
// "verify (shard 2/3)": the closing line of a shard's run says which shard it was.
std::wstring ShardTitle(std::wstring title, const scanleaf::core::Shard& shard);
bool SayNothingFound(const Walked& walked, const scanleaf::core::Shard& shard, const wchar_t* what = L"CALS files");

} // namespace card
