// Fuzz target: the pure raster decoders with any kind, size and maximum, writing into
// a buffer guarded on both sides; and the plain-text packer round trip (encode then
// decode gives the samples back).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "ppm/ppm_format.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 16;

void check_decoders(const uint8_t* data, size_t size) {
    if (size < 6) {
        return;
    }
    ppm::PnmHeader header;
    header.digit = static_cast<uint8_t>('1' + data[0] % 6);
    header.width = 1U + data[1] % 64U;
    header.height = 1U + data[2] % 64U;
    header.maxval = 1U + ((static_cast<uint32_t>(data[3]) << 8U) | data[4]);
    const size_t bytes = size_t{header.width} * header.height * 3;
    std::vector<uint8_t> guarded(bytes + 2 * kGuardBytes, kGuard);
    (void)ppm::decode_raster(header, {data + 5, size - 5}, {guarded.data() + kGuardBytes, bytes});
    for (size_t i = 0; i < kGuardBytes; ++i) {
        FUZZ_CHECK(guarded[i] == kGuard && guarded[guarded.size() - 1 - i] == kGuard);
    }
}

void check_plain_round_trip(const uint8_t* data, size_t size) {
    std::vector<uint8_t> text(ppm::plain_text_bound(size));
    const size_t length = ppm::encode_plain({data, size}, 0, size, text.data());
    FUZZ_CHECK(length <= text.size());
    std::vector<uint8_t> pixels(size * 3);
    ppm::decode_plain({text.data(), length}, pixels, 255, 3);
    FUZZ_CHECK(std::memcmp(pixels.data(), data, size) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_decoders(data, size);
    check_plain_round_trip(data, size);
    return 0;
}
