// ILBM pure pieces: ByteRun1 both ways, bit planes to bytes and back, and the final
// colour passes. No globals, no I/O; every read and write
// stays inside the spans and counts given.
#include <array>
#include <cassert>
#include <cstring>

#include "ilbm/ilbm_format.h"

namespace ilbm {
namespace {

// Byte i of entry b is bit 7 - i of b: the eight pixels of a plane byte as 0 or 1 each.
constexpr std::array<uint64_t, 256> make_spread() {
    std::array<uint64_t, 256> table{};
    for (uint32_t b = 0; b < 256; ++b) {
        for (uint32_t i = 0; i < 8; ++i) {
            table[b] |= uint64_t{(b >> (7U - i)) & 1U} << (8U * i);
        }
    }
    return table;
}
constexpr std::array<uint64_t, 256> kSpread = make_spread();

void set_colour(uint8_t* pixel, const Palette& palette, size_t entry) {
    if (entry < palette.entries) {
        std::memcpy(pixel, palette.cmap + 3 * entry, 3);
    } else {
        std::memset(pixel, 0, 3); // past the CMAP, or no CMAP: black
    }
}

// The most bytes one ByteRun1 control makes or copies.
constexpr size_t kLongestRun = 128;

} // namespace

/* unpack_row: ByteRun1 control n: 0..127 copies n + 1 bytes, -1..-127 repeats the next
 * byte 1 - n times, -128 does nothing. */
int64_t unpack_row(std::span<const uint8_t> packed, size_t at, std::span<uint8_t> out) {
    if (out.empty()) {
        return -1;
    }
    size_t i = at;
    size_t made = 0;
    // While a whole run fits in what is left of the row and of the data, each run of up
    // to 16 bytes is one 16-byte store, chosen without a branch between copying and
    // repeating; the bytes past its end are written over by the runs that follow.
    while (made + kLongestRun <= out.size() && i + kLongestRun < packed.size()) {
        const auto control = static_cast<int8_t>(packed[i++]);
        if (control == -128) {
            continue;
        }
        const bool copy = control >= 0;
        const size_t length = copy ? size_t(control) + 1 : size_t(1 - control);
        const uint8_t* from = packed.data() + i;
        const uint64_t repeated = uint64_t{from[0]} * 0x0101010101010101U;
        uint64_t words[2];
        std::memcpy(words, from, 16);
        words[0] = copy ? words[0] : repeated;
        words[1] = copy ? words[1] : repeated;
        std::memcpy(out.data() + made, words, 16);
        if (length > 16) {
            if (copy) {
                std::memcpy(out.data() + made + 16, from + 16, length - 16);
            } else {
                std::memset(out.data() + made + 16, from[0], length - 16);
            }
        }
        i += copy ? length : 1;
        made += length;
    }
    while (made < out.size()) {
        if (i >= packed.size()) {
            return 0;
        }
        const auto control = static_cast<int8_t>(packed[i++]);
        if (control == -128) {
            continue;
        }
        const size_t length = control >= 0 ? size_t(control) + 1 : size_t(1 - control);
        if (made + length > out.size()) {
            return -1;
        }
        if (control >= 0) {
            if (length > packed.size() - i) {
                return 0;
            }
            std::memcpy(out.data() + made, packed.data() + i, length);
            i += length;
        } else {
            if (i >= packed.size()) {
                return 0;
            }
            std::memset(out.data() + made, packed[i++], length);
        }
        made += length;
    }
    return static_cast<int64_t>(i - at);
}

/* CompactRow: per plane row, the last byte alone is a one-byte literal; two or more
 * equal bytes are a replicate run (at most 128); otherwise a literal of at most 128 that
 * stops before a pair of equal bytes and before the row's last byte. */
size_t CompactRow(const uint8_t* source, uint8_t* out, size_t row_size, uint32_t count) {
    uint8_t* start = out;
    for (uint32_t r = 0; r < count; ++r) {
        const uint8_t* s = source + size_t{r} * row_size;
        const size_t n = row_size;
        size_t i = 0;
        while (i < n) {
            if (i == n - 1) {
                *out++ = 0;
                *out++ = s[n - 1];
                break;
            }
            if (s[i + 1] == s[i]) {
                size_t run = 2;
                while (i + run < n && run < 128 && s[i + run] == s[i]) {
                    ++run;
                }
                *out++ = static_cast<uint8_t>(1 - static_cast<int32_t>(run));
                *out++ = s[i];
                i += run;
            } else {
                size_t length = 1;
                while (i + length < n - 1 && s[i + length] != s[i + length + 1] && length < 128) {
                    ++length;
                }
                *out++ = static_cast<uint8_t>(length - 1);
                std::memcpy(out, s + i, length);
                out += length;
                i += length;
            }
        }
    }
    return static_cast<size_t>(out - start);
}

/* pack_chunky_row: a FORM PBM row is `width` bytes and, when that is odd, a pad byte.
 * Readers differ on the pad: some unpack the padded length, others unpack `width` bytes
 * and drop what a run makes past them, so the pad goes into the last pixel's run (one
 * more byte of it: its value is never read), never into a run of its own. The row is
 * packed as CompactRow packs it, which ends a row with its last byte alone or inside a
 * repeat; then the one-byte literal grows by the pad, as does a repeat of fewer than 128
 * bytes, and a repeat of 128 gives up a byte to a repeat of two. */
size_t pack_chunky_row(const uint8_t* indices, size_t width, uint8_t* out) {
    const size_t packed = CompactRow(indices, out, width, 1);
    if ((width & 1U) == 0) {
        return packed;
    }
    size_t last = 0; // where the last run's control byte is
    for (size_t at = 0; at < packed;) {
        last = at;
        const auto control = static_cast<int8_t>(out[at]);
        at += control >= 0 ? size_t(control) + 2 : 2;
    }
    const auto control = static_cast<int8_t>(out[last]);
    assert(control <= 0);
    if (control == 0) { // the last byte alone: a literal of it and the pad
        out[last] = 1;
        out[packed] = 0;
        return packed + 1;
    }
    if (control > -127) { // a repeat: one more of its byte
        out[last] = static_cast<uint8_t>(control - 1);
        return packed;
    }
    // A repeat of 128: 127 of it, then a repeat of two.
    out[last] = static_cast<uint8_t>(-126);
    out[packed] = static_cast<uint8_t>(-1);
    out[packed + 1] = out[last + 1];
    return packed + 2;
}

void spread_plane(std::span<const uint8_t> plane_row, uint8_t* lane, uint32_t width,
                  uint32_t shift) {
    const size_t whole = width / 8;
    for (size_t b = 0; b < whole; ++b) {
        uint64_t eight = 0;
        std::memcpy(&eight, lane + 8 * b, 8);
        eight |= kSpread[plane_row[b]] << shift;
        std::memcpy(lane + 8 * b, &eight, 8);
    }
    for (size_t x = whole * 8; x < width; ++x) {
        const uint32_t bit = (uint32_t{plane_row[x / 8]} >> (7U - x % 8U)) & 1U;
        lane[x] = static_cast<uint8_t>(lane[x] | (bit << shift));
    }
}

void gather_plane(const uint8_t* indices, uint8_t* plane_row, uint32_t width, uint32_t bit) {
    const size_t whole = width / 8;
    for (size_t b = 0; b < whole; ++b) {
        uint64_t eight = 0;
        std::memcpy(&eight, indices + 8 * b, 8);
        const uint64_t bits = (eight >> bit) & 0x0101010101010101ULL;
        // Pixel i's bit (at 8 i) lands at bit 56 + 7 - i: the first pixel on top.
        plane_row[b] = static_cast<uint8_t>((bits * 0x8040201008040201ULL) >> 56U);
    }
    uint32_t last = 0;
    for (size_t x = whole * 8; x < width; ++x) {
        last |= ((indices[x] >> bit) & 1U) << (7U - x % 8U);
    }
    if (whole * 8 < width) {
        plane_row[whole] = static_cast<uint8_t>(last);
    }
}

/* palette_pass: every index through one table of all 256 colours (black past the CMAP
 * and for the transparent index), so the sweep has no branch. */
ColourTable colour_table(const Palette& palette, int32_t transparent) {
    ColourTable colours{};
    for (uint32_t index = 0; index < 256; ++index) {
        if (static_cast<int32_t>(index) != transparent) {
            set_colour(colours.data() + 4 * index, palette, index);
        }
    }
    return colours;
}

void palette_pass(uint8_t* pixels, size_t count, const Palette& palette, int32_t transparent) {
    const ColourTable colours = colour_table(palette, transparent);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(pixels + 3 * i, colours.data() + 4 * size_t{pixels[3 * i + 2]}, 3);
    }
}

void colour_row(const uint8_t* indices, uint8_t* pixels, size_t count, const ColourTable& table) {
    for (size_t i = 0; i + 1 < count; ++i) {
        std::memcpy(pixels + 3 * i, table.data() + 4 * size_t{indices[i]}, 4);
    }
    if (count > 0) {
        std::memcpy(pixels + 3 * (count - 1), table.data() + 4 * size_t{indices[count - 1]}, 3);
    }
}

void half_brite_pass(uint8_t* pixels, size_t count, const Palette& palette) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t* pixel = pixels + 3 * i;
        const uint8_t index = pixel[2];
        set_colour(pixel, palette, index % 32U);
        if (index >= 32) {
            for (size_t c = 0; c < 3; ++c) {
                pixel[c] = static_cast<uint8_t>(pixel[c] >> 1U);
            }
        }
    }
}

uint64_t codes_past_palette(const uint8_t* codes, size_t count, size_t stride, uint8_t mask,
                            uint32_t mode, size_t entries) {
    // The bits of a code that name an entry, and those that must be clear for it to name
    // one at all (HAM's control bits).
    const uint32_t index_bits = mode == kModeHalfBrite ? 31U
                                : mode == kModeHam6    ? 15U
                                : mode == kModeHam8    ? 63U
                                                       : 255U;
    const uint32_t control_bits = mode == kModeHam6 ? 0x30U : mode == kModeHam8 ? 0xC0U : 0U;
    if (entries > (index_bits & mask)) {
        return 0;
    }
    uint64_t past = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t code = codes[i * stride] & mask;
        past += static_cast<uint64_t>((code & control_bits) == 0 && (code & index_bits) >= entries);
    }
    return past;
}

/* HAM: each row starts from black; control 0 takes a CMAP entry, 1, 2 and 3 modify blue,
 * red and green of the previous colour. */
template <uint32_t kValueBits>
void ham_pass(uint8_t* pixels, uint32_t width, uint32_t rows, const Palette& palette) {
    constexpr uint32_t kValueMask = (1U << kValueBits) - 1;
    for (size_t y = 0; y < rows; ++y) {
        uint8_t previous[3] = {0, 0, 0};
        for (size_t x = 0; x < width; ++x) {
            uint8_t* pixel = pixels + 3 * (y * width + x);
            const uint32_t code = pixel[2];
            const uint32_t control = code >> kValueBits;
            const uint32_t value = code & kValueMask;
            if (control == 0) {
                set_colour(pixel, palette, value);
            } else {
                const size_t component = control == 1 ? 2 : (control == 2 ? 0 : 1);
                std::memcpy(pixel, previous, 3);
                pixel[component] =
                    kValueBits == 4 ? static_cast<uint8_t>(value * 17)
                                    : static_cast<uint8_t>(value * 4 + (previous[component] & 3U));
            }
            std::memcpy(previous, pixel, 3);
        }
    }
}

void ham6_pass(uint8_t* pixels, uint32_t width, uint32_t rows, const Palette& palette) {
    ham_pass<4>(pixels, width, rows, palette);
}

void HAM8_RGB(uint32_t width, uint32_t rows, const Palette& palette, uint8_t* pixels) {
    ham_pass<6>(pixels, width, rows, palette);
}

} // namespace ilbm
