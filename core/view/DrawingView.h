// What a preview pane shows of a drawing: the pane split between the drawing and its card (the
// card beside a wide pane, below a tall one), the drawing fit to its area until it is zoomed about
// a point or panned, and the part in view rendered from the stream at the view's scale: only the
// lines down to the last one in view are decoded, and only the pels in view are averaged. Pure.
#pragma once

#include "core/cals/CalsImage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace scanleaf::core {

struct ViewRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ViewRect& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};

class DrawingView {
public:
    // The drawing as shown upright, in pels (0 by 0: nothing to show but the card).
    void SetDrawing(std::uint32_t shownWidth, std::uint32_t shownHeight);
    // The pane, and the room the card's text asks for (its width beside, its height below); the
    // view fits again.
    void Layout(int paneWidth, int paneHeight, int cardWidth, int cardHeight);
    const ViewRect& PictureArea() const { return picture_; }
    const ViewRect& CardArea() const { return card_; }

    void Fit();
    bool Fitted() const { return fitted_; }
    // Zooms by `factor` keeping the drawing point under (x, y) (pane pixels) where it is; never
    // smaller than the fit, nor larger than 8 pixels a pel.
    void ZoomAbout(int x, int y, double factor);
    // Moves the drawing by (dx, dy) pixels, kept within its edges.
    void Pan(int dx, int dy);

    // Pixels a pel, and the drawing point (upright pels) at the picture area's top left.
    double Scale() const { return scale_; }
    double Left() const { return left_; }
    double Top() const { return top_; }

    // The part of the drawing in view: upright pels [x0, x1) by [y0, y1), drawn into `target`
    // (pane pixels); empty (width 0) when nothing shows.
    struct Visible {
        std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        ViewRect target;
        bool operator==(const Visible& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1 && target == o.target; }
    };
    Visible InView() const;

private:
    void Clamp();
    double FitScale() const;

    std::uint32_t width_ = 0, height_ = 0;
    ViewRect picture_, card_;
    double scale_ = 1, left_ = 0, top_ = 0;
    bool fitted_ = true;
};

// The part of a type 1 drawing in view, as grey pixels (0 black, 255 white) of `outWidth` by
// `outHeight`, upright as `info` says: the stored pels behind the upright rectangle, area-averaged.
struct RenderedView {
    std::vector<std::uint8_t> grey;
    // Where decoding stopped short of the lines needed (a damaged stream): the first stored line
    // not decoded, and why; lines from it are white. damagedLine is the header's height when whole.
    std::uint32_t damagedLine = 0;
    std::string damage;
};
RenderedView RenderView(const CalsImageInfo& info, const std::uint8_t* stream, std::size_t size, std::uint32_t x0,
                        std::uint32_t y0, std::uint32_t x1, std::uint32_t y1, std::uint32_t outWidth, std::uint32_t outHeight);

class Thumbnailer;
// Adds the stored lines [sy0, sy1) clipped to [sx0, sx1), counted from sx0, to a thumbnail of that
// region, stopping early where it has no more.
using StoredLines = std::function<void(Thumbnailer& thumbnail, std::uint32_t sx0, std::uint32_t sy0, std::uint32_t sx1,
                                       std::uint32_t sy1)>;
// The part in view (as RenderView) from any source of stored lines: the one rendering of both the
// stream and a drawing decoded once.
std::vector<std::uint8_t> RenderStoredLines(const CalsImageInfo& info, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                                            std::uint32_t y1, std::uint32_t outWidth, std::uint32_t outHeight,
                                            const StoredLines& addLines);

} // namespace scanleaf::core
