// Raster decoding for the portable formats into 24-bit pixels. Every sample is scaled
// as v x 255 / maxval (truncated, low eight bits kept) unless maxval is 255. Pure
// functions over spans: no globals, no I/O, no writes outside `pixels`.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Stores one decoded sample: a byte of a pixmap, or all three bytes of a grey pixel.
template <uint32_t kChannels> void put_sample(uint8_t* out, size_t index, uint8_t value) {
    if constexpr (kChannels == 3) {
        out[index] = value;
    } else {
        put_grey(out, index, value);
    }
}

bool is_digit(uint8_t c) {
    return static_cast<uint8_t>(c - '0') <= 9;
}

// Bit k set when byte k of the 64 at `bytes` is a decimal digit.
uint64_t digit_mask64(const uint8_t* bytes) {
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi8('0' - 1);
    const __m128i above = _mm_set1_epi8('9' + 1);
    uint64_t mask = 0;
    for (uint32_t part = 0; part < 4; ++part) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const __m128i digits =
            _mm_and_si128(_mm_cmpgt_epi8(chunk, below), _mm_cmplt_epi8(chunk, above));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(digits)))
                << (16U * part);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (uint32_t k = 0; k < 64; ++k) {
        mask |= static_cast<uint64_t>(is_digit(bytes[k])) << k;
    }
    return mask;
#endif
}

// The value of the digit run that ends at `end`, however long, saturating at kNumberCap.
[[gnu::noinline]] uint64_t long_number_ending_at(std::span<const uint8_t> raster, size_t end) {
    size_t start = end;
    while (start > 0 && is_digit(raster[start - 1])) {
        --start;
    }
    uint64_t value = 0;
    for (size_t k = start; k <= end; ++k) {
        value = std::min<uint64_t>(value * 10 + static_cast<uint8_t>(raster[k] - '0'), kNumberCap);
    }
    return value;
}

// The three bits below bit `k` of the digit mask, with the previous block's mask in
// front of it, and bit k itself: bit 3 is the last digit, bits 2..0 the bytes before it.
uint32_t digits_up_to(uint64_t digits, uint64_t previous, uint32_t k) {
    const uint64_t here = digits >> ((k - 3U) & 63U);
    const uint64_t across = (digits << ((3U - k) & 63U)) | (previous >> ((61U + k) & 63U));
    return static_cast<uint32_t>((k >= 3 ? here : across) & 0xFU);
}

// The value of the digit run that ends at bit k of the block at `base`. Runs of up to
// three digits (every sample of a maximum up to 999) take no branch on their length.
[[gnu::always_inline]] inline uint64_t number_ending_at(std::span<const uint8_t> raster,
                                                        size_t base, uint32_t k, uint64_t digits,
                                                        uint64_t previous) {
    const size_t end = base + k;
    const uint32_t run = digits_up_to(digits, previous, k);
    const uint32_t tens = (run >> 2U) & 1U;
    const uint32_t hundreds = tens & (run >> 1U);
    if (end < 3 || (hundreds & run) != 0) {
        return long_number_ending_at(raster, end);
    }
    const uint8_t* last = raster.data() + end;
    return uint32_t{static_cast<uint8_t>(last[0] - '0')} +
           tens * 10U * static_cast<uint8_t>(last[-1] - '0') +
           hundreds * 100U * static_cast<uint8_t>(last[-2] - '0');
}

// The plain decoder proper: classifies 64 bytes at a time, finds where digit runs end
// from the mask, and reads each number back from its last digit, so no work depends on
// the number before it. Stores samples `j`.. up to `limit`; returns where it stopped.
template <uint32_t kChannels>
size_t decode_plain_as(std::span<const uint8_t> raster, uint8_t* out, size_t j, size_t limit,
                       uint32_t maxval) {
    const SampleScaler scaler(maxval == 0 ? 1 : maxval);
    uint64_t previous = 0;
    for (size_t base = 0; base < raster.size(); base += 64) {
        const size_t count = std::min<size_t>(64, raster.size() - base);
        uint64_t digits = 0;
        if (count == 64) {
            digits = digit_mask64(raster.data() + base);
        } else {
            for (size_t k = 0; k < count; ++k) {
                digits |= static_cast<uint64_t>(is_digit(raster[base + k])) << k;
            }
        }
        // A run that reaches the next block ends there, not here; one that reaches the
        // end of the raster ends with it.
        const uint64_t next_is_digit =
            base + 64 < raster.size() && is_digit(raster[base + 64]) ? 1U : 0U;
        uint64_t ends = digits & ~((digits >> 1U) | (next_is_digit << 63U));
        while (ends != 0) {
            const auto k = static_cast<uint32_t>(std::countr_zero(ends));
            ends &= ends - 1;
            const uint64_t value = number_ending_at(raster, base, k, digits, previous);
            uint8_t sample = static_cast<uint8_t>(value);
            if (maxval != kPlainMax) {
                sample =
                    value <= 0xFFFF ? scaler(static_cast<uint32_t>(value)) : scale(value, maxval);
            }
            put_sample<kChannels>(out, j, sample);
            if (++j == limit) {
                return j;
            }
        }
        previous = digits;
    }
    return j;
}

// Calls `part` with each piece of a plain raster outside comments ('#' to the end of
// its line), in order, while it returns true. A raster without comments is one piece.
template <typename Part> void for_each_uncommented(std::span<const uint8_t> raster, Part part) {
    size_t at = 0;
    while (at < raster.size()) {
        const void* hash = std::memchr(raster.data() + at, '#', raster.size() - at);
        const size_t end =
            hash == nullptr
                ? raster.size()
                : static_cast<size_t>(static_cast<const uint8_t*>(hash) - raster.data());
        if (end > at && !part(raster.subspan(at, end - at))) {
            return;
        }
        if (hash == nullptr) {
            return;
        }
        const void* line_end = std::memchr(raster.data() + end, '\n', raster.size() - end);
        if (line_end == nullptr) {
            return;
        }
        at = static_cast<size_t>(static_cast<const uint8_t*>(line_end) - raster.data()) + 1;
    }
}

template <uint32_t kChannels>
void decode_raw16_as(std::span<const uint8_t> raster, uint8_t* out, size_t samples,
                     const SampleScaler& scaler) {
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t value = (static_cast<uint32_t>(raster[2 * i]) << 8U) | raster[2 * i + 1];
        put_sample<kChannels>(out, i, scaler(value));
    }
}

} // namespace

size_t decode_raw8(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                   uint32_t channels) {
    uint8_t* out = pixels.data();
    const uint8_t* in = raster.data();
    if (channels == 3) {
        const size_t count = std::min(raster.size(), pixels.size());
        if (maxval == kPlainMax) {
            std::memcpy(out, in, count);
            return count;
        }
        const std::array<uint8_t, 256> table = scale_table(maxval);
        for (size_t i = 0; i < count; ++i) {
            out[i] = table[in[i]];
        }
        return count;
    }
    const size_t count = std::min(raster.size(), pixels.size() / 3);
    const std::array<uint8_t, 256> table = scale_table(maxval);
    for (size_t i = 0; i < count; ++i) {
        put_grey(out, i, table[in[i]]);
    }
    return count;
}

/* decode_raw16: two bytes a sample, most significant first; an incomplete last
 * sample is not stored. */
size_t decode_raw16(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                    uint32_t channels) {
    const SampleScaler scaler(maxval);
    const size_t samples = std::min(raster.size() / 2, pixels.size() / (channels == 3 ? 1 : 3));
    if (channels == 3) {
        decode_raw16_as<3>(raster, pixels.data(), samples, scaler);
    } else {
        decode_raw16_as<1>(raster, pixels.data(), samples, scaler);
    }
    return samples;
}

/* decode_plain: a number is a run of decimal digits; any other byte ends it and is
 * otherwise ignored, and a comment ('#' to the end of its line) holds no numbers. A
 * number that runs up to the end of the raster counts too. */
size_t decode_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                    uint32_t channels) {
    const size_t limit = pixels.size() / (channels == 3 ? 1 : 3);
    if (limit == 0) {
        return 0;
    }
    size_t done = 0;
    for_each_uncommented(raster, [&](std::span<const uint8_t> part) {
        done = channels == 3 ? decode_plain_as<3>(part, pixels.data(), done, limit, maxval)
                             : decode_plain_as<1>(part, pixels.data(), done, limit, maxval);
        return done < limit;
    });
    return done;
}

/* decode_bitmap_raw: eight pixels a byte, most significant bit first, 1 black and
 * 0 white; every row starts on a new byte. */
size_t decode_bitmap_raw(std::span<const uint8_t> raster, std::span<uint8_t> pixels,
                         uint32_t width) {
    const size_t row_bytes = (static_cast<size_t>(width) + 7) / 8;
    const size_t rows = pixels.size() / 3 / width;
    size_t filled = 0;
    for (size_t y = 0; y < rows && y * row_bytes < raster.size(); ++y) {
        const auto row =
            raster.subspan(y * row_bytes, std::min(row_bytes, raster.size() - y * row_bytes));
        const size_t row_pixels = std::min<size_t>(width, row.size() * 8);
        for (size_t x = 0; x < row_pixels; ++x) {
            const uint32_t byte = row[x / 8];
            put_bit(pixels.data(), y * width + x, ((byte >> (7U - x % 8U)) & 1U) != 0);
        }
        filled += row_pixels;
    }
    return filled;
}

/* decode_bitmap_plain: each '1' is a black pixel and each '0' a white one; white space
 * between the digits is optional, a comment ('#' to the end of its line) holds no
 * pixels and any other byte is ignored. */
size_t decode_bitmap_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels) {
    const size_t limit = pixels.size() / 3;
    size_t j = 0;
    for_each_uncommented(raster, [&](std::span<const uint8_t> part) {
        for (size_t i = 0; i < part.size() && j < limit; ++i) {
            const uint8_t c = part[i];
            if (c == '0' || c == '1') {
                put_bit(pixels.data(), j++, c == '1');
            }
        }
        return j < limit;
    });
    return j;
}

uint64_t decode_raster(const PnmHeader& header, std::span<const uint8_t> raster,
                       std::span<uint8_t> pixels) {
    const PnmKind kind = kind_of(header.digit);
    const uint32_t channels = kind.colour ? 3 : 1;
    if (kind.bitmap) {
        return kind.plain ? decode_bitmap_plain(raster, pixels)
                          : decode_bitmap_raw(raster, pixels, header.width);
    }
    // Samples to whole pixels: a pixel missing any of its samples is not reached.
    const size_t samples = kind.plain ? decode_plain(raster, pixels, header.maxval, channels)
                           : header.maxval > 255
                               ? decode_raw16(raster, pixels, header.maxval, channels)
                               : decode_raw8(raster, pixels, header.maxval, channels);
    return samples / channels;
}

/* decode_pam: a tuple whose planes are the samples of a PNM (one grey plane, or three of
 * colour) is decoded as that PNM's raster; others sample by sample. */
uint64_t decode_pam(const PamHeader& header, std::span<const uint8_t> raster,
                    std::span<uint8_t> pixels, KeptAlpha kept) {
    const uint32_t channels = header.grey ? 1 : 3;
    const bool wide = header.maxval > 255;
    if (!header.alpha && header.depth == channels) {
        const size_t samples = wide ? decode_raw16(raster, pixels, header.maxval, channels)
                                    : decode_raw8(raster, pixels, header.maxval, channels);
        return samples / channels;
    }
    const size_t sample_bytes = wide ? 2 : 1;
    const size_t tuple_bytes = sample_bytes * header.depth;
    const uint64_t count = std::min<uint64_t>(raster.size() / tuple_bytes, pixels.size() / 3);
    const auto sample = [&](const uint8_t* tuple, uint32_t plane) {
        const uint8_t* at = tuple + plane * sample_bytes;
        return scale(wide ? (uint32_t{at[0]} << 8U | at[1]) : at[0], header.maxval);
    };
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* tuple = raster.data() + i * tuple_bytes;
        const uint32_t alpha = header.alpha ? sample(tuple, header.depth - 1) : 255;
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t value = sample(tuple, header.grey ? 0 : c);
            pixels[3 * i + c] = static_cast<uint8_t>((value * alpha + 127) / 255);
            if (kept.straight != nullptr) {
                kept.straight[3 * i + c] = static_cast<uint8_t>(value);
            }
        }
        if (kept.alpha != nullptr) {
            kept.alpha[i] = static_cast<uint8_t>(alpha);
        }
    }
    return count;
}

} // namespace ppm
