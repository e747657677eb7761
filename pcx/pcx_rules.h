// The rules of the PCX format that more than the reader needs: the header, colour
// types, the run-length stream and the choice of palette. Pure: no globals, no I/O, no
// platform calls. Linked by the pcx module and by the library, so that `orvi info`
// names the palette the reader uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pcx {

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

// The colour types of the header's layouts; the number is what the reader reports in
// ColorType.
enum class ColourType : uint32_t {
    None = 0,          // a layout of no type (2 bits in 4 planes, 4 bits in 1 plane, ...)
    SixteenPlanar = 1, // 1 bit in 4 planes: 16 colours
    Monochrome = 2,    // 1 bit in 1 plane
    Four = 3,          // 2 bits in 1 plane
    TwoFiftySix = 4,   // 8 bits in 1 plane: 256 colours, usually with a trailer palette
    TrueColour = 5,    // 8 bits in 3 planes
};

// The colour type the header's layout names.
[[nodiscard]] ColourType colour_type(const PCXHeader& header);

// The run-length stream: a byte of 0xC0 or more is a run of its low 6 bits of the byte
// after it; any other byte is itself. A run may continue into the next plane line.
class RleDecoder {
public:
    explicit RleDecoder(std::span<const uint8_t> data) : data_(data) {}
    // Decodes up to `out.size()` bytes; returns how many it delivered (fewer only when
    // the data ends).
    size_t DecodeRLE(std::span<uint8_t> out);
    // Moves on by `count` decoded bytes without keeping them, as DecodeRLE would; returns
    // how many (fewer only when the data ends).
    size_t Skip(size_t count);
    // Where the stream stands: on the count byte of a pending run, or after the data.
    [[nodiscard]] size_t position() const { return position_; }

private:
    std::span<const uint8_t> data_;
    size_t position_ = 0;
    uint16_t RLEReads = 0;
};

// A palette of `count` entries, red, green, blue; indices from `count` on are black.
struct Palette {
    std::array<uint8_t, 768> rgb{};
    uint32_t count = 0;
};

// Where the colours of a palette-mode file come from.
enum class PaletteSource : uint8_t { Trailer, BlackAndWhite, Ega, Header };

[[nodiscard]] PaletteSource palette_source(const PCXHeader& header, ColourType type,
                                           bool has_trailer);

// The palette a palette-mode file is coloured with. `trailer` is the 768 bytes after a
// 256-colour marker, or empty.
[[nodiscard]] Palette choose_palette(const PCXHeader& header, ColourType type,
                                     std::span<const uint8_t> trailer);

// The 768 palette bytes after a 256-colour marker in `file`: right after the image data
// (which ends at `data_end`), else 769 bytes before the end of the file; empty when
// neither holds the marker.
[[nodiscard]] std::span<const uint8_t> find_trailer(std::span<const uint8_t> file, size_t data_end);

// Where the run-length data of the whole picture ends in `file`, as the reader finds it:
// NumPlanes plane lines of BytesPerLine bytes for each row, or the end of the data.
[[nodiscard]] size_t image_data_end(const PCXHeader& header, std::span<const uint8_t> file);

// The source of the palette the reader colours a palette-mode file with (the file holds
// at least its header).
[[nodiscard]] PaletteSource loaded_palette_source(std::span<const uint8_t> file);

} // namespace pcx
