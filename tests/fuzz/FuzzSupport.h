// What the fuzz targets share: text drawn from the input, and a check that aborts with a message.
#pragma once

#include "core/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzzsupport {

using scanleaf::core::Text;
using scanleaf::core::Unit;

// A finding: libFuzzer keeps the input that got here.
#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

// Up to `max` UTF-16 units, mostly from `alphabet` (so that names and lists meet), sometimes any unit.
inline Text DrawText(FuzzedDataProvider& in, std::size_t max, const Text& alphabet) {
    Text text;
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, max);
    for (std::size_t i = 0; i < length && in.remaining_bytes(); ++i) {
        if (!alphabet.empty() && in.ConsumeIntegralInRange<int>(0, 9) < 8)
            text += alphabet[in.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1)];
        else
            text += Unit(in.ConsumeIntegral<std::uint16_t>());
    }
    return text;
}

// One of the items, or text of its own.
inline Text DrawWord(FuzzedDataProvider& in, const std::vector<Text>& words, const Text& alphabet) {
    if (!words.empty() && in.ConsumeBool()) return words[in.ConsumeIntegralInRange<std::size_t>(0, words.size() - 1)];
    return DrawText(in, 16, alphabet);
}

} // namespace fuzzsupport
