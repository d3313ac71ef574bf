// A drawing decoded once, for a pane that zooms and pans: its stored lines as 1-bit pels in bands
// allocated as decoding goes (an A0 at 400 dpi keeps 31 MB), so that any part of it renders at
// any scale, exactly as the stream renders, without decoding again. Decoding goes a step at a
// time for a caller that watches its own clock, and never keeps more than a memory budget: what
// decoded by a stop stays to be shown, with the reason. Bounds, whatever the stream: lines kept at
// most the budget (a few bytes of codes can ask for gigabytes: they stop there), the decoder's two
// lines of changes besides; a Decode call at most one line past `pels`; no recursion.
#pragma once

#include "core/cals/CalsImage.h"
#include "core/view/DrawingView.h"
#include "core/fax/Group4.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf::core {

class DecodedDrawing {
public:
    enum class Stop {
        None,        // decoding goes on
        Whole,       // every line decoded
        Damaged,     // the stream ends or breaks before the last line
        Memory,      // the lines left would take more than the budget
        Time,        // the caller's time ran out
        OutOfMemory, // the system refused a band
    };
    static constexpr std::uint64_t kMemoryBudget = 256ull << 20;

    // `stream` is the image data of a type 1 drawing of `info`'s size; it outlives this.
    DecodedDrawing(const CalsImageInfo& info, const std::uint8_t* stream, std::size_t size,
                   std::uint64_t memoryBudget = kMemoryBudget);

    // Decodes lines until about `pels` more pels are decoded (one line at least); false once
    // decoding has stopped, as Stopped() says.
    bool Decode(std::uint64_t pels);
    // Stops where decoding is (the caller's time ran out).
    void StopForTime();

    std::uint32_t Lines() const { return lines_; }
    Stop Stopped() const { return stop_; }
    bool Short() const { return stop_ != Stop::None && stop_ != Stop::Whole; }
    // Why decoding stopped short of the last line; empty otherwise.
    std::string Reason() const;
    std::uint64_t BytesKept() const { return std::uint64_t(allocatedLines_) * stride_; }

    // The part in view, as RenderView renders it from the stream: lines not decoded (yet) are
    // white; damagedLine is Lines() once decoding stopped short, with the reason. Once `cancelled`
    // is set, no more lines are added (for a caller that will throw the picture away).
    RenderedView Render(std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1, std::uint32_t outWidth,
                        std::uint32_t outHeight, const std::atomic<bool>* cancelled = nullptr) const;

private:
    std::uint8_t* Line(std::uint32_t line) const;

    CalsImageInfo info_;
    Group4Decoder decoder_;
    std::uint64_t budget_;
    std::size_t stride_;          // bytes a kept line: whole 8-byte words, the last one's spare bits 0
    std::uint32_t bandLines_;     // lines a band
    std::uint32_t keptLines_;     // the most lines the budget keeps
    std::uint32_t allocatedLines_ = 0;
    std::vector<std::unique_ptr<std::uint8_t[]>> bands_;
    std::uint32_t lines_ = 0;
    Stop stop_ = Stop::None;
};

} // namespace scanleaf::core
