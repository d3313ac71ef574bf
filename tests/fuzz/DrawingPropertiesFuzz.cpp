// What Windows is shown of any header: the first 2048 bytes of the input are the header, the rest
// chooses the code page and the values set. What must always hold: a header that reads gives a
// shown size of its rpelcnt (turned or not), every value of its kind; a set that is taken changes
// only its record's own slot, reads back as set (a fresh read of the new header too), and never
// puts a value the code page cannot hold or a record longer than its slot into the header.
#include "core/cals/CalsImage.h"
#include "core/cals/DrawingProperties.h"
#include "core/native/StandIns.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

using namespace scanleaf::core;
using fuzzsupport::DrawText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) return 0;
    std::string header(reinterpret_cast<const char*>(data), kHeaderSize);
    FuzzedDataProvider in(data + kHeaderSize, size - kHeaderSize);
    const CodePage& ansi = StandInCodePage(in.PickValueInArray({1252, 1251, 932}));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(header.data());
    DrawingProperties properties;
    std::string problem;
    const bool read = properties.Read(bytes, ansi, problem);
    const CalsImageInfo info = ReadImageInfo(bytes);
    FUZZ_CHECK(read == (info.type1 && info.sizeKnown));
    FUZZ_CHECK(read == problem.empty());
    if (!read) {
        for (DrawingKey key : DrawingKeys()) FUZZ_CHECK(properties.Get(key).kind == DrawingValue::Kind::Empty);
        return 0;
    }
    const std::uint64_t w = properties.Get(DrawingKey::Width).number, h = properties.Get(DrawingKey::Height).number;
    FUZZ_CHECK((w == info.width && h == info.height) || (w == info.height && h == info.width));
    for (int round = in.ConsumeIntegralInRange<int>(0, 6); round > 0; --round) {
        const DrawingKey key = in.PickValueInArray({DrawingKey::DocumentId, DrawingKey::Title, DrawingKey::Comment,
                                                    DrawingKey::DocumentClass, DrawingKey::Orientation, DrawingKey::Width});
        const Text value = DrawText(in, 140, SL_T("ab NONE\u00e9\u0416\u3042:"));
        const std::string before = properties.Header();
        const bool taken = properties.Set(key, value, ansi, problem);
        const std::string& after = properties.Header();
        FUZZ_CHECK(after.size() == kHeaderSize);
        if (!taken) {
            FUZZ_CHECK(after == before && !problem.empty());
            continue;
        }
        FUZZ_CHECK(properties.Writable(key));
        std::size_t first = 0, last = kHeaderSize;
        while (first < kHeaderSize && before[first] == after[first]) ++first;
        while (last > first && before[last - 1] == after[last - 1]) --last;
        FUZZ_CHECK(first == last || first / kSlotSize == (last - 1) / kSlotSize); // one slot at most
        const DrawingValue got = properties.Get(key);
        const Text trimmed = TrimBlanks(value);
        Text upper = trimmed;
        for (Unit& c : upper) c = c >= 'a' && c <= 'z' ? Unit(c - 32) : c;
        if (trimmed.empty() || upper == SL_T("NONE"))
            FUZZ_CHECK(got.kind == DrawingValue::Kind::Empty);
        else
            FUZZ_CHECK(got.kind == DrawingValue::Kind::Text && got.text == trimmed);
        DrawingProperties fresh;
        FUZZ_CHECK(fresh.Read(reinterpret_cast<const unsigned char*>(after.data()), ansi, problem));
        FUZZ_CHECK(fresh.Get(key) == got);
        FUZZ_CHECK(fresh.Get(DrawingKey::Width) == properties.Get(DrawingKey::Width));
    }
    return 0;
}
