// The operations module: the routines behind each operation code, and the pure pieces
// they are built from (tables, row loops, kernels). Private to the ops module.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/op_records.h"

namespace ops {

// The least work worth a thread of its own: bytes of byte-wise work, pixels of the rest.
inline constexpr size_t kLeastBandBytes = size_t{1} << 20U;
inline constexpr size_t kLeastBandPixels = size_t{1} << 18U;

// The least rows of `width` pixels worth a thread of their own.
[[nodiscard]] constexpr size_t least_band_rows(size_t width) {
    return width == 0 ? 1 : (kLeastBandPixels + width - 1) / width;
}

using ByteTable = std::array<uint8_t, 256>;
using TableView = std::span<uint8_t, 256>;

// The routines start_of_program dispatches to; each reads the block and returns nothing.
void PPC_SetGamma(OpArgs* args);
void PPC_SetBrightness(OpArgs* args);
void PPC_SetRGB(OpArgs* args);
void PPC_SetContrast(OpArgs* args);
void PPC_Rotate(OpArgs* args, int16_t direction);
void PPC_XFlip(OpArgs* args);
void PPC_YFlip(OpArgs* args);
void PPC_RGBToGray(OpArgs* args);
void PPC_Negate(OpArgs* args);
void PPC_Resize(OpArgs* args);
void PPC_Copy(OpArgs* args);
void PPC_Fill(OpArgs* args);
void PPC_Convolve(OpArgs* args);

// Colour pieces (pure).
// False, leaving `table` alone, when gamma x 100 is not positive.
[[nodiscard]] bool gamma_table(int32_t gamma_100, TableView table);
// False, leaving `table` alone, when the contrast is outside -127..127.
[[nodiscard]] bool contrast_table(int32_t contrast, TableView table);
// byte + offset held as a signed 16-bit sum, clamped to 0..255.
[[nodiscard]] ByteTable brightness_table(int32_t offset);
void apply_table(std::span<uint8_t> bytes, std::span<const uint8_t, 256> table);
void brighten(std::span<uint8_t> bytes, int32_t offset);
void negate(std::span<uint8_t> bytes);

// Geometry pieces (pure). Pixels are `pixel_bytes` (1 or 3) bytes.
void rotate(const uint8_t* source, uint8_t* dest, uint32_t width, uint32_t height,
            uint32_t pixel_bytes, bool anticlockwise);
void mirror_rows(uint8_t* data, uint32_t width, uint32_t height, uint32_t pixel_bytes);

// Convolution (pure): the whole operation on two views, never reading outside the
// source's window nor writing outside the destination's rows.
struct Kernel {
    const int32_t* weights;
    uint32_t size; // 3 or 5
    int32_t divisor;
    uint8_t mode;
};
void convolve(const ImageView& source, const ImageView& dest, const Kernel& kernel);

// Truncating signed division by a fixed nonzero divisor, by multiplication with an
// exact reciprocal: |n| <= 2^31, s = 32 + ceil(log2 |d|), m = floor(2^s / |d|) + 1 makes
// the error of m / 2^s below 2^-s, which keeps |n| x m / 2^s under the next integer.
class Divider {
public:
    explicit Divider(int32_t divisor);
    [[nodiscard]] int64_t operator()(int32_t numerator) const {
        const uint64_t magnitude = numerator < 0 ? 0U - static_cast<uint64_t>(int64_t{numerator})
                                                 : static_cast<uint64_t>(numerator);
        __extension__ using Wide = unsigned __int128;
        const auto quotient =
            static_cast<int64_t>(static_cast<uint64_t>((Wide{magnitude} * multiplier_) >> shift_));
        return (numerator < 0) != negative_ ? -quotient : quotient;
    }

private:
    uint64_t multiplier_;
    uint32_t shift_;
    bool negative_;
};

} // namespace ops
