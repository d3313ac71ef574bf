// The picture records of a CALS header and the headers the core makes: any header read gives a
// size above 0 or none, one of the eight orientations or none, and a problem named for what
// cannot be drawn; a new header reads back as made; a line count set in place changes only the
// rpelcnt record's digits and reads back; a resolution gives a density in range or says why.
#include "core/cals/CalsImage.h"
#include "core/cals/HeaderRecord.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

using namespace scanleaf::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // A header of any bytes (blanks after the input's), read as the card tool and codec read it.
    std::string header(kHeaderSize, ' ');
    const std::string given = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, kHeaderSize));
    header.replace(0, given.size(), given);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(header.data());
    ClassifyHeader(bytes);
    const CalsImageInfo info = ReadImageInfo(bytes);
    if (info.sizeKnown) FUZZ_CHECK(info.width > 0 && info.height > 0);
    const std::string problem = DrawingHeaderProblem(info);
    if (problem.empty() && info.density) FUZZ_CHECK(info.density >= kMinDensity && info.density <= kMaxDensity);
    // The line count set in place: only rpelcnt's digits change, and it reads back.
    const std::uint32_t lines = in.ConsumeIntegralInRange<std::uint32_t>(1, 9999999);
    std::string mended = header;
    if (SetLineCount(mended, lines)) {
        const CalsImageInfo again = ReadImageInfo(reinterpret_cast<const unsigned char*>(mended.data()));
        FUZZ_CHECK(again.sizeKnown && again.height == lines && again.width == info.width);
        FUZZ_CHECK(mended.size() == header.size());
    } else {
        FUZZ_CHECK(mended == header);
    }
    // A new header reads back as made.
    const std::uint32_t width = in.ConsumeIntegralInRange<std::uint32_t>(1, 999999);
    const std::uint32_t height = in.ConsumeIntegralInRange<std::uint32_t>(1, 999999);
    const std::uint32_t dpi = in.ConsumeIntegralInRange<std::uint32_t>(kMinDensity, kMaxDensity);
    static const int kAngles[] = {0, 90, 180, 270};
    const int pelPath = kAngles[in.ConsumeIntegralInRange<int>(0, 3)];
    const int lineProgression = in.ConsumeBool() ? 90 : 270;
    const std::string made = NewCalsHeader(width, height, dpi, pelPath, lineProgression);
    FUZZ_CHECK(made.size() == kHeaderSize);
    FUZZ_CHECK(ClassifyHeader(reinterpret_cast<const unsigned char*>(made.data())) == HeaderKind::Cals);
    const CalsImageInfo read = ReadImageInfo(reinterpret_cast<const unsigned char*>(made.data()));
    FUZZ_CHECK(read.type1 && read.sizeKnown && read.width == width && read.height == height);
    FUZZ_CHECK(read.density == dpi);
    FUZZ_CHECK(read.orientationKnown && read.pelPath == pelPath && read.lineProgression == lineProgression);
    FUZZ_CHECK(DrawingHeaderProblem(read).empty());
    // A stated resolution: a density in range, or why not.
    const double x = in.ConsumeFloatingPointInRange<double>(-10, 5000), y = in.ConsumeBool() ? x : in.ConsumeFloatingPointInRange<double>(-10, 5000);
    std::string why;
    const std::uint32_t density = DrawingDensity(x, y, why);
    FUZZ_CHECK(density == 0 ? !why.empty() : density >= kMinDensity && density <= kMaxDensity);
    return 0;
}
