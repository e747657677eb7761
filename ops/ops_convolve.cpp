// Convolution with a 3 x 3 or 5 x 5 integer kernel, border copied. Sums are built a row
// at a time (one pass over the row per weight, which vectorises) and divided by an
// exact reciprocal. Reads only the source window, writes only the destination rows.
#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ops/ops_format.h"
#include "runtime/bands.h"

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

// The byte a quotient becomes: mode 2 adds 128, modes other than 0 and 2 take the
// magnitude of a negative value, and the result is clamped to 0..255.
template <int kModeKind, typename Value> uint8_t finish(Value value) {
    if constexpr (kModeKind == 2) {
        value += 128;
    } else if constexpr (kModeKind == 1) {
        value = value < 0 ? -value : value;
    }
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// Division for sums below 2^kBits in magnitude: the argument of Divider with kBits in
// place of 32, s = kBits + ceil(log2 |d|), m = floor(2^s/|d|) + 1. With kBits 30 the
// multiplier stays below 2^32 (32 x 32 -> 64-bit multiplies); with 15 it stays at most
// 2^16 and the product below 2^31, so the whole loop is 32-bit arithmetic that
// vectorises.
template <uint32_t kBits, typename Wide> struct SmallDivider {
    explicit SmallDivider(int32_t divisor) : negative(divisor < 0) {
        const uint64_t magnitude = negative ? 0U - static_cast<uint64_t>(int64_t{divisor})
                                            : static_cast<uint64_t>(divisor);
        const uint32_t exact_shift =
            kBits +
            static_cast<uint32_t>(magnitude <= 1 ? 0 : 64 - std::countl_zero(magnitude - 1));
        multiplier = static_cast<uint32_t>((uint64_t{1} << exact_shift) / magnitude + 1);
        // The product is below 2^31 (kBits 15) or 2^61 (kBits 30), so a shift by the width
        // of Wide less one already gives 0: longer shifts, undefined in C++, are cut to it.
        shift = std::min<uint32_t>(exact_shift, sizeof(Wide) * 8 - 1);
    }
    [[nodiscard]] int32_t operator()(int32_t sum) const {
        const uint32_t magnitude =
            sum < 0 ? 0U - static_cast<uint32_t>(sum) : static_cast<uint32_t>(sum);
        const auto quotient = static_cast<int32_t>((Wide{magnitude} * multiplier) >> shift);
        // The sign without a branch: flip = all ones when the signs differ.
        const int32_t flip = -static_cast<int32_t>((sum < 0) != negative);
        return (quotient ^ flip) - flip;
    }
    uint32_t multiplier;
    uint32_t shift;
    bool negative;
};

using Divider30 = SmallDivider<30, uint64_t>;
using Divider15 = SmallDivider<15, uint32_t>;

template <int kModeKind, typename Sum, typename Divide>
void finish_small(const Sum* sums, uint8_t* out, size_t count, const Divide& divide) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = finish<kModeKind>(divide(static_cast<int32_t>(sums[i])));
    }
}

template <int kModeKind>
void finish_wide(const uint32_t* sums, uint8_t* out, size_t count, const Divider& divide) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = finish<kModeKind>(divide(static_cast<int32_t>(sums[i])));
    }
}

// Eight 16-bit sums at a time with SSE2, the same arithmetic as Divider15 in 16-bit
// lanes: (|n| x m) >> s as the high half of a 16 x 16 product shifted by s - 16
// (divisors of magnitude 1 need no division; m = 2^16 is a plain shift), the sign by
// xor and subtract, 128 added with saturation, the clamp by an unsigned saturating pack.
// Returns how many sums it finished; the caller does the rest one by one.
size_t finish_16_vector(const int16_t* sums, uint8_t* out, size_t count, const Divider15& divide,
                        int mode_kind) {
#if defined(__SSE2__)
    const bool unit = divide.shift == 15;
    const bool plain_shift = divide.multiplier == 0x10000U;
    const __m128i multiplier = _mm_set1_epi16(static_cast<int16_t>(divide.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(divide.shift) - 16);
    const __m128i negative = _mm_set1_epi16(divide.negative ? -1 : 0);
    const __m128i offset = _mm_set1_epi16(mode_kind == 2 ? 128 : 0);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i sum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i));
        const __m128i sign = _mm_srai_epi16(sum, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(sum, sign), sign);
        __m128i quotient = magnitude;
        if (!unit) {
            quotient = plain_shift ? _mm_srl_epi16(magnitude, shift)
                                   : _mm_srl_epi16(_mm_mulhi_epu16(magnitude, multiplier), shift);
        }
        const __m128i flip = _mm_xor_si128(sign, negative);
        __m128i value = _mm_sub_epi16(_mm_xor_si128(quotient, flip), flip);
        value = _mm_adds_epi16(value, offset);
        if (mode_kind == 1) {
            const __m128i value_sign = _mm_srai_epi16(value, 15);
            value = _mm_sub_epi16(_mm_xor_si128(value, value_sign), value_sign);
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(value, value));
    }
    return i;
#else
    (void)sums;
    (void)out;
    (void)count;
    (void)divide;
    (void)mode_kind;
    return 0;
#endif
}

// How a chunk of sums becomes bytes: by the small divider when no sum can reach 2^30,
// by the exact 64-bit one (sums that may wrap) otherwise.
struct Finisher {
    Divider wide;
    Divider30 small;
    Divider15 tiny;
    bool sums_are_small;
    bool sums_fit_16_bits; // every sum stays within -32768..32767
    int mode_kind;         // 0: clip, 2: add 128, 1: magnitude

    void operator()(const int16_t* sums, uint8_t* out, size_t count) const {
        const size_t done = finish_16_vector(sums, out, count, tiny, mode_kind);
        mode_kind == 0   ? finish_small<0>(sums + done, out + done, count - done, tiny)
        : mode_kind == 2 ? finish_small<2>(sums + done, out + done, count - done, tiny)
                         : finish_small<1>(sums + done, out + done, count - done, tiny);
    }
    void operator()(const uint32_t* sums, uint8_t* out, size_t count) const {
        if (sums_are_small) {
            mode_kind == 0   ? finish_small<0>(sums, out, count, small)
            : mode_kind == 2 ? finish_small<2>(sums, out, count, small)
                             : finish_small<1>(sums, out, count, small);
        } else {
            mode_kind == 0   ? finish_wide<0>(sums, out, count, wide)
            : mode_kind == 2 ? finish_wide<2>(sums, out, count, wide)
                             : finish_wide<1>(sums, out, count, wide);
        }
    }
};

Finisher make_finisher(const Kernel& kernel) {
    uint64_t weight_total = 0;
    for (size_t i = 0; i < size_t{kernel.size} * kernel.size; ++i) {
        const int64_t weight = kernel.weights[i];
        weight_total += static_cast<uint64_t>(weight < 0 ? -weight : weight);
    }
    const int mode_kind = kernel.mode == 0 ? 0 : (kernel.mode == 2 ? 2 : 1);
    return {Divider(kernel.divisor),     Divider30(kernel.divisor),
            Divider15(kernel.divisor),   weight_total * 255 < (uint64_t{1} << 30U),
            weight_total * 255 <= 32767, mode_kind};
}

// Adds one kernel row's K taps to the sums of `count` bytes: sums[i] += the weights times
// the bytes i, i + P, ..., i + (K - 1) P of `window`.
template <size_t kSize, typename Sum>
[[gnu::always_inline]] inline void add_row_taps(Sum* sums, const uint8_t* window, size_t count,
                                                size_t pixel, const int32_t* weights) {
    Sum taps[kSize];
    for (size_t k = 0; k < kSize; ++k) {
        taps[k] = static_cast<Sum>(weights[k]);
    }
    for (size_t i = 0; i < count; ++i) {
        Sum sum = sums[i];
        for (size_t k = 0; k < kSize; ++k) {
            sum = static_cast<Sum>(sum + taps[k] * window[i + k * pixel]);
        }
        sums[i] = sum;
    }
}

// The 16-bit tap loops, built twice: for processors with AVX2 (sixteen lanes a vector)
// and for any x86-64; the loader picks one when the module is loaded.
[[gnu::target_clones("avx2", "default")]] void add_taps_16(int16_t* sums, const uint8_t* window,
                                                           size_t count, size_t pixel,
                                                           const int32_t* weights, size_t size) {
    if (size == 3) {
        add_row_taps<3>(sums, window, count, pixel, weights);
    } else {
        add_row_taps<5>(sums, window, count, pixel, weights);
    }
}

template <size_t kSize, typename Sum>
void add_taps(Sum* sums, const uint8_t* window, size_t count, size_t pixel,
              const int32_t* weights) {
    if constexpr (std::is_same_v<Sum, int16_t>) {
        add_taps_16(sums, window, count, pixel, weights, kSize);
    } else {
        add_row_taps<kSize>(sums, window, count, pixel, weights);
    }
}

// One middle row: the sums of bytes [first, end) of row y, chunk by chunk, one pass
// over the chunk per kernel row. Sums are 16-bit where no sum can leave that range
// (eight lanes a vector), else signed 32-bit sums that wrap, kept in unsigned arithmetic.
template <size_t kSize, typename Sum>
void filter_row(const ImageView& source, const ImageView& dest, const Kernel& kernel,
                const Geometry& shape, size_t y, const Finisher& finisher) {
    const size_t first = shape.radius * shape.pixel;
    const size_t end = (shape.width - shape.radius) * shape.pixel;
    uint8_t* out = dest_row(dest, y);
    Sum sums[kChunk];
    for (size_t start = first; start < end; start += kChunk) {
        const size_t count = std::min(kChunk, end - start);
        std::fill(sums, sums + count, Sum{0});
        for (size_t r = 0; r < kSize; ++r) {
            const uint8_t* window = source_row(source, y - shape.radius + r) + start - first;
            add_taps<kSize>(sums, window, count, shape.pixel, kernel.weights + r * kSize);
        }
        finisher(sums, out + start, count);
    }
}

template <size_t kSize>
void filter_middle_row(const ImageView& source, const ImageView& dest, const Kernel& kernel,
                       const Geometry& shape, size_t y, const Finisher& finisher) {
    if (finisher.sums_fit_16_bits) {
        filter_row<kSize, int16_t>(source, dest, kernel, shape, y, finisher);
    } else {
        filter_row<kSize, uint32_t>(source, dest, kernel, shape, y, finisher);
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
    const Finisher finisher = make_finisher(kernel);
    const size_t edge = shape.radius * shape.pixel;
    copy_rows(source, dest, 0, shape.radius, row_bytes);
    // The middle rows in bands of the job's threads: each writes its own rows and reads
    // the source only.
    const size_t middle = shape.height - 2 * shape.radius;
    runtime::in_bands(middle, least_band_rows(shape.width), [&](size_t first, size_t end) {
        for (size_t y = shape.radius + first; y < shape.radius + end; ++y) {
            uint8_t* out = dest_row(dest, y);
            const uint8_t* in = source_row(source, y);
            std::memcpy(out, in, edge);
            if (kernel.size == 3) {
                filter_middle_row<3>(source, dest, kernel, shape, y, finisher);
            } else {
                filter_middle_row<5>(source, dest, kernel, shape, y, finisher);
            }
            std::memcpy(out + row_bytes - edge, in + row_bytes - edge, edge);
        }
    });
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
