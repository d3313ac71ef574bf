// A drawing decoded once renders any view exactly as the stream renders it, in every orientation
// and at every scale, however far decoding has gone (lines not yet decoded white); decoding stops
// short on damage, at the memory budget or when its caller's time runs out, with the reason, and
// never keeps more than the budget.
#include "core/view/DecodedDrawing.h"
#include "core/fax/Group4.h"
#include "tests/native/Libtiff.h"
#include "tests/native/Pictures.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace scanleaf::core;

CalsImageInfo Info(std::uint32_t width, std::uint32_t height, int pelPath = 0, int lineProgression = 270) {
    CalsImageInfo info;
    info.type1 = info.sizeKnown = info.orientationKnown = true;
    info.width = width, info.height = height, info.pelPath = pelPath, info.lineProgression = lineProgression;
    return info;
}

struct View {
    std::uint32_t x0, y0, x1, y1, w, h;
};

// A part of the upright drawing at a scale from far below one pixel a pel to far above.
View RandomView(const CalsImageInfo& info, std::mt19937& rng) {
    const Orientation upright(info.pelPath, info.lineProgression, info.width, info.height);
    const std::uint32_t sw = upright.ShownWidth(), sh = upright.ShownHeight();
    View v{};
    v.x0 = rng() % sw, v.y0 = rng() % sh;
    v.x1 = v.x0 + 1 + rng() % (sw - v.x0), v.y1 = v.y0 + 1 + rng() % (sh - v.y0);
    v.w = 1 + rng() % (2 * (v.x1 - v.x0) + 2), v.h = 1 + rng() % (2 * (v.y1 - v.y0) + 2);
    return v;
}

TEST(DecodedDrawing, EveryViewRendersAsTheStreamDoesAtEveryStepOfDecoding) {
    std::mt19937 rng(11);
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    // Widths about the 64-pel words the lines are kept in.
    for (const std::uint32_t width : {1u, 63u, 64u, 65u, 130u, 333u}) {
        const std::uint32_t height = 1 + rng() % 90;
        const libtiff::Rows rows = pictures::Drawing(width, height, rng);
        const std::vector<std::uint8_t> stream = libtiff::Encode(rows, width);
        const auto& o = kOrientations[rng() % 8];
        const CalsImageInfo info = Info(width, height, o[0], o[1]);
        DecodedDrawing drawing(info, stream.data(), stream.size());
        while (true) {
            // Part way: as the stream of the same drawing with the lines not yet decoded white.
            libtiff::Rows decoded = rows;
            for (std::uint32_t y = drawing.Lines(); y < height; ++y) std::fill(decoded[y].begin(), decoded[y].end(), 0);
            const std::vector<std::uint8_t> sofar = libtiff::Encode(decoded, width);
            for (int round = 0; round < 6; ++round) {
                const View v = RandomView(info, rng);
                const RenderedView want = RenderView(info, sofar.data(), sofar.size(), v.x0, v.y0, v.x1, v.y1, v.w, v.h);
                const RenderedView got = drawing.Render(v.x0, v.y0, v.x1, v.y1, v.w, v.h);
                ASSERT_EQ(want.grey, got.grey) << width << "x" << height << " at line " << drawing.Lines() << " view " << v.x0 << ","
                                               << v.y0 << "-" << v.x1 << "," << v.y1 << " into " << v.w << "x" << v.h;
                EXPECT_EQ(height, got.damagedLine);
            }
            if (!drawing.Decode(1 + rng() % (3 * width))) break;
        }
        EXPECT_EQ(DecodedDrawing::Stop::Whole, drawing.Stopped());
        EXPECT_EQ(height, drawing.Lines());
        EXPECT_EQ("", drawing.Reason());
    }
}

TEST(DecodedDrawing, StopsShortWithTheReasonAndKeepsNoMoreThanTheBudget) {
    std::mt19937 rng(5);
    const std::uint32_t width = 200, height = 120;
    const std::vector<std::uint8_t> stream = libtiff::Encode(pictures::Drawing(width, height, rng), width);
    const CalsImageInfo info = Info(width, height);
    const std::size_t stride = 32; // 200 pels in whole 8-byte words
    const struct {
        const char* name;
        std::size_t size;
        std::uint64_t budget;
        bool outOfTime;
        DecodedDrawing::Stop stop;
        std::uint32_t lines; // 0: as far as the stream goes
    } cases[] = {
        {"whole", stream.size(), DecodedDrawing::kMemoryBudget, false, DecodedDrawing::Stop::Whole, height},
        {"budget of exactly the drawing", stream.size(), stride * height, false, DecodedDrawing::Stop::Whole, height},
        {"budget of 50 lines", stream.size(), stride * 50 + stride - 1, false, DecodedDrawing::Stop::Memory, 50},
        {"budget of no line", stream.size(), stride - 1, false, DecodedDrawing::Stop::Memory, 0},
        {"cut short", stream.size() / 2, DecodedDrawing::kMemoryBudget, false, DecodedDrawing::Stop::Damaged, 0},
        {"out of time", stream.size(), DecodedDrawing::kMemoryBudget, true, DecodedDrawing::Stop::Time, 7},
    };
    for (const auto& c : cases) {
        DecodedDrawing drawing(info, stream.data(), c.size, c.budget);
        if (c.outOfTime) {
            drawing.Decode(7 * width - 1);
            drawing.StopForTime();
        }
        while (drawing.Decode(width * 13)) {
        }
        EXPECT_EQ(c.stop, drawing.Stopped()) << c.name;
        EXPECT_LE(drawing.BytesKept(), c.budget) << c.name;
        const RenderedView stream_view = RenderView(info, stream.data(), c.size, 0, 0, width, height, width, height);
        const RenderedView view = drawing.Render(0, 0, width, height, width, height);
        if (c.stop == DecodedDrawing::Stop::Damaged) {
            EXPECT_EQ(stream_view.damagedLine, drawing.Lines()) << c.name;
            EXPECT_EQ(stream_view.damage, drawing.Reason()) << c.name;
        } else {
            EXPECT_EQ(c.lines, drawing.Lines()) << c.name;
        }
        EXPECT_EQ(c.stop == DecodedDrawing::Stop::Whole ? height : drawing.Lines(), view.damagedLine) << c.name;
        EXPECT_EQ(c.stop == DecodedDrawing::Stop::Whole, view.damage.empty()) << c.name;
        // Above the stop, the stream's own pixels.
        for (std::size_t i = 0; i < std::size_t(drawing.Lines()) * width; ++i)
            ASSERT_EQ(stream_view.grey[i], view.grey[i]) << c.name << " pixel " << i;
        EXPECT_FALSE(drawing.Decode(1)) << c.name << ": decoding goes on after a stop";
    }
    // The widest line a stream may have, and a drawing of 5 GB: the budget, not the size, decides.
    const CalsImageInfo huge = Info(kMaxG4Width, 40000);
    const std::vector<std::uint8_t> none;
    DecodedDrawing drawing(huge, none.data(), 0);
    while (drawing.Decode(std::uint64_t(1) << 30)) {
    }
    EXPECT_EQ(DecodedDrawing::Stop::Damaged, drawing.Stopped());
    EXPECT_LE(drawing.BytesKept(), DecodedDrawing::kMemoryBudget);
}

} // namespace
