// convert: drawings handed on as PDF or TIFF with their Group 4 streams unchanged, each decoded
// in full first (unless --no-check) so that nothing damaged leaves, the card carried along; and
// (ConvertCals) pictures made CALS files.
#include "cardcore/BatchPlan.h"
#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Outputs.h"
#include "tools/card/cards/Card.h"
#include "tools/card/commands/Commands.h"
#include "tools/card/commands/ConvertCals.h"
#include "tools/card/picture/Documents.h"
#include "tools/common/Plugin.h"

#include <memory>

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
    const Walked& walked = batch.Walk();
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);
    batch.Count(L"files") = files.size();
    size_t& written = batch.Count(L"written");
    size_t& upToDate = batch.Count(L"up to date", false, options.skipExisting ? Tally::Always : Tally::Never);
    size_t& leftOut = batch.Count(L"left out", true);
    size_t& failed = batch.Count(L"failed", true);
    failed = batch.Missing();
    auto summary = [&] { return batch.End(); };
    auto refuseAll = [&](const std::wstring& reason) { return batch.Refuse(reason, failed); };
    if (files.empty()) return batch.NoneFound();
    const bool combined = output.Single();
    const std::wstring extension = pdf ? L".pdf" : L".tif";
    const bool replaceExisting = options.overwrite || options.skipExisting;
    std::vector<std::wstring> outs(files.size()), occupied(files.size());
    // One document takes every drawing; else one a drawing, each refused where an output was
    // there before the run, unless --overwrite or --skip-existing.
    int refused = 0;
    if (!batch.PrepareOutputs(output, nullptr, nullptr, failed, refused)) return refused;
    if (combined) {
        const std::wstring problem = InTheWay(output.file, replaceExisting, true);
        if (!problem.empty()) return refuseAll(problem);
    } else {
        const OutputPlan plan = batch.PlanOutputs(output, extension, replaceExisting);
        for (size_t i = 0; i < files.size(); ++i) outs[i] = plan.names[i][0];
        occupied = plan.blocked;
    }
    std::unique_ptr<Document> together;
    // One document of them all is left alone when it was made from the same drawings, in the same
    // order, with the same options.
    scanleaf::core::InputRecord togetherRecord = Record(options);
    if (combined && options.skipExisting) {
        for (const std::wstring& f : files) {
            std::uint64_t size = 0, hash = 0;
            if (IdentifyFile(f, size, hash)) togetherRecord.Source(f, size, hash);
        }
        std::wstring option;
        const InputsKept::Verdict verdict = InputsKept::Judge(output.file, togetherRecord, &option);
        if (verdict == InputsKept::Verdict::UpToDate) {
            Out(output.file + L": up to date\n");
            upToDate = files.size();
            return summary();
        }
        if (verdict != InputsKept::Verdict::Missing) Out(output.file + L":" + InputsKept::Note(verdict, option) + L"\n");
        togetherRecord = Record(options);
    }
    if (combined) {
        together = std::make_unique<Document>(output.file, pdf, how.pdfa);
        if (!together->Ok()) return refuseAll(CannotWrite(output.file, together->Error()));
    }
    scanleaf::core::CardValues onlyCard;
    std::wstring onlyTitle;
    // Drawings are read, decoded and their cards read on the jobs' threads, which also write a
    // document a drawing; one document of them all is written here, in path order.
    struct Loaded {
        InputsKept::Verdict verdict = InputsKept::Verdict::Missing; // UpToDate: left alone
        std::wstring changedOption;
        std::wstring problem; // left out
        std::wstring failure; // its document not written
        HandedDrawing drawing; // for the one document
        scanleaf::core::InputRecord record;
        std::uint64_t hash = 0; // of the drawing's bytes, made once on the job's thread
    };
    const auto readers = CardReaders(setup.Format(), batch.Jobs());
    auto writeOne = [&](const std::wstring& out, HandedDrawing& drawing, const scanleaf::core::InputRecord& record) {
        Document one(out, pdf, how.pdfa);
        const std::wstring title = drawing.title;
        const scanleaf::core::CardValues card = drawing.card;
        one.Add(std::move(drawing), true);
        if (!one.Finish(title, card)) return CannotWrite(out, one.Error());
        InputsKept::Keep(out, record);
        return std::wstring();
    };
    batch.Each<Loaded>(
        [&](unsigned worker, size_t i) {
            Loaded loaded;
            if (!occupied[i].empty()) return loaded;
            loaded.record = Record(options);
            if (!ReadDrawingBytes(files[i], loaded.drawing, loaded.problem)) return loaded;
            const std::string& bytes = loaded.drawing.bytes;
            loaded.hash = HashBytes(bytes.data(), bytes.size());
            loaded.record.Source(files[i], bytes.size(), loaded.hash);
            if (options.skipExisting && !together) {
                loaded.verdict = InputsKept::Judge(outs[i], loaded.record, &loaded.changedOption);
                if (loaded.verdict == InputsKept::Verdict::UpToDate) return loaded;
            }
            loaded.problem = LoadDrawing(files[i], how, *readers[worker], loaded.drawing);
            if (loaded.problem.empty() && !together) loaded.failure = writeOne(outs[i], loaded.drawing, loaded.record);
            return loaded;
        },
        [&](size_t i, Loaded& loaded) {
            if (!occupied[i].empty()) {
                Err(files[i] + L": " + occupied[i] + L"\n");
                ++failed;
            } else if (loaded.verdict == InputsKept::Verdict::UpToDate) {
                Out(files[i] + L" -> " + outs[i] + L" (up to date)\n");
                ++upToDate;
            } else if (!loaded.problem.empty()) {
                Err(files[i] + L": " + loaded.problem + L"; left out\n");
                ++leftOut;
            } else if (!loaded.failure.empty()) {
                Err(files[i] + L": " + loaded.failure + L"\n");
                ++failed;
            } else if (together) {
                onlyCard = loaded.drawing.card;
                onlyTitle = loaded.drawing.title;
                const std::string& bytes = loaded.drawing.bytes;
                togetherRecord.Source(files[i], bytes.size(), loaded.hash);
                together->Add(std::move(loaded.drawing), true);
                ++written;
            } else {
                Out(files[i] + L" -> " + outs[i] + (options.skipExisting ? InputsKept::Note(loaded.verdict, loaded.changedOption) : L"") + L"\n");
                ++written;
            }
        });
    if (together) {
        // A document of one drawing carries its card; one of several is titled by its name.
        const bool one = written == 1;
        if (written == 0) {
            // Every drawing is counted already, as left out or failed.
            Err(L"scanleaf-card: no drawing to write; " + output.file + L" not written\n");
        } else if (!together->Finish(one ? onlyTitle : BaseName(output.file),
                                     one ? onlyCard : scanleaf::core::CardValues())) {
            Err(L"scanleaf-card: " + CannotWrite(output.file, together->Error()) + L"\n");
            ++failed;
            written = 0;
        } else {
            // Left out drawings are not in it, so only a whole document is judged up to date later.
            if (leftOut == 0) InputsKept::Keep(output.file, togetherRecord);
            Out(output.file + L": " + std::to_wstring(written) + L" page(s)\n");
        }
    }
    return summary();
}

} // namespace card
