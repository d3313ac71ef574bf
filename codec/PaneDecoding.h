// A preview pane's drawing, decoded once on a thread of its own and rendered there for whatever
// view the pane asks for: the pane's window only copies finished pictures, so no message waits on
// decoding, however large or hostile the stream. While decoding goes on, the view is rendered
// again every kProgressMs from the lines decoded so far. Decoding stops at the drawing's memory
// budget or after kTimeBudgetMs; the thread is told to end, and is waited for, when this goes:
// between two looks at that it decodes about kStepPels pels or renders one view.
#pragma once

#include "core/cals/CalsImage.h"
#include "core/view/DecodedDrawing.h"
#include "core/view/DrawingView.h"
#include "hostenv/Unique.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf {

class PaneDecoding {
public:
    static constexpr ULONGLONG kTimeBudgetMs = 10000;
    static constexpr ULONGLONG kProgressMs = 250;
    static constexpr std::uint64_t kStepPels = 1u << 20;

    // A rendering of one view, its grey rows ready for the screen (top first, each a whole number
    // of 32-bit words), and how far decoding had gone when it was made.
    struct Picture {
        core::DrawingView::Visible visible;
        std::vector<std::uint8_t> rows;           // empty when nothing shows (or it could not be made)
        std::uint32_t lines = 0;                  // lines decoded
        core::DecodedDrawing::Stop stop = core::DecodedDrawing::Stop::None;
        std::string reason;                       // why decoding stopped short of the last line
        std::size_t Stride() const { return (std::size_t(visible.target.width) + 3) & ~std::size_t(3); }
        bool Short() const { return stop != core::DecodedDrawing::Stop::None && stop != core::DecodedDrawing::Stop::Whole; }
    };

    // Starts decoding the file's `bytes` on a thread of its own, which posts `message` to `window`
    // whenever a picture is ready to take. Throws the system's error when no thread starts.
    PaneDecoding(std::vector<std::uint8_t> bytes, const core::CalsImageInfo& info, HWND window, UINT message);
    ~PaneDecoding();
    PaneDecoding(const PaneDecoding&) = delete;
    PaneDecoding& operator=(const PaneDecoding&) = delete;

    // The view to render next: the latest one asked for wins.
    void Want(const core::DrawingView::Visible& visible);
    // The newest picture since the last one taken; null when there is none.
    std::shared_ptr<const Picture> Take();
    // Lines decoded so far.
    std::uint32_t Lines() const { return lines_.load(std::memory_order_relaxed); }
    // Memory ran out on the thread: it has ended, with the lines decoded by then.
    bool Failed() const { return failed_.load(); }

private:
    static DWORD WINAPI Thread(void* self);
    void Run();
    std::shared_ptr<const Picture> Render(const core::DecodedDrawing& drawing, const core::DrawingView::Visible& visible) const;
    void Publish(std::shared_ptr<const Picture> picture);
    void Notify();

    std::vector<std::uint8_t> bytes_;
    core::CalsImageInfo info_;
    HWND window_;
    UINT message_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    bool ending_ = false;
    core::DrawingView::Visible wanted_;
    std::uint64_t wantedSerial_ = 0;
    std::shared_ptr<const Picture> ready_;
    std::atomic<bool> cancelled_{false}; // ending_, read without the lock while rendering
    std::atomic<bool> posted_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::uint32_t> lines_{0};
    Unique<handles::Kernel> thread_;
};

} // namespace scanleaf
