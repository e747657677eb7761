// A picture's pixels as indices of a palette they all come from: what a palette file's
// picture is to a program that keeps palettes (Pillow's "P" mode).
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lib/library_inside.h"
#include "lib/names.h"
#include "orvi/library.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

// The table key of a word read from a pixel's address: its three bytes, whatever the
// fourth byte and the machine's byte order.
uint32_t key_of_word(uint32_t word) {
    return std::endian::native == std::endian::little ? word & 0xFFFFFFU : word >> 8U;
}

// The table key of a pixel's three bytes, read alone.
uint32_t colour_key(const uint8_t* rgb) {
    uint32_t word = 0;
    std::memcpy(&word, rgb, 3);
    return key_of_word(word);
}

// Looks each of `count` pixels up in a table of every 24-bit colour (index + 1, 0 where
// the palette lacks it); false when one was missing. A pixel's bytes are read as one
// four-byte word, the fourth byte masked off; the last pixel's alone, as it has no
// fourth byte after it.
bool index_pixels(const uint8_t* __restrict in, uint8_t* __restrict out, size_t count,
                  const uint16_t* __restrict lookup) {
    uint32_t missing = 0;
    for (size_t i = 0; i + 1 < count; ++i, in += 3) {
        uint32_t word = 0;
        std::memcpy(&word, in, sizeof word);
        const uint32_t entry = lookup[key_of_word(word)];
        missing |= static_cast<uint32_t>(entry == 0);
        out[i] = static_cast<uint8_t>(entry - 1);
    }
    if (count > 0) {
        const uint32_t entry = lookup[colour_key(in)];
        missing |= static_cast<uint32_t>(entry == 0);
        out[count - 1] = static_cast<uint8_t>(entry - 1);
    }
    return missing == 0;
}

} // namespace

/* palette_indices: a table of every 24-bit colour (index + 1, 0 where the palette lacks
 * it) turns each pixel into one load; only the pages the palette's colours fall in are
 * ever written. The indices live in the library's memory, which a program reading picture
 * after picture reuses instead of waiting for new pages; the rows are shared out between
 * the library's threads. */
std::optional<Image> Library::palette_indices(const uint8_t* pixels, uint32_t width,
                                              uint32_t height, const uint8_t* palette,
                                              size_t colours, Error& error) {
    if (colours < 1 || colours > 256) {
        error = {kBadOperation, "a palette has 1 to 256 colours"};
        return std::nullopt;
    }
    std::optional<Image> indices = make_image(width, height, 1, nullptr, error);
    if (!indices) {
        return std::nullopt;
    }
    constexpr size_t kColours = size_t{1} << 24U;
    const std::unique_ptr<uint16_t, decltype(&std::free)> table(
        static_cast<uint16_t*>(std::calloc(kColours, sizeof(uint16_t))), &std::free);
    if (!table) {
        error = {kOutOfMemory, orvi::result_code_sentence(kOutOfMemory)};
        return std::nullopt;
    }
    for (size_t i = colours; i-- > 0;) { // the first of equal colours wins
        table.get()[colour_key(palette + i * 3)] = static_cast<uint16_t>(i + 1);
    }
    uint8_t* out = indices->pixels();
    std::atomic<bool> all_found{true};
    constexpr size_t kRowsABand = 256;
    in_bands(height, kRowsABand, [&](size_t first, size_t end) {
        if (!index_pixels(pixels + first * width * 3, out + first * width, (end - first) * width,
                          table.get())) {
            all_found = false;
        }
    });
    if (!all_found) {
        error = {kDoesNotFit, "a colour of the picture is not in the palette"};
        return std::nullopt;
    }
    return indices;
}

} // namespace orvi
