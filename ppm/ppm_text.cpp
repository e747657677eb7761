// Plain sample text: bytes as decimal numbers, kPlainPerLine to a line. Pure: writes
// only into the buffer it is given.
#include <array>
#include <cstring>

#include "ppm/ppm_format.h"

namespace ppm {
namespace {

// Each byte value's digits in the first bytes, its digit count in the last.
constexpr std::array<std::array<uint8_t, 4>, 256> make_digits() {
    std::array<std::array<uint8_t, 4>, 256> digits{};
    for (uint32_t v = 0; v < 256; ++v) {
        auto& entry = digits[v];
        if (v >= 100) {
            entry = {static_cast<uint8_t>('0' + v / 100), static_cast<uint8_t>('0' + v / 10 % 10),
                     static_cast<uint8_t>('0' + v % 10), 3};
        } else if (v >= 10) {
            entry = {static_cast<uint8_t>('0' + v / 10), static_cast<uint8_t>('0' + v % 10), 0, 2};
        } else {
            entry = {static_cast<uint8_t>('0' + v), 0, 0, 1};
        }
    }
    return digits;
}

constexpr std::array<std::array<uint8_t, 4>, 256> kDigits = make_digits();

} // namespace

/* encode_plain: sample number `first_index + i` is followed by a newline when it ends
 * a line of kPlainPerLine samples or is the last of `total`, by a space otherwise. Each
 * sample takes at most four bytes (three digits and the separator). */
size_t encode_plain(std::span<const uint8_t> samples, size_t first_index, size_t total,
                    uint8_t* out) {
    uint8_t* pos = out;
    size_t column = first_index % kPlainPerLine;
    for (const uint8_t sample : samples) {
        const auto& entry = kDigits[sample];
        std::memcpy(pos, entry.data(), 4);
        pos += entry[3];
        ++column;
        const bool line_end = column == kPlainPerLine;
        *pos++ = line_end ? '\n' : ' ';
        column = line_end ? 0 : column;
    }
    if (first_index + samples.size() == total && pos != out) {
        pos[-1] = '\n';
    }
    return static_cast<size_t>(pos - out);
}

} // namespace ppm
