#include "viewer/pixels.h"

#include <algorithm>

namespace viewer {

void to_texture_row(const uint8_t* source, uint32_t bytes_per_pixel, uint32_t count,
                    uint32_t* out) {
    if (bytes_per_pixel == 1) {
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = 0xFF000000U | source[i] * 0x010101U;
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i, source += 3) {
        out[i] = 0xFF000000U | uint32_t{source[0]} << 16U | uint32_t{source[1]} << 8U | source[2];
    }
}

void checkered_row(const Transparency& picture, uint32_t x, uint32_t y, uint32_t count,
                   uint32_t* out) {
    const uint64_t first = uint64_t{y} * picture.width + x;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = first + i;
        uint32_t opacity = picture.alpha != nullptr ? picture.alpha[at] : 255U;
        if (picture.indices != nullptr && picture.indices[at] == picture.transparent) {
            opacity = 0;
        }
        const uint32_t check = (((x + i) / kCheckSide + y / kCheckSide) & 1U) != 0 ? 0xCCU : 0x99U;
        const uint8_t* colour = picture.colours + at * picture.bytes_per_pixel;
        uint32_t pixel = 0xFF000000U;
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t sample = colour[picture.bytes_per_pixel == 1 ? 0 : c];
            pixel |= ((sample * opacity + check * (255U - opacity) + 127U) / 255U) << (16U - 8U * c);
        }
        out[i] = pixel;
    }
}

std::array<uint32_t, 256> palette_lookup(const std::vector<uint8_t>& palette, int32_t transparent) {
    std::array<uint32_t, 256> lookup{};
    lookup.fill(0xFF000000U);
    const size_t entries = std::min<size_t>(palette.size() / 3, lookup.size());
    to_texture_row(palette.data(), 3, static_cast<uint32_t>(entries), lookup.data());
    if (transparent >= 0 && transparent < 256) {
        lookup[static_cast<size_t>(transparent)] = kTransparentEntry;
    }
    return lookup;
}

void palette_row(const uint8_t* indices, const std::array<uint32_t, 256>& lookup, uint32_t x,
                 uint32_t y, uint32_t count, uint32_t* out) {
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = lookup[indices[i]];
    }
    // Opaque entries all have 0xFF on top: only a transparent pixel is kTransparentEntry.
    for (uint32_t i = 0; i < count; ++i) {
        if (out[i] == kTransparentEntry) {
            out[i] =
                (((x + i) / kCheckSide + y / kCheckSide) & 1U) != 0 ? 0xFFCCCCCCU : 0xFF999999U;
        }
    }
}

namespace {

// Adds each block of `factor` samples of a row to its column's sums.
template <uint32_t kChannels>
void add_blocks(const uint8_t* line, uint32_t width, uint32_t factor, uint64_t* sums) {
    for (uint32_t x = 0; x < width; x += factor, sums += kChannels) {
        const uint32_t end = std::min(width, x + factor);
        uint32_t block[kChannels] = {};
        for (uint32_t i = x; i < end; ++i) {
            for (uint32_t c = 0; c < kChannels; ++c) {
                block[c] += line[size_t{i} * kChannels + c];
            }
        }
        for (uint32_t c = 0; c < kChannels; ++c) {
            sums[c] += block[c];
        }
    }
}

} // namespace

uint32_t preview_factor(Size picture) {
    const uint32_t side = std::max(picture.width, picture.height);
    return side <= kPreviewSide ? 1 : (side + kPreviewSide - 1) / kPreviewSide;
}

Reduced reduced(const orvi::Library& library, const uint8_t* pixels, Size picture,
                uint32_t bytes_per_pixel, uint32_t factor) {
    Reduced out;
    factor = std::max(factor, 1U);
    out.size = Size{(picture.width + factor - 1) / factor, (picture.height + factor - 1) / factor};
    out.pixels.resize(size_t{out.size.width} * out.size.height);
    const uint32_t channels = bytes_per_pixel == 1 ? 1 : 3;
    library.in_bands(out.size.height, 64, [&](size_t first, size_t end) {
        std::vector<uint64_t> sums(size_t{out.size.width} * channels);
        for (auto row = static_cast<uint32_t>(first); row < end; ++row) {
            std::fill(sums.begin(), sums.end(), 0);
            const uint32_t top = row * factor;
            const uint32_t rows = std::min(factor, picture.height - top);
            for (uint32_t y = top; y < top + rows; ++y) {
                const uint8_t* line = pixels + uint64_t{y} * picture.width * channels;
                if (channels == 1) {
                    add_blocks<1>(line, picture.width, factor, sums.data());
                } else {
                    add_blocks<3>(line, picture.width, factor, sums.data());
                }
            }
            for (uint32_t column = 0; column < out.size.width; ++column) {
                const uint32_t columns = std::min(factor, picture.width - column * factor);
                const uint64_t count = uint64_t{columns} * rows;
                const uint64_t* sum = &sums[size_t{column} * channels];
                const auto mean = [&](uint32_t c) {
                    return static_cast<uint32_t>((sum[c] + count / 2) / count);
                };
                const uint32_t red = mean(0);
                const uint32_t green = channels == 1 ? red : mean(1);
                const uint32_t blue = channels == 1 ? red : mean(2);
                out.pixels[size_t{row} * out.size.width + column] =
                    0xFF000000U | red << 16U | green << 8U | blue;
            }
        }
    });
    return out;
}

} // namespace viewer
