#include "core/view/DrawingView.h"

#include "core/view/Thumbnail.h"

#include <algorithm>
#include <cmath>

namespace scanleaf::core {

namespace {

constexpr double kLargestScale = 8;

} // namespace

void DrawingView::SetDrawing(std::uint32_t shownWidth, std::uint32_t shownHeight) {
    width_ = shownWidth;
    height_ = shownHeight;
    Fit();
}

void DrawingView::Layout(int paneWidth, int paneHeight, int cardWidth, int cardHeight) {
    paneWidth = std::max(paneWidth, 0);
    paneHeight = std::max(paneHeight, 0);
    // The card beside the drawing in a pane wider than tall, below it otherwise; never more than
    // half the pane, and all of it without a drawing.
    const bool beside = paneWidth > paneHeight;
    if (width_ == 0 || height_ == 0) {
        picture_ = ViewRect();
        card_ = {0, 0, paneWidth, paneHeight};
    } else if (beside) {
        const int w = std::min(std::max(cardWidth, 0), paneWidth / 2);
        picture_ = {0, 0, paneWidth - w, paneHeight};
        card_ = {paneWidth - w, 0, w, paneHeight};
    } else {
        const int h = std::min(std::max(cardHeight, 0), paneHeight / 2);
        picture_ = {0, 0, paneWidth, paneHeight - h};
        card_ = {0, paneHeight - h, paneWidth, h};
    }
    Fit();
}

double DrawingView::FitScale() const {
    if (width_ == 0 || height_ == 0 || picture_.width <= 0 || picture_.height <= 0) return 1;
    return std::min(std::min(double(picture_.width) / width_, double(picture_.height) / height_), kLargestScale);
}

void DrawingView::Fit() {
    scale_ = FitScale();
    fitted_ = true;
    Clamp();
}

void DrawingView::ZoomAbout(int x, int y, double factor) {
    if (width_ == 0 || factor <= 0) return;
    const double px = left_ + (x - picture_.x) / scale_, py = top_ + (y - picture_.y) / scale_;
    scale_ = std::clamp(scale_ * factor, FitScale(), std::max(FitScale(), kLargestScale));
    // Back out to the fit (zoomed in and out by the same steps): the fit itself, centred.
    if (scale_ <= FitScale() * (1 + 1e-9)) return Fit();
    fitted_ = false;
    left_ = px - (x - picture_.x) / scale_;
    top_ = py - (y - picture_.y) / scale_;
    Clamp();
}

void DrawingView::Pan(int dx, int dy) {
    left_ -= dx / scale_;
    top_ -= dy / scale_;
    Clamp();
}

// Within the drawing's edges; a drawing smaller than the area is centred.
void DrawingView::Clamp() {
    const double viewW = picture_.width / scale_, viewH = picture_.height / scale_;
    left_ = viewW >= width_ ? (double(width_) - viewW) / 2 : std::clamp(left_, 0.0, double(width_) - viewW);
    top_ = viewH >= height_ ? (double(height_) - viewH) / 2 : std::clamp(top_, 0.0, double(height_) - viewH);
}

DrawingView::Visible DrawingView::InView() const {
    Visible v;
    if (width_ == 0 || height_ == 0 || picture_.width <= 0 || picture_.height <= 0) return v;
    const double right = left_ + picture_.width / scale_, bottom = top_ + picture_.height / scale_;
    v.x0 = std::uint32_t(std::max(0.0, std::floor(left_)));
    v.y0 = std::uint32_t(std::max(0.0, std::floor(top_)));
    v.x1 = std::uint32_t(std::min(double(width_), std::ceil(right)));
    v.y1 = std::uint32_t(std::min(double(height_), std::ceil(bottom)));
    // Whole pels to whole pixels: the target is where those pels land, rounded.
    const int tx0 = picture_.x + int(std::lround((v.x0 - left_) * scale_));
    const int ty0 = picture_.y + int(std::lround((v.y0 - top_) * scale_));
    const int tx1 = picture_.x + int(std::lround((v.x1 - left_) * scale_));
    const int ty1 = picture_.y + int(std::lround((v.y1 - top_) * scale_));
    v.target = {tx0, ty0, std::max(1, tx1 - tx0), std::max(1, ty1 - ty0)};
    return v;
}

std::vector<std::uint8_t> RenderStoredLines(const CalsImageInfo& info, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                                            std::uint32_t y1, std::uint32_t outWidth, std::uint32_t outHeight,
                                            const StoredLines& addLines) {
    const Orientation upright = ShownAs(info, info.width, info.height);
    std::uint32_t sx0 = 0, sy0 = 0, sx1 = 0, sy1 = 0;
    upright.Stored(x0, y0, x1, y1, sx0, sy0, sx1, sy1);
    if (sx1 <= sx0 || sy1 <= sy0 || outWidth == 0 || outHeight == 0) return {};
    // The stored region's thumbnail is as wide as the shown one is tall where the drawing is turned.
    const bool turned = upright.Turned();
    const std::uint32_t storedOutW = std::min(turned ? outHeight : outWidth, sx1 - sx0);
    const std::uint32_t storedOutH = std::min(turned ? outWidth : outHeight, sy1 - sy0);
    Thumbnailer thumbnail(sx1 - sx0, sy1 - sy0, storedOutW, storedOutH);
    addLines(thumbnail, sx0, sy0, sx1, sy1);
    const Orientation shown = ShownAs(info, storedOutW, storedOutH);
    std::vector<std::uint8_t> grey = shown.Apply(thumbnail.Finish());
    // Scaled up (zoomed past one pixel a pel): each pixel takes its pel's grey.
    const std::uint32_t w = shown.ShownWidth(), h = shown.ShownHeight();
    if (w != outWidth || h != outHeight) {
        std::vector<std::uint8_t> big(std::size_t(outWidth) * outHeight);
        for (std::uint32_t y = 0; y < outHeight; ++y)
            for (std::uint32_t x = 0; x < outWidth; ++x)
                big[std::size_t(y) * outWidth + x] = grey[std::size_t(std::uint64_t(y) * h / outHeight) * w + std::uint64_t(x) * w / outWidth];
        grey.swap(big);
    }
    return grey;
}

RenderedView RenderView(const CalsImageInfo& info, const std::uint8_t* stream, std::size_t size, std::uint32_t x0,
                        std::uint32_t y0, std::uint32_t x1, std::uint32_t y1, std::uint32_t outWidth, std::uint32_t outHeight) {
    RenderedView view;
    view.damagedLine = info.height;
    view.grey = RenderStoredLines(info, x0, y0, x1, y1, outWidth, outHeight,
                                  [&](Thumbnailer& thumbnail, std::uint32_t sx0, std::uint32_t sy0, std::uint32_t sx1, std::uint32_t sy1) {
        Group4Decoder decoder(stream, size, info.width);
        std::vector<std::uint32_t> clipped;
        while (decoder.Rows() < sy1 && decoder.NextRow(nullptr)) {
            const std::uint32_t line = decoder.Rows() - 1;
            if (line < sy0) continue;
            // The row's black runs within [sx0, sx1), counted from sx0.
            const G4Changes changes = decoder.Changes();
            clipped.clear();
            for (std::size_t i = 0; i < changes.size; i += 2) {
                const std::uint32_t a = std::max(changes.data[i], sx0);
                const std::uint32_t b = std::min(i + 1 < changes.size ? changes.data[i + 1] : info.width, sx1);
                if (a < b) {
                    clipped.push_back(a - sx0);
                    clipped.push_back(b - sx0);
                }
            }
            thumbnail.AddLine(clipped);
        }
        if (decoder.Rows() < sy1) {
            view.damagedLine = decoder.Rows();
            view.damage = G4StopText(decoder.Stop());
        }
    });
    return view;
}

} // namespace scanleaf::core
