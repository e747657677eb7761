// PCX header decoding, colour types and the choice of palette. Pure: no globals, no I/O.
#include <algorithm>

#include "pcx/pcx_rules.h"
#include "runtime/cursor.h"

namespace pcx {
namespace {

// The standard 16 colours of the EGA, for old files whose palette says nothing.
constexpr std::array<uint8_t, 48> kEgaPalette = {
    0,  0,   0,   0,   0,   170, 0,   170, 0,  0,   170, 170, 170, 0,   0,   170,
    0,  170, 170, 85,  0,   170, 170, 170, 85, 85,  85,  85,  85,  255, 85,  255,
    85, 85,  255, 255, 255, 85,  85,  255, 85, 255, 255, 255, 85,  255, 255, 255};

Palette black_and_white() {
    Palette palette;
    palette.count = 2;
    std::fill(palette.rgb.begin() + 3, palette.rgb.begin() + 6, uint8_t{255});
    return palette;
}

Palette from_bytes(std::span<const uint8_t> bytes, uint32_t count) {
    Palette palette;
    palette.count = count;
    std::copy(bytes.begin(), bytes.begin() + count * 3, palette.rgb.begin());
    return palette;
}

bool entries_equal(std::span<const uint8_t, 48> palette, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i) {
        if (!std::equal(palette.begin(), palette.begin() + 3, palette.begin() + 3 * i)) {
            return false;
        }
    }
    return true;
}

} // namespace

/* GetPCXHeader: Width = Xmax - Xmin + 1 and Height = Ymax - Ymin + 1, in 16 bits;
 * little-endian fields; the window is valid when its end is not before its start and
 * its sides are not 0 in 16 bits. */
PCXHeader GetPCXHeader(std::span<const uint8_t, kHeaderBytes> raw) {
    PCXHeader header;
    runtime::Cursor cursor(raw);
    (void)cursor.next(); // the manufacturer
    header.Version = cursor.next();
    header.Encoding = cursor.next();
    header.BitsPerPixel = cursor.next();
    const uint16_t xmin = cursor.le16();
    const uint16_t ymin = cursor.le16();
    const uint16_t xmax = cursor.le16();
    const uint16_t ymax = cursor.le16();
    header.Width = static_cast<uint16_t>(xmax - xmin + 1);
    header.Height = static_cast<uint16_t>(ymax - ymin + 1);
    cursor.skip(4); // the resolution
    const std::span<const uint8_t> palette = cursor.take(header.Palette.size());
    std::copy(palette.begin(), palette.end(), header.Palette.begin());
    (void)cursor.next(); // reserved
    header.NumPlanes = cursor.next();
    header.BytesPerLine = cursor.le16();
    header.PaletteInfo = cursor.le16();
    header.window_valid = xmax >= xmin && ymax >= ymin && header.Width != 0 && header.Height != 0;
    return header;
}

ColourType colour_type(const PCXHeader& header) {
    if (header.BitsPerPixel == 1 && header.NumPlanes == 4) {
        return ColourType::SixteenPlanar;
    }
    if (header.NumPlanes == 1) {
        switch (header.BitsPerPixel) {
        case 1:
            return ColourType::Monochrome;
        case 2:
            return ColourType::Four;
        case 8:
            return ColourType::TwoFiftySix;
        default:
            return ColourType::None;
        }
    }
    return header.NumPlanes == 3 && header.BitsPerPixel == 8 ? ColourType::TrueColour
                                                             : ColourType::None;
}

/* palette_source: 256-colour files (8 bits, 1 plane) take the trailer whatever their
 * version when one was found; version 0 and 3 files are black and white when monochrome
 * and EGA-coloured otherwise; version 5 monochrome files are black and white; the rest
 * use the header palette. A monochrome header palette of two equal entries is read as
 * black and white, a 16-colour one of sixteen equal entries as the EGA palette. */
PaletteSource palette_source(const PCXHeader& header, ColourType type, bool has_trailer) {
    if (type == ColourType::TwoFiftySix && has_trailer) {
        return PaletteSource::Trailer;
    }
    const bool monochrome = header.BitsPerPixel == 1 && header.NumPlanes == 1;
    if (header.Version == 0 || header.Version == 3) {
        return monochrome ? PaletteSource::BlackAndWhite : PaletteSource::Ega;
    }
    if (monochrome && (header.Version == 5 || entries_equal(header.Palette, 2))) {
        return PaletteSource::BlackAndWhite;
    }
    if (!monochrome && entries_equal(header.Palette, 16)) {
        return PaletteSource::Ega;
    }
    return PaletteSource::Header;
}

Palette choose_palette(const PCXHeader& header, ColourType type, std::span<const uint8_t> trailer) {
    switch (palette_source(header, type, trailer.size() == 768)) {
    case PaletteSource::Trailer:
        return from_bytes(trailer, 256);
    case PaletteSource::BlackAndWhite:
        return black_and_white();
    case PaletteSource::Ega:
        return from_bytes(kEgaPalette, 16);
    case PaletteSource::Header:
        break;
    }
    return from_bytes(header.Palette, 16);
}

std::span<const uint8_t> find_trailer(std::span<const uint8_t> file, size_t data_end) {
    for (const size_t at :
         {data_end, file.size() >= kTrailerBytes ? file.size() - kTrailerBytes : file.size()}) {
        if (at >= kHeaderBytes && at + kTrailerBytes <= file.size()) {
            runtime::Cursor trailer(file.subspan(at, kTrailerBytes));
            if (trailer.next() == kTrailerMarker) {
                return trailer.take(768);
            }
        }
    }
    return {};
}

size_t image_data_end(const PCXHeader& header, std::span<const uint8_t> file) {
    RleDecoder stream(file.subspan(std::min(kHeaderBytes, file.size())));
    for (uint32_t y = 0; y < header.Height; ++y) {
        for (uint32_t plane = 0; plane < header.NumPlanes; ++plane) {
            if (stream.Skip(header.BytesPerLine) < header.BytesPerLine) {
                return kHeaderBytes + stream.position();
            }
        }
    }
    return kHeaderBytes + stream.position();
}

PaletteSource loaded_palette_source(std::span<const uint8_t> file) {
    const PCXHeader header = GetPCXHeader(file.first<kHeaderBytes>());
    const ColourType type = colour_type(header);
    // A marker kTrailerBytes from the end settles it without walking the image data.
    const bool at_end = file.size() >= kHeaderBytes + kTrailerBytes &&
                        file[file.size() - kTrailerBytes] == kTrailerMarker;
    const bool trailer = type == ColourType::TwoFiftySix &&
                         (at_end || !find_trailer(file, image_data_end(header, file)).empty());
    return palette_source(header, type, trailer);
}

} // namespace pcx
