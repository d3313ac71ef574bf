#include "tests/module/boundary/FailingAllocations.h"

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace faults {

namespace {

thread_local long countdown = 0; // 0: not armed
thread_local bool reached = false;
thread_local Thrown kind = Thrown::OutOfMemory;

} // namespace

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
