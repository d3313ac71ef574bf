// The preview's view: the pane split between drawing and card, fit, zoom about a point and pan
// within the edges; and the part in view rendered from the stream equal to the same part of the
// whole drawing's thumbnail (at one pixel a pel exactly), upright in all eight orientations, a
// damaged stream rendered as far as it decodes with its line named.
#include "core/view/DrawingView.h"
#include "core/view/Thumbnail.h"
#include "tests/native/Libtiff.h"
#include "tests/native/Pictures.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace scanleaf::core;

// The whole drawing upright at `w` by `h` (as the thumbnail path makes it).
std::vector<std::uint8_t> Whole(const CalsImageInfo& info, const std::vector<std::uint8_t>& stream, std::uint32_t w, std::uint32_t h) {
    const bool turned = info.pelPath == 90 || info.pelPath == 270;
    Thumbnailer thumbnail(info.width, info.height, turned ? h : w, turned ? w : h);
    Group4Decoder decoder(stream.data(), stream.size(), info.width);
    while (decoder.Rows() < info.height && decoder.NextRow(nullptr)) thumbnail.AddLine(decoder.Changes());
    return Orientation(info.pelPath, info.lineProgression, turned ? h : w, turned ? w : h).Apply(thumbnail.Finish());
}

TEST(DrawingView, TheViewRendersThePartOfTheDrawingInView) {
    std::mt19937 rng(7);
    const std::uint32_t width = 97, height = 61;
    const std::vector<std::uint8_t> stream = libtiff::Encode(pictures::Drawing(width, height, rng), width);
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    for (const auto& o : kOrientations) {
        CalsImageInfo info;
        info.type1 = info.sizeKnown = info.orientationKnown = true;
        info.width = width, info.height = height, info.pelPath = o[0], info.lineProgression = o[1];
        const Orientation upright(o[0], o[1], width, height);
        const std::uint32_t sw = upright.ShownWidth(), sh = upright.ShownHeight();
        // Fit: the whole drawing at the thumbnail's size.
        std::uint32_t tw = 0, th = 0;
        Thumbnailer::Fit(sw, sh, 40, tw, th);
        EXPECT_EQ(Whole(info, stream, tw, th), RenderView(info, stream.data(), stream.size(), 0, 0, sw, sh, tw, th).grey) << o[0] << "," << o[1];
        // Any part at one pixel a pel: that part of the whole drawing.
        const std::vector<std::uint8_t> full = Whole(info, stream, sw, sh);
        for (int round = 0; round < 20; ++round) {
            const std::uint32_t x0 = rng() % sw, y0 = rng() % sh;
            const std::uint32_t x1 = x0 + 1 + rng() % (sw - x0), y1 = y0 + 1 + rng() % (sh - y0);
            const RenderedView part = RenderView(info, stream.data(), stream.size(), x0, y0, x1, y1, x1 - x0, y1 - y0);
            ASSERT_EQ(std::size_t(x1 - x0) * (y1 - y0), part.grey.size());
            for (std::uint32_t y = y0; y < y1; ++y)
                for (std::uint32_t x = x0; x < x1; ++x)
                    ASSERT_EQ(full[std::size_t(y) * sw + x], part.grey[std::size_t(y - y0) * (x1 - x0) + (x - x0)])
                        << o[0] << "," << o[1] << " pel " << x << "," << y;
            EXPECT_EQ(height, part.damagedLine);
        }
        // Zoomed past one pixel a pel: each pel a block of pixels.
        const RenderedView big = RenderView(info, stream.data(), stream.size(), 0, 0, 2, 2, 8, 8);
        EXPECT_EQ(full[0], big.grey[0]);
        EXPECT_EQ(full[sw + 1], big.grey[7 * 8 + 7]);
    }
    // A stream cut short: the lines it holds, the rest white, and where it stopped.
    CalsImageInfo info;
    info.type1 = info.sizeKnown = true;
    info.width = width, info.height = height;
    const RenderedView cut = RenderView(info, stream.data(), stream.size() / 2, 0, 0, width, height, width, height);
    EXPECT_LT(cut.damagedLine, height);
    EXPECT_NE("", cut.damage);
    for (std::uint32_t x = 0; x < width; ++x) EXPECT_EQ(255, cut.grey[std::size_t(height - 1) * width + x]);
}

TEST(DrawingView, LayoutFitZoomAndPan) {
    DrawingView view;
    view.SetDrawing(4000, 3000);
    // A wide pane: the card beside, at most half; a tall one: below.
    view.Layout(800, 400, 300, 100);
    EXPECT_EQ((ViewRect{0, 0, 500, 400}), view.PictureArea());
    EXPECT_EQ((ViewRect{500, 0, 300, 400}), view.CardArea());
    EXPECT_DOUBLE_EQ(500.0 / 4000, view.Scale());
    view.Layout(300, 900, 300, 1000);
    EXPECT_EQ((ViewRect{0, 0, 300, 450}), view.PictureArea());
    EXPECT_EQ((ViewRect{0, 450, 300, 450}), view.CardArea());
    // Fit shows it all, centred.
    DrawingView::Visible all = view.InView();
    EXPECT_TRUE(all.x0 == 0 && all.y0 == 0 && all.x1 == 4000 && all.y1 == 3000);
    EXPECT_EQ(300, all.target.width);
    EXPECT_EQ(225, all.target.height);
    EXPECT_EQ(113, all.target.y); // (450 - 225) / 2, rounded
    // Zoom about a point keeps that point under the pointer.
    view.Layout(1000, 800, 0, 0);
    const double px = view.Left() + 600 / view.Scale(), py = view.Top() + 300 / view.Scale();
    view.ZoomAbout(600, 300, 4);
    EXPECT_FALSE(view.Fitted());
    EXPECT_NEAR(px, view.Left() + 600 / view.Scale(), 1e-9);
    EXPECT_NEAR(py, view.Top() + 300 / view.Scale(), 1e-9);
    // Never past 8 pixels a pel, never smaller than the fit; panning stays within the edges.
    view.ZoomAbout(0, 0, 1000);
    EXPECT_DOUBLE_EQ(8, view.Scale());
    view.Pan(100000, 100000);
    EXPECT_DOUBLE_EQ(0, view.Left());
    EXPECT_DOUBLE_EQ(0, view.Top());
    view.Pan(-1000000, -1000000);
    EXPECT_DOUBLE_EQ(4000 - 1000 / 8.0, view.Left());
    EXPECT_DOUBLE_EQ(3000 - 800 / 8.0, view.Top());
    DrawingView::Visible corner = view.InView();
    EXPECT_TRUE(corner.x1 == 4000 && corner.y1 == 3000 && corner.x0 == 3875 && corner.y0 == 2900);
    view.ZoomAbout(0, 0, 0.0001);
    EXPECT_TRUE(view.Fitted());
    // No drawing: the card has the pane.
    DrawingView none;
    none.SetDrawing(0, 0);
    none.Layout(640, 480, 200, 50);
    EXPECT_EQ((ViewRect{0, 0, 640, 480}), none.CardArea());
    EXPECT_EQ(0, none.InView().target.width);
}

} // namespace
