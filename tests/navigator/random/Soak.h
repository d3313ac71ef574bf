// What the randomized runs share: their random source, and the bookkeeping of long runs.
// Every case calls Begin and End. With SCANLEAF_SOAK_STATE set (scripts/soak.sh sets it),
// Begin writes the case's replay command to that file first, so that a crash leaves it
// there, and the program ends with "soak: N passed, M failed".
#pragma once

#include <random>
#include <string>
#include <vector>

namespace soak {

// The random source of every case: a case's seed gives the same case on every machine.
class Rng {
public:
    explicit Rng(unsigned long seed) : engine_(seed) {}
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
    bool Chance(int percent) { return Int(0, 99) < percent; }
    template <class T>
    const T& Pick(const std::vector<T>& items) { return items[size_t(Int(0, int(items.size()) - 1))]; }

private:
    std::mt19937 engine_;
};

// A number from the environment, or `fallback` when unset or empty.
unsigned long EnvNumber(const char* name, unsigned long fallback);

// `test` is the gtest name that replays the case with SCANLEAF_SEED=seed SCANLEAF_RANDOM_ITERATIONS=1.
void Begin(const char* test, unsigned long seed);
void End(bool passed);

// The replay command of a case, for failure messages.
std::string Replay(const char* test, unsigned long seed);

} // namespace soak
