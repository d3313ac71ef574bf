#include "tests/navigator/random/Soak.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace soak {

namespace {

struct Tally {
    unsigned long passed = 0;
    unsigned long failed = 0;
    ~Tally() {
        if (Enabled()) std::printf("soak: %lu passed, %lu failed\n", passed, failed);
    }
    static bool Enabled() {
        const char* state = std::getenv("SCANLEAF_SOAK_STATE");
        return state && *state;
    }
};

Tally& TheTally() {
    static Tally tally;
    return tally;
}

} // namespace

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::strtoul(text, nullptr, 10);
}

std::string Replay(const char* test, unsigned long seed) {
    return "SCANLEAF_SEED=" + std::to_string(seed) + " SCANLEAF_RANDOM_ITERATIONS=1 build/wine-run " +
           "build/bin/test_navigator_random.exe --gtest_filter=" + test;
}

void Begin(const char* test, unsigned long seed) {
    TheTally();
    const char* state = std::getenv("SCANLEAF_SOAK_STATE");
    if (!state || !*state) return;
    // The tally so far goes first: after a crash it is all that is left of this process's cases.
    std::string line = "tally " + std::to_string(TheTally().passed) + " " + std::to_string(TheTally().failed) + "\n" +
                       Replay(test, seed) + "\n";
    HANDLE file = CreateFileA(state, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
}

void End(bool passed) { ++(passed ? TheTally().passed : TheTally().failed); }

} // namespace soak
