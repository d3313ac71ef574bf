// Bookkeeping of long randomized runs. Every case calls Begin and End. With SCANLEAF_SOAK_STATE
// set (scripts/soak.sh sets it), Begin writes the case's replay command to that file first,
// so that a crash leaves it there, and the program ends with "soak: N passed, M failed".
#pragma once

#include <string>

namespace soak {

// A number from the environment, or `fallback` when unset or empty.
unsigned long EnvNumber(const char* name, unsigned long fallback);

// `test` is the gtest name that replays the case with SCANLEAF_SEED=seed SCANLEAF_RANDOM_ITERATIONS=1.
void Begin(const char* test, unsigned long seed);
void End(bool passed);

// The replay command of a case, for failure messages.
std::string Replay(const char* test, unsigned long seed);

} // namespace soak
