// convert: drawings handed on as PDF or TIFF with their Group 4 streams unchanged, each decoded
// in full first (unless --no-check) so that nothing damaged leaves, the card carried along; and
// (ConvertCals) pictures made CALS files.
#include "tools/card/commands/Commands.h"
#include "tools/card/commands/ConvertCals.h"
#include "tools/card/picture/HandOnRun.h"
#include "tools/common/Plugin.h"

namespace card {

namespace {

// What changes a document, for --skip-existing: its options, named by their entries.
scanleaf::core::InputRecord Record(const ConvertOptions& options) {
    scanleaf::core::InputRecord record;
    record.Option(kTo.entry.name, kTargets.Word(options.to));
    record.Option(kTitle.entry.name, options.title);
    if (options.pdfa != scanleaf::core::Pdfa::None) record.Option(kPdfa.entry.name, kPdfaParts.Word(options.pdfa));
    return record;
}

} // namespace

int Convert(const ConvertOptions& options, const Setup& setup) {
    if (options.to == Target::Cals) return ConvertToCals(options, setup);
    // The other mode's options are refused by the parser (the command list says which are whose).
    const bool pdf = options.to == Target::Pdf;
    const HandOn how{!options.noCheck, options.title, options.pdfa};
    OutputTarget output;
    std::wstring error;
    if (!ReadOutputTarget(options.output, pdf ? std::vector<std::wstring>{L".pdf"} : std::vector<std::wstring>{L".tif", L".tiff"},
                          pdf ? L"--to pdf" : L"--to tiff", output, error))
        return UsageError(error);
    Batch batch(L"convert", options, setup.Extensions());
    HandOnRun run{output, pdf, how, options.skipExisting, options.overwrite, Record(options)};
    return HandOnDrawings(batch, run, setup.Format());
}

} // namespace card
