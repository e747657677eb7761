// Fuzz target: ByteRun1. Any plane rows packed by CompactRow unpack to themselves and
// never take more than twice their size; arbitrary bytes unpack without reading or
// writing outside their spans.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "ilbm/ilbm_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t row = 1 + data[0] % 200;
    const size_t rows = (size - 1) / row;
    std::vector<uint8_t> packed(2 * row * rows + 1, 0xA5);
    const size_t length =
        ilbm::CompactRow(data + 1, packed.data(), row, static_cast<uint32_t>(rows % 256));
    FUZZ_CHECK(length <= 2 * row * (rows % 256) && packed[2 * row * rows] == 0xA5);
    size_t at = 0;
    std::vector<uint8_t> out(row);
    for (size_t r = 0; r < rows % 256; ++r) {
        const int64_t used = ilbm::unpack_row({packed.data(), length}, at, out);
        FUZZ_CHECK(used > 0);
        FUZZ_CHECK(std::memcmp(out.data(), data + 1 + r * row, row) == 0);
        at += static_cast<size_t>(used);
    }
    FUZZ_CHECK(at == length);
    size_t raw_at = 1;
    while (raw_at < size) {
        const int64_t used = ilbm::unpack_row({data, size}, raw_at, out);
        if (used <= 0) {
            break;
        }
        raw_at += static_cast<size_t>(used);
        FUZZ_CHECK(raw_at <= size);
    }
    return 0;
}
