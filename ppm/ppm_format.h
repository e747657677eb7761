// The portable bitmap, greymap and pixmap formats: kinds, header values and the pure
// pieces the reader and writer are built from. Private to the ppm module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ppm/ppm_rules.h"
#include "runtime/records.h"

namespace ppm {

// The reader and the writer the entry frame calls.
[[nodiscard]] int32_t PPM_Read(const char* name, CodecRequest* request);
[[nodiscard]] int32_t PPM_Save(const char* name, CodecRequest* request);

// Decodes the raster into `pixels` (width x height x 3 bytes, zero-filled). Decoding
// stops when the pixels are full or the raster ends; pixels the raster does not reach
// stay as they are. Returns the pixels the raster filled.
[[nodiscard]] uint64_t decode_raster(const PnmHeader& header, std::span<const uint8_t> raster,
                                     std::span<uint8_t> pixels);

// v x 255 / maxval, truncated, for 16-bit samples (v <= 65535, maxval 1..65535),
// by a multiplication with an exact reciprocal instead of a division: with k = 40,
// (v x 255) < 2^24 and m = floor(2^k / maxval) + 1, the error of m / 2^k stays below
// 2^-40, so (v x 255) x m / 2^k falls short of the next integer by more than it adds.
class SampleScaler {
public:
    explicit SampleScaler(uint32_t maxval) : reciprocal_((uint64_t{1} << kShift) / maxval + 1) {}
    [[nodiscard]] uint8_t operator()(uint32_t value) const {
        return static_cast<uint8_t>((uint64_t{value} * 255U * reciprocal_) >> kShift);
    }

private:
    static constexpr uint32_t kShift = 40;
    uint64_t reciprocal_;
};

// PAM tuples into 24-bit pixels: samples of 1 or 2 bytes (big-endian) by the maximum,
// each scaled as a PNM sample is; grey or the first three planes, opacity from the last
// plane when the header has alpha, composed onto black. Returns the pixels stored.
// `kept`, when its blocks are given (a pixel's byte, and three), receives the opacity and
// the colours before they were composed.
struct KeptAlpha {
    uint8_t* alpha = nullptr;
    uint8_t* straight = nullptr;
};
uint64_t decode_pam(const PamHeader& header, std::span<const uint8_t> raster,
                    std::span<uint8_t> pixels, KeptAlpha kept = {});

// The pieces decode_raster chooses between; `channels` is 1 (grey, stored three
// times) or 3. Each returns the samples (bitmaps: the pixels) it stored.
size_t decode_raw8(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                   uint32_t channels);
size_t decode_raw16(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                    uint32_t channels);
size_t decode_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels, uint32_t maxval,
                    uint32_t channels);
size_t decode_bitmap_raw(std::span<const uint8_t> raster, std::span<uint8_t> pixels,
                         uint32_t width);
size_t decode_bitmap_plain(std::span<const uint8_t> raster, std::span<uint8_t> pixels);

// Plain sample text: writes `samples`, numbers first_index.. of `total`, as decimal
// numbers separated by white space, kPlainPerLine to a line and a newline after the
// last, into `out`, which must hold plain_text_bound(count) bytes. Returns the number
// of bytes written.
inline constexpr size_t kPlainPerLine = 15;
[[nodiscard]] constexpr size_t plain_text_bound(size_t count) {
    return count * 4;
}
[[nodiscard]] size_t encode_plain(std::span<const uint8_t> samples, size_t first_index,
                                  size_t total, uint8_t* out);

} // namespace ppm
