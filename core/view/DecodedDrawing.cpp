#include "core/view/DecodedDrawing.h"

#include "core/view/Thumbnail.h"

#include <algorithm>
#include <new>

namespace scanleaf::core {

namespace {

constexpr std::size_t kBandBytes = 1u << 20;

} // namespace

DecodedDrawing::DecodedDrawing(const CalsImageInfo& info, const std::uint8_t* stream, std::size_t size,
                               std::uint64_t memoryBudget)
    : info_(info), decoder_(stream, size, info.width), budget_(memoryBudget),
      stride_((std::size_t(info.width) + 63) / 64 * 8), bandLines_(std::uint32_t(std::max<std::size_t>(1, kBandBytes / std::max<std::size_t>(stride_, 1)))),
      keptLines_(stride_ ? std::uint32_t(std::min<std::uint64_t>(info.height, memoryBudget / stride_)) : 0) {
    bands_.reserve((std::size_t(keptLines_) + bandLines_ - 1) / bandLines_);
    if (info.height == 0) stop_ = Stop::Whole;
}

std::uint8_t* DecodedDrawing::Line(std::uint32_t line) const {
    return bands_[line / bandLines_].get() + std::size_t(line % bandLines_) * stride_;
}

bool DecodedDrawing::Decode(std::uint64_t pels) {
    std::uint64_t done = 0;
    while (stop_ == Stop::None && (done == 0 || done < pels)) {
        if (lines_ == info_.height) {
            stop_ = Stop::Whole;
            break;
        }
        if (lines_ == keptLines_) {
            stop_ = Stop::Memory;
            break;
        }
        if (lines_ == allocatedLines_) {
            const std::uint32_t lines = std::min(bandLines_, keptLines_ - allocatedLines_);
            // Zeroed: the spare bits past a line's last pel stay white.
            std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[std::size_t(lines) * stride_]());
            if (!band) {
                stop_ = Stop::OutOfMemory;
                break;
            }
            bands_.push_back(std::move(band));
            allocatedLines_ += lines;
        }
        if (!decoder_.NextRow(Line(lines_))) {
            stop_ = Stop::Damaged;
            break;
        }
        ++lines_;
        done += info_.width;
    }
    if (stop_ == Stop::None && lines_ == info_.height) stop_ = Stop::Whole;
    return stop_ == Stop::None;
}

void DecodedDrawing::StopForTime() {
    if (stop_ == Stop::None) stop_ = Stop::Time;
}

std::string DecodedDrawing::Reason() const {
    switch (stop_) {
    case Stop::Damaged: return G4StopText(decoder_.Stop());
    case Stop::Memory: return "the rest would take more than " + std::to_string(budget_ >> 20) + " MB to show";
    case Stop::Time: return "decoding it whole takes longer than a preview waits";
    case Stop::OutOfMemory: return "memory ran out";
    case Stop::None:
    case Stop::Whole: break;
    }
    return std::string();
}

RenderedView DecodedDrawing::Render(std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1, std::uint32_t outWidth,
                                    std::uint32_t outHeight, const std::atomic<bool>* cancelled) const {
    RenderedView view;
    view.damagedLine = Short() ? lines_ : info_.height;
    if (Short()) view.damage = Reason();
    view.grey = RenderStoredLines(info_, x0, y0, x1, y1, outWidth, outHeight,
                                  [&](Thumbnailer& thumbnail, std::uint32_t sx0, std::uint32_t sy0, std::uint32_t, std::uint32_t sy1) {
        for (std::uint32_t line = sy0; line < std::min(sy1, lines_); ++line) {
            if (cancelled && cancelled->load(std::memory_order_relaxed)) return;
            thumbnail.AddPackedLine(Line(line), sx0);
        }
    });
    return view;
}

} // namespace scanleaf::core
