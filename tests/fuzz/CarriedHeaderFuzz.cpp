// The header a PDF or TIFF page carries in its XMP, as anyone may have edited it: the packet is
// read or refused with a reason, never both; a header that is read comes home as a header of
// exactly 2048 bytes, or is refused with a reason, whatever picture it comes home with.
#include "core/cals/CarriedHeader.h"
#include "core/cals/CalsImage.h"
#include "core/cals/Xmp.h"
#include "core/native/StandIns.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace scanleaf::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    PagePicture picture;
    picture.width = in.ConsumeIntegralInRange<std::uint32_t>(1, 1u << 20);
    picture.height = in.ConsumeIntegralInRange<std::uint32_t>(1, 1u << 20);
    picture.dpi = in.ConsumeIntegralInRange<std::uint32_t>(kMinDensity, kMaxDensity);
    const int o = in.ConsumeIntegralInRange<int>(0, 7);
    picture.pelPath = kOrientations[o][0];
    picture.lineProgression = kOrientations[o][1];
    const std::string packet = in.ConsumeRemainingBytesAsString();
    std::string problem;
    const CardValues card = XmpCard(packet, problem);
    FUZZ_CHECK(problem.empty() || card.empty());
    problem.clear();
    const CarriedHeader carried = XmpHeader(packet, problem);
    if (!problem.empty()) {
        FUZZ_CHECK(carried.Empty());
        return 0;
    }
    if (carried.Empty()) return 0;
    std::string header;
    HeaderHome how = HeaderHome::AsItWas;
    if (HomeHeader(carried, picture, StandInCodePage(1252), header, how, problem)) {
        FUZZ_CHECK(header.size() == kHeaderSize);
        FUZZ_CHECK(problem.empty());
    } else {
        FUZZ_CHECK(!problem.empty());
    }
    return 0;
}
