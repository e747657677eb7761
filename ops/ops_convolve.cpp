// Convolution with a 3 x 3 or 5 x 5 integer kernel, border copied. Sums are built a row
// at a time (one pass over the row per weight, which vectorises) and divided by an
// exact reciprocal. Reads only the source window, writes only the destination rows.
#include <algorithm>
#include <bit>
#include <cstring>

#include "ops/ops_format.h"

namespace ops {
namespace {

// Bytes of a row whose sums are collected at once: small enough for the stack and L1.
constexpr size_t kChunk = 2048;

struct Geometry {
    size_t width;
    size_t height;
    size_t pixel;
    size_t radius;
};

const uint8_t* source_row(const ImageView& view, size_t y) {
    return view.Data + static_cast<ptrdiff_t>(y) * view.BytesPerRow;
}

uint8_t* dest_row(const ImageView& view, size_t y) {
    return view.Data + static_cast<ptrdiff_t>(y) * view.BytesPerRow;
}

void copy_rows(const ImageView& source, const ImageView& dest, size_t first, size_t end,
               size_t row_bytes) {
    for (size_t y = first; y < end; ++y) {
        std::memcpy(dest_row(dest, y), source_row(source, y), row_bytes);
    }
}

// The byte a sum becomes: divided (truncating), then mode 2 adds 128, modes other than
// 0 and 2 take the magnitude of a negative value, and the result is clamped to 0..255.
uint8_t finish(int32_t sum, const Divider& divide, uint8_t mode) {
    int64_t value = divide(sum);
    if (mode == 2) {
        value += 128;
    } else if (mode != 0 && value < 0) {
        value = -value;
    }
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

// One middle row: the sums of bytes [first, end) of row y, chunk by chunk.
void filter_row(const ImageView& source, const ImageView& dest, const Kernel& kernel,
                const Geometry& shape, size_t y, const Divider& divide) {
    const size_t first = shape.radius * shape.pixel;
    const size_t end = (shape.width - shape.radius) * shape.pixel;
    uint8_t* out = dest_row(dest, y);
    uint32_t sums[kChunk];
    for (size_t start = first; start < end; start += kChunk) {
        const size_t count = std::min(kChunk, end - start);
        std::fill(sums, sums + count, 0U);
        for (size_t r = 0; r < kernel.size; ++r) {
            const uint8_t* row = source_row(source, y - shape.radius + r) + start - first;
            for (size_t k = 0; k < kernel.size; ++k) {
                // Signed 32-bit sums that wrap: unsigned arithmetic, reinterpreted below.
                const auto weight = static_cast<uint32_t>(kernel.weights[r * kernel.size + k]);
                if (weight == 0) {
                    continue;
                }
                const uint8_t* window = row + k * shape.pixel;
                for (size_t i = 0; i < count; ++i) {
                    sums[i] += weight * window[i];
                }
            }
        }
        for (size_t i = 0; i < count; ++i) {
            out[start + i] = finish(static_cast<int32_t>(sums[i]), divide, kernel.mode);
        }
    }
}

} // namespace

Divider::Divider(int32_t divisor) : negative_(divisor < 0) {
    const uint64_t magnitude =
        negative_ ? 0U - static_cast<uint64_t>(int64_t{divisor}) : static_cast<uint64_t>(divisor);
    const auto log2_ceiling =
        static_cast<uint32_t>(magnitude <= 1 ? 0 : 64 - std::countl_zero(magnitude - 1));
    shift_ = 32 + log2_ceiling; // at most 63: |divisor| <= 2^31
    multiplier_ = (uint64_t{1} << shift_) / magnitude + 1;
}

/* convolve: rows 0..R-1 and H-R..H-1 and the first and last R pixels of every other row
 * are copied; every other byte c of pixel (x, y) becomes the sum over the K x K window
 * of weight[r][k] x source(x - R + k, y - R + r, c) (not mirrored), divided by the
 * divisor and finished by the mode.
 * deliberate choice: a divisor of 0, a kernel edge other than 3 or 5, a pixel size
 * outside 1..4, or a picture smaller than 2R either way copies the source unchanged. */
void convolve(const ImageView& source, const ImageView& dest, const Kernel& kernel) {
    if (source.Width <= 0 || source.Height <= 0 || source.BytesPerPixel <= 0) {
        return;
    }
    const Geometry shape{static_cast<size_t>(source.Width), static_cast<size_t>(source.Height),
                         static_cast<size_t>(source.BytesPerPixel), kernel.size / 2};
    const size_t row_bytes = shape.width * shape.pixel;
    if (kernel.divisor == 0 || (kernel.size != 3 && kernel.size != 5) || shape.pixel > 4 ||
        shape.width < 2 * shape.radius || shape.height < 2 * shape.radius) {
        copy_rows(source, dest, 0, shape.height, row_bytes);
        return;
    }
    const Divider divide(kernel.divisor);
    const size_t edge = shape.radius * shape.pixel;
    copy_rows(source, dest, 0, shape.radius, row_bytes);
    for (size_t y = shape.radius; y + shape.radius < shape.height; ++y) {
        uint8_t* out = dest_row(dest, y);
        const uint8_t* in = source_row(source, y);
        std::memcpy(out, in, edge);
        filter_row(source, dest, kernel, shape, y, divide);
        std::memcpy(out + row_bytes - edge, in + row_bytes - edge, edge);
    }
    copy_rows(source, dest, shape.height - shape.radius, shape.height, row_bytes);
}

/* PPC_Convolve: Source and Dest name ImageViews; the mode is the low byte of Width, the
 * divisor is Height (signed), the kernel edge the low byte of Count. */
void PPC_Convolve(OpArgs* args) {
    const auto* source = reinterpret_cast<const ImageView*>(args->Source);
    const auto* dest = reinterpret_cast<const ImageView*>(args->Dest);
    const Kernel kernel{args->Matrix, args->Count & 0xFFU, static_cast<int32_t>(args->Height),
                        static_cast<uint8_t>(args->Width)};
    convolve(*source, *dest, kernel);
}

} // namespace ops
