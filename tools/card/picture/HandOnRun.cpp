#include "tools/card/picture/HandOnRun.h"

#include "tools/card/batch/Console.h"
#include "tools/card/cards/Card.h"

#include <memory>

namespace card {

int HandOnDrawings(Batch& batch, const HandOnRun& run, IVorFileFormat* format) {
    const Walked& walked = batch.Walk();
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);
    batch.Count(L"files") = files.size();
    size_t& written = batch.Count(L"written");
    size_t& upToDate = batch.Count(L"up to date", false, run.skipExisting ? Tally::Always : Tally::Never);
    size_t& leftOut = batch.Count(L"left out", true);
    size_t& failed = batch.Count(L"failed", true);
    failed = batch.Missing();
    auto summary = [&] { return batch.End(); };
    auto refuseAll = [&](const std::wstring& reason) { return batch.Refuse(reason, failed); };
    if (files.empty()) return batch.NoneFound();
    const bool combined = run.output.Single();
    const std::wstring extension = run.pdf ? L".pdf" : L".tif";
    const bool replaceExisting = run.overwrite || run.skipExisting;
    std::vector<std::wstring> outs(files.size()), occupied(files.size());
    // One document takes every drawing; else one a drawing, each refused where an output was
    // there before the run, unless --overwrite or --skip-existing.
    int refused = 0;
    if (!batch.PrepareOutputs(run.output, nullptr, nullptr, failed, refused)) return refused;
    if (combined) {
        const std::wstring problem = InTheWay(run.output.file, replaceExisting, true);
        if (!problem.empty()) return refuseAll(problem);
    } else {
        const OutputPlan plan = batch.PlanOutputs(run.output, extension, replaceExisting);
        for (size_t i = 0; i < files.size(); ++i) outs[i] = plan.names[i][0];
        occupied = plan.blocked;
    }
    std::unique_ptr<Document> together;
    // One document of them all is left alone when it was made from the same drawings, in the same
    // order, with the same options.
    scanleaf::core::InputRecord togetherRecord = run.record;
    if (combined && run.skipExisting) {
        for (const std::wstring& f : files) {
            std::uint64_t size = 0, hash = 0;
            if (IdentifyFile(f, size, hash)) togetherRecord.Source(f, size, hash);
        }
        std::wstring option;
        const InputsKept::Verdict verdict = InputsKept::Judge(run.output.file, togetherRecord, &option);
        if (verdict == InputsKept::Verdict::UpToDate) {
            Out(run.output.file + L": up to date\n");
            upToDate = files.size();
            return summary();
        }
        if (verdict != InputsKept::Verdict::Missing) Out(run.output.file + L":" + InputsKept::Note(verdict, option) + L"\n");
        togetherRecord = run.record;
    }
    if (combined) {
        together = std::make_unique<Document>(run.output.file, run.pdf, run.how.pdfa);
        if (!together->Ok()) return refuseAll(CannotWrite(run.output.file, together->Error()));
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
    const auto readers = CardReaders(format, batch.Jobs());
    HandOn how = run.how;
    how.vault = VaultIsSet();
    auto writeOne = [&](const std::wstring& out, HandedDrawing& drawing, const scanleaf::core::InputRecord& record) {
        Document one(out, run.pdf, run.how.pdfa);
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
            loaded.record = run.record;
            if (!ReadDrawingBytes(files[i], loaded.drawing, loaded.problem)) return loaded;
            const std::string& bytes = loaded.drawing.bytes;
            loaded.hash = HashBytes(bytes.data(), bytes.size());
            loaded.record.Source(files[i], bytes.size(), loaded.hash);
            if (run.skipExisting && !together) {
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
                Out(files[i] + L" -> " + outs[i] + (run.skipExisting ? InputsKept::Note(loaded.verdict, loaded.changedOption) : L"") + L"\n");
                ++written;
            }
        });
    if (together) {
        // A document of one drawing carries its card; one of several is titled by its name.
        const bool one = written == 1;
        if (written == 0) {
            // Every drawing is counted already, as left out or failed.
            Err(L"scanleaf-card: no drawing to write; " + run.output.file + L" not written\n");
        } else if (!together->Finish(one ? onlyTitle : BaseName(run.output.file),
                                     one ? onlyCard : scanleaf::core::CardValues())) {
            Err(L"scanleaf-card: " + CannotWrite(run.output.file, together->Error()) + L"\n");
            ++failed;
            written = 0;
        } else {
            // Left out drawings are not in it, so only a whole document is judged up to date later.
            if (leftOut == 0) InputsKept::Keep(run.output.file, togetherRecord);
            Out(run.output.file + L": " + std::to_wstring(written) + L" page(s)\n");
        }
    }
    return summary();
}

} // namespace card
