// Planning the rounds of rows a writer encodes at a time.
#include "runtime/row_rounds.h"

#include "runtime/sizes.h"

namespace runtime {
namespace {

// The raw bytes of rows a band encodes in one round: enough to be worth a thread, few
// enough to keep the buffers small.
constexpr uint64_t kBandBytes = uint64_t{1} << 20U;

} // namespace

bool RowRounds::plan(uint32_t rows, uint64_t row_bytes, uint64_t most_encoded) {
    rows_ = rows;
    rows_per_band_ = static_cast<uint32_t>(std::clamp<uint64_t>(
        kBandBytes / std::max<uint64_t>(row_bytes, 1), 1, std::max<uint32_t>(rows, 1)));
    bands_ = band_count(rows, rows_per_band_);
    capacity_ = std::max<uint64_t>(size_mul(most_encoded, rows_per_band_), 1);
    return encoded_.allocate(size_mul(capacity_, bands_));
}

} // namespace runtime
