// Checked 64-bit size arithmetic. An overflow yields kSizeOverflow, which no pool
// grants, so an impossible size always ends as "out of memory", never as a wrapped
// small number. Pure functions.
#pragma once

#include <cstdint>
#include <limits>

namespace runtime {

inline constexpr uint64_t kSizeOverflow = std::numeric_limits<uint64_t>::max();

[[nodiscard]] constexpr uint64_t size_mul(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? kSizeOverflow : product;
}

[[nodiscard]] constexpr uint64_t size_add(uint64_t a, uint64_t b) {
    uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? kSizeOverflow : sum;
}

[[nodiscard]] constexpr uint64_t size_mul(uint64_t a, uint64_t b, uint64_t c) {
    return size_mul(size_mul(a, b), c);
}

} // namespace runtime
