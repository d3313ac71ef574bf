// Files worked on by several threads, each in a COM apartment of its own, with the results handed
// on in the order the files came, on the calling thread: the output of N jobs is the output of
// one. At most two results a job wait at a time, so memory stays a few files' worth.
#pragma once

#include "hostenv/ComApartment.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace card {

// --jobs when it is not given: the processors the system has, at most 64.
unsigned DefaultJobs();

template <class Item, class Result>
class OrderedPool {
public:
    using Work = std::function<Result(unsigned worker, const Item& item)>;
    using Emit = std::function<void(const Item& item, Result& result)>;

    // One job: the work is done on the calling thread as each item is added.
    OrderedPool(unsigned jobs, Work work, Emit emit)
        : jobs_(jobs < 1 ? 1 : jobs), work_(std::move(work)), emit_(std::move(emit)) {
        if (jobs_ > 1)
            for (unsigned w = 0; w < jobs_; ++w) threads_.emplace_back([this, w] { Run(w); });
    }
    ~OrderedPool() { Finish(); }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    void Add(const Item& item) {
        if (jobs_ == 1) {
            Result result = work_(0, item);
            emit_(item, result);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        EmitReady(lock, 2 * jobs_);
        slots_.push_back(Slot{item, false, Result()});
        changed_.notify_all();
    }

    // Waits for every result and hands it on; the threads end.
    void Finish() {
        if (threads_.empty()) return;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            EmitReady(lock, 1);
            closing_ = true;
            changed_.notify_all();
        }
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

private:
    struct Slot {
        Item item;
        bool done;
        Result result;
    };

    // Hands on the results at the front as they are done, until fewer than `room` wait.
    void EmitReady(std::unique_lock<std::mutex>& lock, size_t room) {
        for (;;) {
            while (!slots_.empty() && slots_.front().done) {
                Slot slot = std::move(slots_.front());
                slots_.pop_front();
                ++emitted_;
                changed_.notify_all();
                lock.unlock();
                emit_(slot.item, slot.result);
                lock.lock();
            }
            if (slots_.size() < room) return;
            changed_.wait(lock);
        }
    }

    void Run(unsigned worker) {
        const scanleaf::ComApartment com;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return taken_ < emitted_ + slots_.size() || closing_; });
            if (taken_ >= emitted_ + slots_.size()) break;
            const size_t sequence = taken_++;
            const Item item = slots_[sequence - emitted_].item;
            lock.unlock();
            Result result = work_(worker, item);
            lock.lock();
            Slot& slot = slots_[sequence - emitted_];
            slot.result = std::move(result);
            slot.done = true;
            changed_.notify_all();
        }
        lock.unlock();
    }

    unsigned jobs_;
    Work work_;
    Emit emit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Slot> slots_; // from the oldest not yet handed on
    size_t emitted_ = 0;     // results handed on: the number of the front slot
    size_t taken_ = 0;       // items a thread has taken
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

} // namespace card
