#include "tests/module/boundary/FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace faults {

namespace {

thread_local long countdown = 0; // 0: not armed
thread_local bool reached = false;
thread_local Thrown kind = Thrown::OutOfMemory;
thread_local bool armer = false;
std::atomic<long> othersCountdown{0};
std::atomic<bool> othersReached{false};

} // namespace

void ArmOtherThreads(long nth) {
    armer = true;
    othersReached = false;
    othersCountdown = nth;
}

bool DisarmOtherThreads() {
    othersCountdown = 0;
    armer = false;
    return othersReached;
}

// Whether this allocation, on a thread that did not arm, is the one to fail.
bool OthersFail() {
    if (armer || othersCountdown.load() <= 0) return false;
    if (othersCountdown.fetch_sub(1) != 1) return false;
    othersReached = true;
    return true;
}

void Arm(long nth, Thrown thrown) {
    countdown = nth;
    reached = false;
    kind = thrown;
}

bool Disarm() {
    countdown = 0;
    return reached;
}

} // namespace faults

// Every plain allocation of the program comes here (the array and sized forms call these).
void* operator new(std::size_t size) {
    if (faults::countdown > 0 && --faults::countdown == 0) {
        faults::reached = true;
        if (faults::kind == faults::Thrown::OutOfMemory) throw std::bad_alloc();
        throw std::length_error("an allocation failed on purpose");
    }
    if (faults::OthersFail()) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
