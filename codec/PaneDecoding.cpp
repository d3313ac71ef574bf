#include "codec/PaneDecoding.h"

#include "hostenv/ComError.h"
#include "hostenv/ExclusiveLock.h"

#include <algorithm>

namespace scanleaf {

PaneDecoding::PaneDecoding(std::vector<std::uint8_t> bytes, const core::CalsImageInfo& info, HWND window, UINT message)
    : bytes_(std::move(bytes)), info_(info), window_(window), message_(message) {
    thread_.Reset(CreateThread(nullptr, 0, &PaneDecoding::Thread, this, 0, nullptr));
    if (!thread_) RaiseComError(LastErrorAsHresult());
    // The host's window thread comes first: decoding takes what the window leaves.
    SetThreadPriority(thread_.Get(), THREAD_PRIORITY_BELOW_NORMAL);
}

PaneDecoding::~PaneDecoding() {
    {
        ExclusiveLock guard(lock_);
        ending_ = true;
    }
    cancelled_ = true;
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.Get(), INFINITE);
}

void PaneDecoding::Want(const core::DrawingView::Visible& visible) {
    {
        ExclusiveLock guard(lock_);
        if (visible == wanted_ && wantedSerial_ != 0) return;
        wanted_ = visible;
        ++wantedSerial_;
    }
    WakeAllConditionVariable(&changed_);
}

std::shared_ptr<const PaneDecoding::Picture> PaneDecoding::Take() {
    posted_ = false;
    ExclusiveLock guard(lock_);
    return std::move(ready_);
}

DWORD WINAPI PaneDecoding::Thread(void* self) {
    auto* decoding = static_cast<PaneDecoding*>(self);
    try {
        decoding->Run();
    } catch (...) {
        // Memory ran out: what is decoded and shown stays, and the pane says why.
        decoding->failed_ = true;
        decoding->Notify();
    }
    return 0;
}

void PaneDecoding::Notify() {
    // One message waits at a time: the pane takes the newest picture when it comes.
    if (!posted_.exchange(true)) PostMessageW(window_, message_, 0, 0);
}

void PaneDecoding::Publish(std::shared_ptr<const Picture> picture) {
    {
        ExclusiveLock guard(lock_);
        ready_ = std::move(picture);
    }
    Notify();
}

std::shared_ptr<const PaneDecoding::Picture> PaneDecoding::Render(const core::DecodedDrawing& drawing,
                                                                  const core::DrawingView::Visible& visible) const {
    auto picture = std::make_shared<Picture>();
    picture->visible = visible;
    picture->lines = drawing.Lines();
    picture->stop = drawing.Stopped();
    picture->reason = drawing.Reason();
    const int w = visible.target.width, h = visible.target.height;
    if (w <= 0 || h <= 0) return picture;
    const core::RenderedView view =
        drawing.Render(visible.x0, visible.y0, visible.x1, visible.y1, std::uint32_t(w), std::uint32_t(h), &cancelled_);
    if (view.grey.size() != std::size_t(w) * std::size_t(h)) return picture;
    const std::size_t stride = picture->Stride();
    picture->rows.resize(stride * std::size_t(h));
    for (int y = 0; y < h; ++y)
        std::copy_n(view.grey.data() + std::size_t(y) * std::size_t(w), w, picture->rows.data() + std::size_t(y) * stride);
    return picture;
}

void PaneDecoding::Run() {
    core::DecodedDrawing drawing(info_, bytes_.data() + core::kHeaderSize, bytes_.size() - core::kHeaderSize);
    const ULONGLONG start = GetTickCount64();
    ULONGLONG rendered = 0, renderTook = 0;
    std::uint64_t renderedSerial = 0;
    std::uint32_t renderedLines = 0;
    bool renderedStopped = false;
    for (;;) {
        const bool decoding = drawing.Stopped() == core::DecodedDrawing::Stop::None;
        core::DrawingView::Visible view;
        std::uint64_t serial = 0;
        {
            ExclusiveLock guard(lock_);
            // Decoded and the view rendered: nothing to do until another view is wanted.
            while (!ending_ && !decoding && renderedStopped && wantedSerial_ == renderedSerial)
                SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            if (ending_) return;
            view = wanted_;
            serial = wantedSerial_;
        }
        if (decoding) {
            drawing.Decode(kStepPels);
            if (GetTickCount64() - start > kTimeBudgetMs) drawing.StopForTime();
            lines_.store(drawing.Lines(), std::memory_order_relaxed);
        }
        const bool stopped = drawing.Stopped() != core::DecodedDrawing::Stop::None;
        const ULONGLONG now = GetTickCount64();
        // Progress shown no more often than leaves decoding three quarters of the time.
        const bool progressed = drawing.Lines() != renderedLines && now - rendered >= std::max(kProgressMs, 3 * renderTook);
        if (serial == renderedSerial && stopped == renderedStopped && !progressed) continue;
        std::shared_ptr<const Picture> picture = Render(drawing, view);
        if (cancelled_) return;
        renderedSerial = serial;
        renderedStopped = stopped;
        renderedLines = drawing.Lines();
        rendered = GetTickCount64();
        renderTook = rendered - now;
        Publish(std::move(picture));
    }
}

} // namespace scanleaf
