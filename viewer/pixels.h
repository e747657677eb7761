// The hot loops between a picture and the screen: its rows as texture pixels, and a
// reduced copy of a large picture for showing it whole.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "orvi/orvi.h"
#include "viewer/view_model.h"

namespace viewer {

// `count` pixels of one or three bytes (grey; red, green, blue) as 0xFFRRGGBB.
void to_texture_row(const uint8_t* source, uint32_t bytes_per_pixel, uint32_t count, uint32_t* out);

// A row of a picture with transparency as to_texture_row makes it, but drawn over a
// checkerboard of kCheckSide-pixel squares (of the picture) in two greys: each pixel's
// colour before it was composed (`colours`, of `bytes_per_pixel`), weighted by its
// opacity (`alpha`, or 0 where `indices` hold the `transparent` index). `x` and `y` are
// the row's first pixel in the picture.
inline constexpr uint32_t kCheckSide = 8;
struct Transparency {
    const uint8_t* colours;
    uint32_t bytes_per_pixel;
    const uint8_t* alpha;   // or null
    const uint8_t* indices; // or null
    int32_t transparent;    // -1: none
    uint32_t width;         // the picture's
};
void checkered_row(const Transparency& picture, uint32_t x, uint32_t y, uint32_t count,
                   uint32_t* out);

// A palette (three bytes an entry, at most 256) as texture pixels, 0xFFRRGGBB; the
// transparent index (or -1) as kTransparentEntry, which palette_row draws as the
// checkerboard.
inline constexpr uint32_t kTransparentEntry = 0;
[[nodiscard]] std::array<uint32_t, 256> palette_lookup(const std::vector<uint8_t>& palette,
                                                       int32_t transparent);

// `count` indices through a palette_lookup, the row's first pixel at (x, y) of the picture.
void palette_row(const uint8_t* indices, const std::array<uint32_t, 256>& lookup, uint32_t x,
                 uint32_t y, uint32_t count, uint32_t* out);

// A picture whose larger side exceeds this is shown whole from a reduced copy, which is
// smoother than the renderer's scaling and ready long before the full picture's textures.
inline constexpr uint32_t kPreviewSide = 2048;

// The reduction of a picture's reduced copy: 1 (none) when it is small enough, else the
// least whole factor that brings both sides within kPreviewSide.
[[nodiscard]] uint32_t preview_factor(Size picture);

// Each `factor` x `factor` block of the picture averaged into one pixel, 0xFFRRGGBB (the
// blocks of the last row and column may be cut short by the picture's edge).
struct Reduced {
    Size size;
    std::vector<uint32_t> pixels;
};
// The rows are shared out between the threads `library` lets its work use.
[[nodiscard]] Reduced reduced(const orvi::Library& library, const uint8_t* pixels, Size picture,
                              uint32_t bytes_per_pixel, uint32_t factor);

} // namespace viewer
