// The date styles from any calendar fields, and back: a date of the usual ranges written in the
// numeric styles reads back as the same fields.
#include "core/DateText.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace scanleaf::core;

namespace {

int Number(const Text& text, std::size_t from, std::size_t digits) {
    int value = 0;
    for (std::size_t i = from; i < from + digits; ++i) {
        FUZZ_CHECK(i < text.size() && IsDigit(text[i]));
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    DateFields f;
    const bool usual = in.ConsumeBool();
    if (usual) {
        f = {in.ConsumeIntegralInRange(1000, 9999), in.ConsumeIntegralInRange(1, 12), in.ConsumeIntegralInRange(1, 31),
             in.ConsumeIntegralInRange(0, 23), in.ConsumeIntegralInRange(0, 59), in.ConsumeIntegralInRange(0, 59)};
    } else {
        f = {in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(),
             in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>()};
    }
    const int style = in.ConsumeIntegral<int>();
    const Text text = FormatDateFields(f, style);
    FUZZ_CHECK(!text.empty() && text.size() < 128);
    if (!usual) return 0;
    const Text full = FormatDateFields(f, 121); // yyyy-mm-dd hh:mi:ss.000
    FUZZ_CHECK(full.size() == 23);
    FUZZ_CHECK(Number(full, 0, 4) == f.year && Number(full, 5, 2) == f.month && Number(full, 8, 2) == f.day);
    FUZZ_CHECK(Number(full, 11, 2) == f.hour && Number(full, 14, 2) == f.minute && Number(full, 17, 2) == f.second);
    const Text compact = FormatDateFields(f, 112); // yyyymmdd
    FUZZ_CHECK(compact == full.substr(0, 4) + full.substr(5, 2) + full.substr(8, 2));
    // The 12-hour clock read as people read it gives the hour back: 12 AM is 0, 12 PM is 12.
    const Text twelve = FormatDateFields(f, 109); // Mon dd yyyy hh:mi:ss:000 AM
    const int hour12 = Number(twelve, 12, 2);
    const bool pm = twelve.substr(twelve.size() - 2) == SL_T("PM");
    FUZZ_CHECK(hour12 >= 1 && hour12 <= 12 && (hour12 % 12 + (pm ? 12 : 0)) == f.hour);
    return 0;
}
