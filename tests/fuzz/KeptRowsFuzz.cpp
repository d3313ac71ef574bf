// The lines a resumable run keeps: any bytes through their readers, and rows written from drawn
// paths, identities and rows of any bytes, which must read back as they were.
#include "cardcore/BatchPlan.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace scanleaf::core;
using fuzzsupport::DrawText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        const std::string line = in.ConsumeRemainingBytesAsString();
        KeptRow row;
        Text run;
        // What reads as a row is written again as a line that reads as the same row.
        KeptRow again;
        if (ParseKeptRow(line, row))
            FUZZ_CHECK(ParseKeptRow(FormatKeptRow(row), again) && again.path == row.path && again.size == row.size &&
                       again.hash == row.hash && again.row == row.row);
        Text runAgain;
        if (ParseRunLine(line, run)) FUZZ_CHECK(ParseRunLine(FormatRunLine(run), runAgain) && runAgain == run);
        return 0;
    }
    KeptRow written;
    written.path = DrawText(in, 40, SL_T("Z:\\ab%\t\r\n.\x00e9"));
    for (auto& c : written.path)
        if (c >= 0xD800 && c <= 0xDFFF) c = '_';
    if (written.path.empty()) written.path = SL_T("a");
    written.size = in.ConsumeIntegral<std::uint64_t>();
    written.hash = in.ConsumeIntegral<std::uint64_t>();
    Text run = DrawText(in, 30, SL_T("verify\t1.0 %\r\n"));
    // A lone surrogate has no UTF-8: such a path's row is only never found again, and read anew.
    for (auto& c : run)
        if (c >= 0xD800 && c <= 0xDFFF) c = '_';
    written.row = in.ConsumeRemainingBytesAsString();
    const std::string line = FormatKeptRow(written);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    KeptRow read;
    FUZZ_CHECK(ParseKeptRow(line, read));
    FUZZ_CHECK(read.path == written.path && read.size == written.size && read.hash == written.hash &&
               read.row == written.row);
    Text back;
    FUZZ_CHECK(ParseRunLine(FormatRunLine(run), back) && back == run);
    KeptRow none;
    FUZZ_CHECK(!ParseKeptRow(FormatRunLine(run), none));
    return 0;
}
