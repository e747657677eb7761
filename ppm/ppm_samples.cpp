// Raster decoding for the portable formats into 24-bit pixels. Every sample is scaled
// as v x 255 / maxval (truncated, low eight bits kept) unless maxval is 255. Pure
// functions over spans: no globals, no I/O, no writes outside `pixels`.
#include <algorithm>
#include <array>
#include <cstring>

#include "ppm/ppm_format.h"

namespace ppm {
namespace {

constexpr uint32_t kPlainMax = 255;

// deliberate: a sample above maxval is not clamped; only its low eight bits are kept.
uint8_t scale(uint64_t value, uint32_t maxval) {
    if (maxval == kPlainMax) {
        return static_cast<uint8_t>(value);
    }
    return static_cast<uint8_t>(value * kPlainMax / maxval);
}

std::array<uint8_t, 256> scale_table(uint32_t maxval) {
    std::array<uint8_t, 256> table{};
    for (uint32_t v = 0; v < table.size(); ++v) {
        table[v] = scale(v, maxval);
    }
    return table;
}

// Stores one grey sample into all three bytes of pixel `pixel`.
void put_grey(uint8_t* pixels, size_t pixel, uint8_t value) {
    pixels[pixel * 3] = value;
    pixels[pixel * 3 + 1] = value;
    pixels[pixel * 3 + 2] = value;
}

void put_bit(uint8_t* pixels, size_t pixel, bool black) {
    put_grey(pixels, pixel, black ? 0 : 255);
}

} // namespace

void decode_raw8(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                 uint32_t channels) {
    uint8_t* out = pixels.data();
    const uint8_t* in = raster.data();
    if (channels == 3) {
        const size_t count = std::min(raster.size(), pixels.size());
        if (maxval == kPlainMax) {
            std::memcpy(out, in, count);
            return;
        }
        const std::array<uint8_t, 256> table = scale_table(maxval);
        for (size_t i = 0; i < count; ++i) {
            out[i] = table[in[i]];
        }
        return;
    }
    const size_t count = std::min(raster.size(), pixels.size() / 3);
    const std::array<uint8_t, 256> table = scale_table(maxval);
    for (size_t i = 0; i < count; ++i) {
        put_grey(out, i, table[in[i]]);
    }
}

/* decode_raw16: two bytes a sample, most significant first; an incomplete last
 * sample is not stored. */
void decode_raw16(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                  uint32_t channels) {
    const size_t samples = std::min(raster.size() / 2, pixels.size() / (channels == 3 ? 1 : 3));
    const uint8_t* in = raster.data();
    uint8_t* out = pixels.data();
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t value = (static_cast<uint32_t>(in[2 * i]) << 8U) | in[2 * i + 1];
        const uint8_t byte = scale(value, maxval);
        if (channels == 3) {
            out[i] = byte;
        } else {
            put_grey(out, i, byte);
        }
    }
}

/* decode_plain: a number is a run of decimal digits; any other byte ends it and is
 * otherwise ignored. A number that runs up to the end of the raster counts too. */
void decode_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                  uint32_t channels) {
    const size_t limit = pixels.size() / (channels == 3 ? 1 : 3);
    const uint8_t* in = raster.data();
    const size_t size = raster.size();
    uint8_t* out = pixels.data();
    size_t i = 0;
    for (size_t j = 0; j < limit; ++j) {
        while (i<size&& static_cast<uint8_t>(in[i] - '0')> 9) {
            ++i;
        }
        if (i == size) {
            return;
        }
        uint64_t value = 0;
        while (i < size && static_cast<uint8_t>(in[i] - '0') <= 9) {
            value = std::min<uint64_t>(value * 10 + static_cast<uint8_t>(in[i] - '0'), kNumberCap);
            ++i;
        }
        const uint8_t byte = scale(value, maxval);
        if (channels == 3) {
            out[j] = byte;
        } else {
            put_grey(out, j, byte);
        }
    }
}

/* decode_bitmap_raw: eight pixels a byte, most significant bit first, 1 black and
 * 0 white; every row starts on a new byte. */
void decode_bitmap_raw(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t width) {
    const size_t row_bytes = (static_cast<size_t>(width) + 7) / 8;
    const size_t rows = pixels.size() / 3 / width;
    for (size_t y = 0; y < rows && y * row_bytes < raster.size(); ++y) {
        const auto row =
            raster.subspan(y * row_bytes, std::min(row_bytes, raster.size() - y * row_bytes));
        const size_t row_pixels = std::min<size_t>(width, row.size() * 8);
        for (size_t x = 0; x < row_pixels; ++x) {
            const uint32_t byte = row[x / 8];
            put_bit(pixels.data(), y * width + x, ((byte >> (7U - x % 8U)) & 1U) != 0);
        }
    }
}

/* decode_bitmap_plain: each '1' is a black pixel and each '0' a white one; white space
 * between the digits is optional and any other byte is ignored. */
void decode_bitmap_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels) {
    const size_t limit = pixels.size() / 3;
    size_t j = 0;
    for (size_t i = 0; i < raster.size() && j < limit; ++i) {
        const uint8_t c = raster[i];
        if (c == '0' || c == '1') {
            put_bit(pixels.data(), j++, c == '1');
        }
    }
}

void decode_raster(const PnmHeader& header, std::span<const uint8_t> raster,
                   std::span<uint8_t> pixels) {
    const PnmKind kind = kind_of(header.digit);
    const uint32_t channels = kind.colour ? 3 : 1;
    if (kind.bitmap) {
        if (kind.plain) {
            decode_bitmap_plain(raster, pixels);
        } else {
            decode_bitmap_raw(raster, pixels, header.width);
        }
    } else if (kind.plain) {
        decode_plain(raster, pixels, header.maxval, channels);
    } else if (header.maxval > 255) {
        decode_raw16(raster, pixels, header.maxval, channels);
    } else {
        decode_raw8(raster, pixels, header.maxval, channels);
    }
}

} // namespace ppm
