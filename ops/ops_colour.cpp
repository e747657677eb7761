// Colour operations: gamma, brightness, per-channel offsets, contrast, grey and
// negation. The tables are built once per call (pow 256 times at most); the loops are
// plain byte loops the compiler can vectorise, run in bands on the job's threads. No
// I/O, no globals beyond the pool.
#include <algorithm>
#include <cmath>

#include "ops/ops_format.h"
#include "ops/ops_rules.h"
#include "runtime/bands.h"
#include "runtime/pool.h"

namespace ops {
namespace {

constexpr int32_t kContrastLimit = 127;

uint8_t clamp_byte(int64_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

std::span<uint8_t> counted_bytes(const OpArgs* args) {
    return {args->Source, args->Count};
}

// `change` over the bytes, in bands of the job's threads.
template <typename Change> void in_byte_bands(std::span<uint8_t> bytes, const Change& change) {
    runtime::in_bands(bytes.size(), kLeastBandBytes,
                      [&](size_t first, size_t end) { change(bytes.subspan(first, end - first)); });
}

// The 256-byte table gamma and contrast work through lives in the pool for the call; no
// pool, no table, and the picture stays as it is.
template <typename Build> void map_through_pool_table(OpArgs* args, Build build) {
    runtime::PoolBlock block(kTableBytes);
    if (!block) {
        return;
    }
    const TableView table(block.bytes(), kTableBytes);
    if (build(table)) {
        in_byte_bands(counted_bytes(args),
                      [&](std::span<uint8_t> band) { apply_table(band, table); });
    }
}

} // namespace

/* gamma_table: e = 100 / g; entry i = pow(i / 255, e) x 255 + 0.5, truncated and clamped.
 * deliberate choice: g <= 0 (an infinite or negative exponent) builds no table, so the
 * picture is left unchanged. */
bool gamma_table(int32_t gamma_100, TableView table) {
    if (gamma_100 <= 0) {
        return false;
    }
    const double exponent = 100.0 / gamma_100;
    for (uint32_t i = 0; i < table.size(); ++i) {
        const double value = std::pow(i / 255.0, exponent) * 255.0 + 0.5;
        table[i] = clamp_byte(static_cast<int32_t>(value));
    }
    return true;
}

/* contrast_table: a curve symmetric about the middle. Exponent y = 127 / (127 - c) for
 * c >= 0 (127 when c = 127), (c + 127) / 127 for c < 0; for m = i (i <= 127) or
 * 255 - i, t = pow(m / 127, y) x 127 truncated (base 1/127 for m = 0 when c < 0);
 * entry i is t below the middle and 255 - t above it.
 * deliberate choice: c outside -127..127 (a negative exponent) builds no table. */
bool contrast_table(int32_t contrast, TableView table) {
    if (contrast < -kContrastLimit || contrast > kContrastLimit) {
        return false;
    }
    double exponent = 0;
    if (contrast >= 0) {
        exponent = contrast == kContrastLimit ? 127.0 : 127.0 / (kContrastLimit - contrast);
    } else {
        exponent = (contrast + kContrastLimit) / 127.0;
    }
    for (uint32_t i = 0; i < table.size(); ++i) {
        const uint32_t mirrored = i <= 127 ? i : 255 - i;
        const double base = contrast < 0 && mirrored == 0 ? 1.0 / 127.0 : mirrored / 127.0;
        const uint8_t t = clamp_byte(static_cast<int32_t>(std::pow(base, exponent) * 127.0));
        table[i] = i <= 127 ? t : static_cast<uint8_t>(255 - t);
    }
    return true;
}

ByteTable brightness_table(int32_t offset) {
    ByteTable table{};
    for (uint32_t i = 0; i < table.size(); ++i) {
        // The sum is held as a signed 16-bit number: it wraps modulo 65536 before clamping.
        const auto sum =
            static_cast<int16_t>(static_cast<uint16_t>(i + static_cast<uint32_t>(offset)));
        table[i] = clamp_byte(sum);
    }
    return table;
}

void apply_table(std::span<uint8_t> bytes, std::span<const uint8_t, 256> table) {
    uint8_t* data = bytes.data();
    const uint8_t* lookup = table.data();
    const size_t count = bytes.size();
    for (size_t i = 0; i < count; ++i) {
        data[i] = lookup[data[i]];
    }
}

/* brighten: each byte becomes byte + offset held as a signed 16-bit sum (wrapping
 * modulo 65536), clamped to 0..255. Written lane by lane so it vectorises. */
void brighten(std::span<uint8_t> bytes, int32_t offset) {
    const auto offset_16 = static_cast<uint16_t>(offset);
    uint8_t* data = bytes.data();
    const size_t count = bytes.size();
    for (size_t i = 0; i < count; ++i) {
        const auto sum = static_cast<int16_t>(static_cast<uint16_t>(data[i] + offset_16));
        data[i] = static_cast<uint8_t>(sum < 0 ? 0 : (sum > 255 ? 255 : sum));
    }
}

void negate(std::span<uint8_t> bytes) {
    uint8_t* data = bytes.data();
    const size_t count = bytes.size();
    for (size_t i = 0; i < count; ++i) {
        data[i] = static_cast<uint8_t>(~data[i]);
    }
}

void PPC_SetGamma(OpArgs* args) {
    map_through_pool_table(args, [&](TableView table) { return gamma_table(args->Param1, table); });
}

void PPC_SetContrast(OpArgs* args) {
    map_through_pool_table(args,
                           [&](TableView table) { return contrast_table(args->Param1, table); });
}

void PPC_SetBrightness(OpArgs* args) {
    in_byte_bands(counted_bytes(args),
                  [&](std::span<uint8_t> band) { brighten(band, args->Param1); });
}

/* PPC_SetRGB: channel c (0 red, 1 green, 2 blue) of every three bytes below Count gets
 * the brightness rule with its own offset; an offset of 0 leaves the channel alone. */
void PPC_SetRGB(OpArgs* args) {
    const int32_t offsets[3] = {args->Param1, args->Param2, args->Param3};
    const ByteTable tables[3] = {brightness_table(offsets[0]), brightness_table(offsets[1]),
                                 brightness_table(offsets[2])};
    uint8_t* data = args->Source;
    const size_t count = args->Count;
    // Bands of whole pixels; the last may end inside one.
    runtime::in_bands((count + 2) / 3, kLeastBandBytes / 3, [&](size_t first, size_t end) {
        const size_t band_end = std::min(count, 3 * end);
        for (uint32_t channel = 0; channel < 3; ++channel) {
            if (offsets[channel] == 0) {
                continue;
            }
            const ByteTable& table = tables[channel];
            for (size_t i = 3 * first + channel; i < band_end; i += 3) {
                data[i] = table[data[i]];
            }
        }
    });
}

/* PPC_RGBToGray: only for three bytes per pixel; grey is the red byte, unweighted. */
void PPC_RGBToGray(OpArgs* args) {
    if (args->BytesPerPixel != 3) {
        return;
    }
    const uint8_t* source = args->Source;
    uint8_t* dest = args->Dest;
    runtime::in_bands(args->Count, kLeastBandPixels, [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i) {
            dest[i] = source[3 * i];
        }
    });
}

void PPC_Negate(OpArgs* args) {
    in_byte_bands(counted_bytes(args), [](std::span<uint8_t> band) { negate(band); });
}

} // namespace ops
