// PCX_Read: a run-length PCX file of 1, 2, 4 or 8 bits in 1 to 4 planes into a 24-bit
// Picture; palette files are coloured through their palette after decoding.
#include <algorithm>
#include <array>
#include <cstring>

#include "pcx/pcx_format.h"
#include "runtime/file_reader.h"
#include "runtime/globals.h"
#include "runtime/picture.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace pcx {
namespace {

constexpr uint8_t kMask[4] = {0xC0, 0x30, 0x0C, 0x03};
constexpr uint8_t kShift[4] = {6, 4, 2, 0};

// The bytes one plane line needs for `width` pixels at this depth.
uint64_t line_bytes_needed(uint32_t width, uint32_t bits) {
    switch (bits) {
    case 1:
        return (uint64_t{width} + 8) / 8;
    case 2:
        return (uint64_t{width} + 4) / 4;
    case 4:
        return (uint64_t{width} + 2) / 2;
    default:
        return width;
    }
}

bool planes_accepted(const PCXHeader& header) {
    return header.NumPlanes == 1 || header.NumPlanes == 3 || header.NumPlanes == 4 ||
           (header.NumPlanes == 2 && header.BitsPerPixel == 1);
}

/* DecodeLine: the plane lines of one scan line into one row. Direct colour: planes 0..2
 * give red, green, blue of each pixel (a fourth is decoded and dropped). Palette mode:
 * `row` holds a byte a pixel, where indices collect: 1 bit ORs 1 << plane, 2 and 4 bits
 * OR the pixel's bits unshifted, 8 bits assign. Returns false when the data ran out. */
bool DecodeLine(const PCXHeader& header, uint8_t* row, bool palette_mode, RleDecoder& stream,
                std::span<uint8_t> line) {
    const size_t width = header.Width;
    const std::span<uint8_t> plane_line = line.first(header.BytesPerLine);
    bool complete = true;
    for (uint32_t plane = 0; plane < header.NumPlanes && complete; ++plane) {
        const size_t delivered = stream.DecodeRLE(plane_line);
        if (delivered < plane_line.size()) {
            // The data ends inside this line: what it gave is used, the rest is zero.
            std::fill(plane_line.begin() + static_cast<ptrdiff_t>(delivered), plane_line.end(), 0);
            complete = false;
        }
        if (!palette_mode) {
            if (plane < 3) {
                for (size_t x = 0; x < width; ++x) {
                    row[3 * x + plane] = line[x];
                }
            }
            continue;
        }
        size_t x = 0;
        switch (header.BitsPerPixel) {
        case 1:
            for (size_t i = 0; i < plane_line.size() && x < width; ++i) {
                for (uint32_t bit = 0; bit < 8 && x < width; ++bit, ++x) {
                    if ((line[i] & (0x80U >> bit)) != 0) {
                        row[x] = static_cast<uint8_t>(row[x] | (1U << plane));
                    }
                }
            }
            break;
        case 2:
            for (size_t i = 0; i < plane_line.size() && x < width; ++i) {
                for (uint32_t k = 0; k < 4 && x < width; ++k, ++x) {
                    row[x] = static_cast<uint8_t>(row[x] | ((line[i] & kMask[k]) >> kShift[k]));
                }
            }
            break;
        case 4:
            for (size_t i = 0; i < plane_line.size() && x < width; ++i) {
                row[x] = static_cast<uint8_t>(row[x] | (line[i] >> 4U));
                if (++x < width) {
                    row[x] = static_cast<uint8_t>(row[x] | (line[i] & 0x0FU));
                    ++x;
                }
            }
            break;
        default:
            std::memcpy(row, line.data(), width);
            break;
        }
    }
    return complete;
}

// Colours `count` pixels from their indices, which lie a byte a pixel at `indices`
// (`pixels` + 2 * `count` or later): pixel i is written over bytes no later index lies
// in, so the picture is coloured in place, front to back. Indices past the palette are
// black. One table of all 256 indices, so the loop has no branch.
void apply_palette(uint8_t* pixels, const uint8_t* indices, size_t count, const Palette& palette) {
    std::array<uint8_t, 256 * 4> colours{};
    for (uint32_t index = 0; index < palette.count; ++index) {
        std::memcpy(colours.data() + 4 * index, palette.rgb.data() + 3 * index, 3);
    }
    // Four bytes a store: the fourth lands on the next pixel, written next, and before
    // any index still to be read; the last pixel takes three.
    for (size_t i = 0; i + 1 < count; ++i) {
        std::memcpy(pixels + 3 * i, colours.data() + 4 * size_t{indices[i]}, 4);
    }
    if (count > 0) {
        std::memcpy(pixels + 3 * (count - 1), colours.data() + 4 * size_t{indices[count - 1]}, 3);
    }
}

/* DecodeImage: checks bits per pixel (1104), the line buffer (7), the planes (1105), the
 * pixel limit (13) and the pixels (7), in that order; decodes row by row with a progress report
 * every tenth; colours palette files. Rows the data does not reach stay black. */
int32_t DecodeImage(const PCXHeader& header, std::span<const uint8_t> file, Picture* pic,
                    ColourType type) {
    const uint32_t bits = header.BitsPerPixel;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8) {
        return kPcxBadBitsPerPixel;
    }
    runtime::PoolBlock line;
    const bool palette_mode = bits * header.NumPlanes <= 8;
    // Direct colour takes line byte x for pixel x whatever the depth, so its line holds
    // at least a byte per pixel (4 bits in 3 planes would otherwise read past it).
    const uint64_t line_size =
        std::max({uint64_t{header.BytesPerLine}, line_bytes_needed(header.Width, bits),
                  palette_mode ? uint64_t{0} : uint64_t{header.Width}});
    if (!line.allocate(line_size)) {
        return kOutOfMemory;
    }
    if (!planes_accepted(header)) {
        return kPcxBadPlanes;
    }
    const uint32_t width = header.Width;
    const uint32_t height = header.Height;
    if (const int32_t code = runtime::check_pixel_limit(width, height); code != kOk) {
        return code;
    }
    runtime::PoolBlock pixels(runtime::size_mul(width, height, 3));
    if (!pixels) {
        return kOutOfMemory;
    }
    RleDecoder stream(file.subspan(kHeaderBytes));
    const std::span<uint8_t> line_bytes(line.bytes(), line_size);
    // Palette indices collect a byte a pixel in the last third of the picture, to be
    // coloured once the palette is known: a third of the memory traffic of gathering
    // them in the pixels themselves. When the host keeps them, they collect in the block
    // handed over instead.
    const size_t count = size_t{width} * height;
    OrviExtras* extras = palette_mode ? runtime::wanted_extras() : nullptr;
    runtime::PoolBlock kept;
    if (extras != nullptr && !kept.allocate(count)) {
        return kOutOfMemory;
    }
    uint8_t* indices = kept ? kept.bytes() : pixels.bytes() + 2 * count;
    uint32_t rows = 0;
    for (uint32_t y = 0; y < height; ++y) {
        runtime::report_before_row(y, height);
        uint8_t* row =
            palette_mode ? indices + size_t{y} * width : pixels.bytes() + size_t{y} * width * 3;
        const bool complete = DecodeLine(header, row, palette_mode, stream, line_bytes);
        rows = y + 1;
        if (!complete) {
            // The data ends here: this row is partial and the rows below stay black.
            runtime::report_missing_pixels(uint64_t{height - y} * width);
            break;
        }
    }
    runtime::report_progress(100);
    if (palette_mode) {
        const auto trailer = type == ColourType::TwoFiftySix
                                 ? find_trailer(file, kHeaderBytes + stream.position())
                                 : std::span<const uint8_t>{};
        const size_t coloured = size_t{rows} * width;
        const Palette palette = choose_palette(header, type, trailer);
        apply_palette(pixels.bytes(), indices, coloured, palette);
        if (extras != nullptr) {
            // The host keeps the indices and the palette as the file gives them: an entry
            // for every index the depth reaches (black past the file's palette), no more.
            const uint32_t reach = 1U << (bits * header.NumPlanes);
            std::memcpy(extras->palette, palette.rgb.data(),
                        size_t{std::min(palette.count, reach)} * 3);
            extras->palette_count = reach;
            extras->transparent = -1;
            extras->indices = kept.release();
        }
        // Rows the data did not reach are black, indices left there included.
        std::memset(pixels.bytes() + 3 * coloured, 0, 3 * (count - coloured));
    }
    runtime::deliver_picture(pic, pixels.release(), width, height, bits * header.NumPlanes);
    return kOk;
}

} // namespace

/* PCX_Read: codes of ReadFile; 10 when the first byte is not 10 or the file is shorter
 * than its header; 1103 encoding; 1106 a window whose end is before its start or whose
 * side is 0; then those of DecodeImage. ColorType is written once the manufacturer and
 * encoding checks passed. Frees the file and line buffers on every path. */
int32_t PCX_Read(const char* name, CodecRequest* request) {
    Picture* pic = request->Pic;
    runtime::Error = kOk;
    runtime::clear_loaded_picture(pic);
    runtime::PoolBlock file;
    if (runtime::ReadFile(name, file) != kOk) {
        return runtime::Error;
    }
    const std::span<const uint8_t> bytes = runtime::file_cursor().rest();
    if (bytes.size() < kHeaderBytes || bytes[0] != kManufacturer) {
        return kNotPcx;
    }
    const PCXHeader header = GetPCXHeader(bytes.first<kHeaderBytes>());
    if (header.Encoding != 1) {
        return kPcxBadEncoding;
    }
    const ColourType type = colour_type(header);
    request->ColorType = static_cast<uint32_t>(type);
    if (!header.window_valid) {
        return kPcxBadWindow;
    }
    runtime::Error = DecodeImage(header, bytes, pic, type);
    return runtime::Error;
}

} // namespace pcx
