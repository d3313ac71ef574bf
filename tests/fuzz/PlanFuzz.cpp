// A batch run's plan on any sources: output names that no two sources share and no source has
// (case-blind, "/" as "\"), one a page, each source's in its own stem; shards that take every
// source exactly once; and records whose comparison is the same only for the same bytes and
// names an option whenever the options differ.
#include "cardcore/BatchPlan.h"
#include "core/native/StandIns.h"
#include "tests/fuzz/FuzzSupport.h"

#include <set>

using namespace scanleaf::core;
using fuzzsupport::DrawText;

namespace {

Text Unified(Text text) {
    text = StandInLowerCaser().Lower(text);
    for (Unit& c : text)
        if (c == '/') c = '\\';
    return text;
}

InputRecord DrawRecord(FuzzedDataProvider& in, std::set<Text>& options) {
    InputRecord record;
    const int count = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < count; ++i) {
        Text name = DrawText(in, 6, SL_T("-ab\t%"));
        for (Unit& c : name)
            if (c >= 0xD800 && c <= 0xDFFF) c = '_'; // a lone surrogate is no text UTF-8 can carry
        options.insert(name);
        record.Option(name, DrawText(in, 6, SL_T("x1\t%")));
    }
    const int sources = in.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < sources; ++i)
        record.Source(DrawText(in, 8, SL_T("S:\\ab")), in.ConsumeIntegralInRange<std::uint64_t>(0, 3),
                      in.ConsumeIntegralInRange<std::uint64_t>(0, 3));
    return record;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const LowerCaser& lower = StandInLowerCaser();

    // Names.
    std::vector<PlannedSource> sources;
    const int count = in.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < count; ++i) {
        Text path = DrawText(in, 16, SL_T("S:\\/aA.-p01 (2)"));
        for (Unit& c : path)
            if (c >= 0xD800 && c <= 0xDFFF) c = '_';
        sources.push_back({path, in.ConsumeIntegralInRange<std::uint32_t>(0, 4)});
    }
    OutputNaming naming;
    if (in.ConsumeBool())
        naming.folder = DrawText(in, 8, SL_T("O:\\/a"));
    else
        naming.single = DrawText(in, 8, SL_T("O:\\a"));
    naming.extension = DrawText(in, 4, SL_T(".calP"));
    // One output naming the one file: a single source of one page, as the commands allow.
    if (naming.folder.empty() && (sources.size() != 1 || naming.single.empty())) naming.folder = SL_T("O:");
    const std::vector<std::vector<Text>> names = PlanOutputNames(sources, naming, lower);
    FUZZ_CHECK(names.size() == sources.size());
    std::set<Text> seen;
    for (const PlannedSource& s : sources) seen.insert(Unified(s.path));
    const std::set<Text> sourceNames = seen;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        FUZZ_CHECK(names[i].size() == sources[i].outputs);
        for (const Text& name : names[i]) {
            FUZZ_CHECK(!sourceNames.count(Unified(name)) || naming.folder.empty());
            FUZZ_CHECK(seen.insert(Unified(name)).second || naming.folder.empty());
        }
    }

    // Shards: every source in exactly one of N, and "K/N" read back.
    const std::uint32_t n = in.ConsumeIntegralInRange<std::uint32_t>(1, 7);
    for (const PlannedSource& s : sources) {
        int takers = 0;
        for (std::uint32_t k = 1; k <= n; ++k) takers += Shard{k, n}.Takes(s.path, lower);
        FUZZ_CHECK(takers == 1);
    }
    const Text shardText = DrawText(in, 8, SL_T("0123/ "));
    Shard parsed;
    if (ParseShard(shardText, parsed)) FUZZ_CHECK(parsed.index >= 1 && parsed.index <= parsed.count && parsed.count <= 100000);

    // Records.
    std::set<Text> optionsA, optionsB;
    const InputRecord a = DrawRecord(in, optionsA), b = DrawRecord(in, optionsB);
    const RecordChange same = CompareRecords(a.Bytes(), a.Bytes());
    FUZZ_CHECK(same.kind == RecordChange::Same);
    const RecordChange change = CompareRecords(a.Bytes(), b.Bytes());
    FUZZ_CHECK((change.kind == RecordChange::Same) == (a.Bytes() == b.Bytes()));
    if (change.kind == RecordChange::Option) FUZZ_CHECK(optionsA.count(change.option) || optionsB.count(change.option));
    // Any bytes compare without harm.
    const std::string any = in.ConsumeRemainingBytesAsString();
    CompareRecords(any, a.Bytes());
    CompareRecords(a.Bytes() + any, any);
    return 0;
}
