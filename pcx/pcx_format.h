// The PCX format: the 128-byte header, the run-length stream, palettes, and the pure
// pieces the reader and writer are built from. Private to the pcx module.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/records.h"

namespace pcx {

[[nodiscard]] int32_t PCX_Read(const char* name, CodecRequest* request);
[[nodiscard]] int32_t PCX_Save(const char* name, CodecRequest* request);

inline constexpr size_t kHeaderBytes = 128;
inline constexpr uint8_t kManufacturer = 10;
inline constexpr uint8_t kTrailerMarker = 12;
inline constexpr size_t kTrailerBytes = 769; // the marker and 256 entries of 3 bytes

struct PCXHeader {
    uint8_t Version = 0;
    uint8_t Encoding = 0;
    uint8_t BitsPerPixel = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    std::array<uint8_t, 48> Palette{};
    uint8_t NumPlanes = 0;
    uint16_t BytesPerLine = 0;
    uint16_t PaletteInfo = 0;
    bool window_valid = false; // the window's end is not before its start
};

// The decoded header of the first 128 bytes (which the caller guarantees).
[[nodiscard]] PCXHeader GetPCXHeader(std::span<const uint8_t, kHeaderBytes> raw);

// The colour type the header's layout names (1..5), or 0.
[[nodiscard]] uint32_t colour_type(const PCXHeader& header);

// The run-length stream: a byte of 0xC0 or more is a run of its low 6 bits of the byte
// after it; any other byte is itself. A run may continue into the next plane line.
class RleDecoder {
public:
    explicit RleDecoder(std::span<const uint8_t> data) : data_(data) {}
    // Decodes up to `out.size()` bytes; returns how many it delivered (fewer only when
    // the data ends).
    size_t DecodeRLE(std::span<uint8_t> out);
    // Where the stream stands: on the count byte of a pending run, or after the data.
    [[nodiscard]] size_t position() const { return position_; }

private:
    std::span<const uint8_t> data_;
    size_t position_ = 0;
    uint16_t RLEReads = 0;
};

// Encodes `bytes` at `out` (which must hold 2 x bytes.size()); returns the bytes written.
// Runs of 2 to 63 become count and value; a lone byte of 0xC0 or more becomes 0xC1 and it.
size_t EncodeRLE(std::span<const uint8_t> bytes, uint8_t* out);

// A palette of `count` entries, red, green, blue; indices from `count` on are black.
struct Palette {
    std::array<uint8_t, 768> rgb{};
    uint32_t count = 0;
};

// Where the colours of a palette-mode file come from.
enum class PaletteSource : uint8_t { Trailer, BlackAndWhite, Ega, Header };

[[nodiscard]] PaletteSource palette_source(const PCXHeader& header, uint32_t type,
                                           bool has_trailer);

// The palette a palette-mode file is coloured with. `trailer` is the 768 bytes after a
// 256-colour marker, or empty.
[[nodiscard]] Palette choose_palette(const PCXHeader& header, uint32_t type,
                                     std::span<const uint8_t> trailer);

} // namespace pcx
