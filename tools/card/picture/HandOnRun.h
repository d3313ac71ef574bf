// A run that hands drawings on as PDF or TIFF: each drawing read, checked and its card read on
// the jobs' threads, written into a document of its own there, or into one document of them all
// here in path order; --skip-existing judged by what made each document.
#pragma once

#include "cardcore/BatchPlan.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/picture/Documents.h"

namespace card {

struct HandOnRun {
    OutputTarget output;              // one document, or a folder of one a drawing
    bool pdf = true;                  // else TIFF
    HandOn how;
    bool skipExisting = false;
    bool overwrite = false;
    scanleaf::core::InputRecord record; // what the options make of a document, for --skip-existing
};

// The run's exit code, its closing line said.
int HandOnDrawings(Batch& batch, const HandOnRun& run, IVorFileFormat* format);

} // namespace card
