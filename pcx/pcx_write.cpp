// PCX_Save: a Picture as a version 5 run-length PCX file, 24-bit or (from an
// IndexedPicture) 1, 2, 4 or 8 bits with its palette. Rows are encoded a round at a
// time, each round split into bands for the job's threads (a row's coding starts afresh,
// so bands give the same bytes), and written as each round ends: the memory taken is a
// few rounds of rows, whatever the picture's size.
#include <algorithm>
#include <cstring>

#include "pcx/pcx_format.h"
#include "platform/dos.h"
#include "runtime/globals.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
#include "runtime/row_rounds.h"
#include "runtime/sizes.h"

namespace pcx {
namespace {

struct Layout {
    uint32_t depth;
    uint8_t bits;
    uint8_t planes;
    uint32_t bytes_per_line;
};

bool layout_for(uint32_t depth, uint32_t width, Layout& layout) {
    switch (depth) {
    case 1:
        layout = {1, 1, 1, (width + 7) / 8};
        return true;
    case 2:
        layout = {2, 2, 1, (width + 3) / 4};
        return true;
    case 4:
        layout = {4, 1, 4, (width + 7) / 8};
        return true;
    case 8:
        layout = {8, 8, 1, width};
        return true;
    case 24:
        layout = {24, 8, 3, width};
        return true;
    default:
        return false;
    }
}

void put_le16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8U);
}

void put_rgb(uint8_t* at, uint32_t colour) {
    at[0] = static_cast<uint8_t>(colour >> 16U);
    at[1] = static_cast<uint8_t>(colour >> 8U);
    at[2] = static_cast<uint8_t>(colour);
}

void build_header(uint8_t* header, const Layout& layout, uint32_t width, uint32_t height,
                  const IndexedPicture* indexed) {
    header[0] = kManufacturer;
    // Readers take a version 5 file of one bit as black and white whatever its header
    // says: two other colours go in a version 2 file, whose header palette holds them.
    const bool black_and_white = indexed == nullptr || layout.depth != 1 ||
                                 (indexed->Palette[0] == 0 && indexed->Palette[1] == 0xFFFFFF);
    header[1] = black_and_white ? 5 : 2;
    header[2] = 1;
    header[3] = layout.bits;
    put_le16(header + 8, width - 1);
    put_le16(header + 10, height - 1);
    put_le16(header + 12, width);
    put_le16(header + 14, height);
    const uint32_t entries = layout.depth <= 4 ? 1U << layout.depth : 0;
    for (uint32_t i = 0; i < entries && indexed != nullptr; ++i) {
        put_rgb(header + 16 + 3 * i, indexed->Palette[i]);
    }
    header[65] = layout.planes;
    put_le16(header + 66, layout.bytes_per_line);
    put_le16(header + 68, 1);
}

/* encode_24_bits: three plane lines per row, byte c of each pixel in plane c; a picture
 * of one byte per pixel gives three equal planes. Returns the bytes written. */
size_t encode_24_bits(const Picture* pic, uint32_t width, uint32_t y, uint8_t* line, uint8_t* out) {
    const size_t pixel = pic->BytesPerPixel & 0xFFU;
    const uint8_t* row = pic->Data + size_t{y} * width * pixel;
    size_t length = 0;
    for (size_t plane = 0; plane < 3; ++plane) {
        const size_t byte = pixel == 1 ? 0 : plane;
        for (size_t x = 0; x < width; ++x) {
            line[x] = row[x * pixel + byte];
        }
        length += EncodeRLE({line, width}, out + length);
    }
    return length;
}

/* encode_palette_row: depth 1 sets a bit for every index but 0; depth 2 packs the low two
 * bits of each index (a larger index cannot spill into its neighbours); depth 4 writes
 * bit p of each index in plane p; depth 8 encodes the row itself. */
size_t encode_palette_row(const IndexedPicture* indexed, const Layout& layout, uint32_t y,
                          uint8_t* line, uint8_t* out) {
    const uint32_t width = indexed->Width;
    const size_t line_bytes = layout.bytes_per_line;
    const uint8_t* row = indexed->Data + size_t{y} * width;
    if (layout.depth == 8) {
        return EncodeRLE({row, width}, out);
    }
    size_t length = 0;
    for (uint32_t plane = 0; plane < layout.planes; ++plane) {
        std::memset(line, 0, line_bytes);
        for (size_t x = 0; x < width; ++x) {
            const uint32_t index = row[x];
            if (layout.depth == 2) {
                line[x / 4] =
                    static_cast<uint8_t>(line[x / 4] | ((index & 3U) << (6 - 2 * (x % 4))));
            } else if (layout.depth == 1 ? index != 0 : ((index >> plane) & 1U) != 0) {
                line[x / 8] = static_cast<uint8_t>(line[x / 8] | (0x80U >> (x % 8)));
            }
        }
        length += EncodeRLE({line, line_bytes}, out + length);
    }
    return length;
}

} // namespace

/* PCX_Save: the layout comes from the IndexedPicture's depth (1, 2, 4, 8 or 24; any
 * other is 1104); without an IndexedPicture the Picture is saved as 24-bit.
 * Codes: kOutOfMemory no memory (no file is created), kCannotOpen cannot create the file,
 * kShortWrite a short write. */
int32_t PCX_Save(const char* name, CodecRequest* request) {
    runtime::Error = kOk;
    const Picture* pic = request->Pic;
    const auto* indexed = reinterpret_cast<const IndexedPicture*>(request->SaveMode);
    const uint32_t width = static_cast<uint32_t>(pic->Width) & 0xFFFFU;
    const uint32_t height = static_cast<uint32_t>(pic->Height) & 0xFFFFU;
    Layout layout{};
    if (!layout_for(indexed != nullptr ? indexed->Depth : 24, width, layout)) {
        return kPcxBadBitsPerPixel;
    }
    const uint64_t row_bytes = uint64_t{layout.bytes_per_line} * layout.planes;
    runtime::RowRounds rounds;
    const uint64_t line_bytes = std::max<uint32_t>(layout.bytes_per_line, 1);
    runtime::PoolBlock lines; // a plane line for each band
    // Every encoded byte may cost two.
    if (!rounds.plan(height, row_bytes, 2 * row_bytes) ||
        !lines.allocate(runtime::size_mul(line_bytes, rounds.bands()))) {
        return kOutOfMemory;
    }
    uint8_t header[kHeaderBytes] = {};
    build_header(header, layout, width, height, indexed);
    const platform::BPTR file = platform::Open(name, platform::MODE_NEWFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    const auto write = [file](std::span<const uint8_t> bytes) {
        const auto length = static_cast<int64_t>(bytes.size());
        return platform::Write(file, bytes.data(), length) == length;
    };
    bool written =
        write(header) && rounds.run(
                             [height](uint32_t top, uint32_t rows) {
                                 for (uint32_t y = top; y < top + rows; ++y) {
                                     runtime::report_before_row(y, height);
                                 }
                             },
                             [&](uint32_t band, uint32_t y, uint8_t* out) {
                                 uint8_t* line = lines.bytes() + band * line_bytes;
                                 return layout.depth == 24
                                            ? encode_24_bits(pic, width, y, line, out)
                                            : encode_palette_row(indexed, layout, y, line, out);
                             },
                             write);
    runtime::report_progress(100);
    if (written && layout.depth == 8) {
        uint8_t trailer[kTrailerBytes];
        trailer[0] = kTrailerMarker;
        for (uint32_t i = 0; i < 256; ++i) {
            put_rgb(trailer + 1 + 3 * i, indexed->Palette[i]);
        }
        written = write(trailer);
    }
    platform::Close(file);
    runtime::Error = written ? kOk : kShortWrite;
    return runtime::Error;
}

} // namespace pcx
