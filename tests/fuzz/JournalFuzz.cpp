// The import journal: any bytes through its reader, and journals written from drawn records,
// which must read back as the same records.
#include "cardcore/CardJournal.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace card;
using fuzzsupport::DrawText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        std::vector<journal::Entry> entries;
        scanleaf::core::Text error;
        const bool read = journal::Parse(in.ConsumeRemainingBytesAsString(), entries, error);
        FUZZ_CHECK(read == error.empty());
        for (const journal::Entry& e : entries) FUZZ_CHECK(e.before.size() == journal::kHeaderBytes);
        return 0;
    }
    std::vector<journal::Entry> written;
    std::string text = journal::kFirstLine;
    const int files = in.ConsumeIntegralInRange<int>(1, 4);
    for (int i = 0; i < files; ++i) {
        journal::Entry e;
        // Paths as Windows allows them: no tab or line end; different for each file.
        e.path = DrawText(in, 12, SL_T("Z:\\ab.")) + SL_T("\\") + scanleaf::core::Decimal(i) + SL_T(".cal");
        for (auto& c : e.path)
            if (c == '\t' || c == '\n' || c == '\r' || (c >= 0xD800 && c <= 0xDFFF)) c = '_';
        e.size = in.ConsumeIntegral<std::uint64_t>();
        e.modified = in.ConsumeIntegral<std::uint64_t>();
        e.before = in.ConsumeBytesAsString(journal::kHeaderBytes);
        e.before.resize(journal::kHeaderBytes, 'b');
        text += journal::BeforeLine(e);
        written.push_back(e);
    }
    for (journal::Entry& e : written) {
        if (!in.ConsumeBool()) continue;
        e.saved = true;
        e.after = std::string(journal::kHeaderBytes, char(in.ConsumeIntegral<std::uint8_t>()));
        text += journal::AfterLine(e.path, e.after);
    }
    const bool markUndone = in.ConsumeBool();
    if (markUndone) text += journal::kUndoneLine;
    std::vector<journal::Entry> read;
    scanleaf::core::Text error;
    bool undone = !markUndone;
    FUZZ_CHECK(journal::Parse(text, read, error, &undone));
    FUZZ_CHECK(undone == markUndone);
    FUZZ_CHECK(read.size() == written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        FUZZ_CHECK(read[i].path == written[i].path && read[i].size == written[i].size);
        FUZZ_CHECK(read[i].modified == written[i].modified && read[i].before == written[i].before);
        FUZZ_CHECK(read[i].saved == written[i].saved && read[i].after == written[i].after);
    }
    return 0;
}
