// FNV-1a, 64 bits: the sums that must stay what they were in every version (a carried header's
// sum, a card's state, a path's shard).
#pragma once

#include <cstdint>

namespace scanleaf::core {

class Fnv1a {
public:
    // One value into the sum: a byte, or a marker above 0xFF that no byte can be.
    void Add(unsigned value) { value_ = (value_ ^ value) * 1099511628211ull; }
    // A UTF-16 unit as two bytes, the low one first.
    void AddUnit(unsigned unit) {
        Add(unit & 0xFF);
        Add((unit >> 8) & 0xFF);
    }
    std::uint64_t Value() const { return value_; }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

} // namespace scanleaf::core
