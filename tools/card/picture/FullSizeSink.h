// A drawing drawn at full size into a PNG file, one bit a pel, upright as its header says.
#pragma once

#include "tools/card/picture/Drawing.h"
#include "tools/card/picture/Png.h"

#include <cstdint>
#include <string>
#include <vector>

namespace card {

// Full size, one bit a pel: upright drawings go to the file line by line; others are held
// packed (an eighth of a byte a pel) and turned at the end.
class FullSizeSink : public DrawingSink {
public:
    explicit FullSizeSink(const std::wstring& path) : path_(path) {}
    void Begin(const scanleaf::core::CalsImageInfo& info) override {
        info_ = info;
        rowBytes_ = (info.width + 7) / 8;
        upright_ = !info.orientationKnown || (info.pelPath == 0 && info.lineProgression == 270);
        if (upright_)
            hr_ = png_.Begin(path_, info.width, info.height, PngWriter::Pixels::BlackWhite, info.density);
        else
            held_.assign(std::size_t(rowBytes_) * info.height, 0);
        line_.assign(rowBytes_, 0xFF);
    }
    void Line(scanleaf::core::G4Changes, const std::uint8_t* packed) override {
        if (!upright_) {
            std::copy(packed, packed + rowBytes_, held_.begin() + std::ptrdiff_t(std::size_t(rows_) * rowBytes_));
        } else if (SUCCEEDED(hr_)) {
            for (std::uint32_t b = 0; b < rowBytes_; ++b) line_[b] = std::uint8_t(~packed[b]); // 1 = white
            hr_ = png_.Write(line_.data(), 1, rowBytes_);
        }
        ++rows_;
    }
    HRESULT Finish() {
        if (upright_) {
            std::fill(line_.begin(), line_.end(), 0xFF);
            for (; rows_ < info_.height && SUCCEEDED(hr_); ++rows_) hr_ = png_.Write(line_.data(), 1, rowBytes_);
            return SUCCEEDED(hr_) ? png_.Finish() : hr_;
        }
        const scanleaf::core::Orientation shown = scanleaf::core::ShownAs(info_, info_.width, info_.height);
        const std::uint32_t shownBytes = (shown.ShownWidth() + 7) / 8;
        std::vector<std::uint8_t> turned(std::size_t(shownBytes) * shown.ShownHeight(), 0xFF);
        for (std::uint32_t y = 0; y < info_.height; ++y)
            for (std::uint32_t x = 0; x < info_.width; ++x)
                if (held_[std::size_t(y) * rowBytes_ + (x >> 3)] & (0x80 >> (x & 7))) {
                    std::uint32_t sx = 0, sy = 0;
                    shown.Place(x, y, sx, sy);
                    turned[std::size_t(sy) * shownBytes + (sx >> 3)] &= std::uint8_t(~(0x80 >> (sx & 7)));
                }
        HRESULT hr = png_.Begin(path_, shown.ShownWidth(), shown.ShownHeight(), PngWriter::Pixels::BlackWhite, info_.density);
        if (SUCCEEDED(hr)) hr = png_.Write(turned.data(), shown.ShownHeight(), shownBytes);
        return SUCCEEDED(hr) ? png_.Finish() : hr;
    }

private:
    std::wstring path_;
    scanleaf::core::CalsImageInfo info_;
    std::uint32_t rowBytes_ = 0, rows_ = 0;
    bool upright_ = true;
    PngWriter png_;
    HRESULT hr_ = S_OK;
    std::vector<std::uint8_t> line_, held_;
};

} // namespace card
