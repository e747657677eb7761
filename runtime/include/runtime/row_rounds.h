// Rows encoded a round at a time for writers whose coding starts afresh on every row:
// each round is split into bands for the job's threads (the bytes do not depend on the
// bands) and written, band after band, as the round ends. The memory taken is a round of
// encoded rows, whatever the picture's size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "runtime/bands.h"
#include "runtime/pool.h"

namespace runtime {

class RowRounds {
public:
    // Plans rounds over `rows` rows of `row_bytes` raw bytes, each encoded in at most
    // `most_encoded` bytes, and takes the block of a round's encoded rows; false without
    // memory.
    [[nodiscard]] bool plan(uint32_t rows, uint64_t row_bytes, uint64_t most_encoded);
    [[nodiscard]] uint32_t bands() const { return bands_; }

    // Calls before_round(first row, rows) before each round, encode(band, y, out) for
    // each row (the bytes it wrote at `out`, at most most_encoded), then write(bytes) for
    // each band's rows in order. Stops at the first write that returns false; returns
    // whether every write succeeded.
    template <typename BeforeRound, typename Encode, typename Write>
    bool run(const BeforeRound& before_round, const Encode& encode, const Write& write) {
        const uint64_t round_rows = uint64_t{rows_per_band_} * bands_;
        for (uint64_t top = 0; top < rows_; top += round_rows) {
            const auto rows = static_cast<uint32_t>(std::min<uint64_t>(round_rows, rows_ - top));
            before_round(static_cast<uint32_t>(top), rows);
            run_bands(rows, bands_, [&](uint32_t band, size_t first, size_t end) {
                uint8_t* out = encoded_.bytes() + band * capacity_;
                uint64_t length = 0;
                for (size_t y = top + first; y < top + end; ++y) {
                    length += encode(band, static_cast<uint32_t>(y), out + length);
                }
                lengths_[band] = length;
            });
            for (uint32_t band = 0; band < bands_; ++band) {
                if (!write(std::span<const uint8_t>(encoded_.bytes() + band * capacity_,
                                                    lengths_[band]))) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    uint32_t rows_ = 0;
    uint32_t rows_per_band_ = 1;
    uint32_t bands_ = 1;
    uint64_t capacity_ = 1; // a band's encoded rows
    PoolBlock encoded_;
    uint64_t lengths_[kMostBands] = {};
};

} // namespace runtime
