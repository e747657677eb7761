// PCX_Save: a Picture as a version 5 run-length PCX file, 24-bit or (from an
// IndexedPicture) 1, 2, 4 or 8 bits with its palette. The file is built in one pool
// block sized for the worst case and written in one call.
#include <algorithm>
#include <cstring>

#include "pcx/pcx_format.h"
#include "platform/dos.h"
#include "runtime/globals.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
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
    header[1] = 5;
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

/* WriteDatas24Bits: three plane lines per row, byte c of each pixel in plane c; a
 * picture of one byte per pixel gives three equal planes. Returns the bytes written. */
size_t WriteDatas24Bits(const Picture* pic, uint32_t width, uint32_t height, uint8_t* line,
                        uint8_t* out) {
    const size_t pixel = pic->BytesPerPixel & 0xFFU;
    uint8_t* start = out;
    for (uint32_t y = 0; y < height; ++y) {
        runtime::report_before_row(y, height);
        const uint8_t* row = pic->Data + size_t{y} * width * pixel;
        for (size_t plane = 0; plane < 3; ++plane) {
            const size_t byte = pixel == 1 ? 0 : plane;
            for (size_t x = 0; x < width; ++x) {
                line[x] = row[x * pixel + byte];
            }
            out += EncodeRLE({line, width}, out);
        }
    }
    runtime::report_progress(100);
    return static_cast<size_t>(out - start);
}

/* WriteDatasPalette: depth 1 sets a bit for every index but 0; depth 2 packs the low two
 * bits of each index (a larger index cannot spill into its neighbours); depth 4 writes
 * bit p of each index in plane p; depth 8 encodes the row itself. */
size_t WriteDatasPalette(const IndexedPicture* indexed, const Layout& layout, uint8_t* line,
                         uint8_t* out) {
    const uint32_t width = indexed->Width;
    const uint32_t height = indexed->Height;
    const size_t line_bytes = layout.bytes_per_line;
    uint8_t* start = out;
    for (uint32_t y = 0; y < height; ++y) {
        runtime::report_before_row(y, height);
        const uint8_t* row = indexed->Data + size_t{y} * width;
        if (layout.depth == 8) {
            out += EncodeRLE({row, width}, out);
            continue;
        }
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
            out += EncodeRLE({line, line_bytes}, out);
        }
    }
    runtime::report_progress(100);
    return static_cast<size_t>(out - start);
}

} // namespace

/* PCX_Save: the layout comes from the IndexedPicture's depth (1, 2, 4, 8 or 24; any
 * other is 1104); without an IndexedPicture the Picture is saved as 24-bit.
 * Codes: 7 no memory (no file is created), 11 cannot create the file, 1 a short write. */
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
    // Worst case: every encoded byte costs two.
    const uint64_t data_bytes = runtime::size_mul(layout.bytes_per_line, layout.planes, height);
    const uint64_t size =
        runtime::size_add(runtime::size_add(kHeaderBytes, runtime::size_mul(data_bytes, 2)),
                          layout.depth == 8 ? kTrailerBytes : 0);
    runtime::PoolBlock block(size);
    runtime::PoolBlock line(std::max<uint32_t>(layout.bytes_per_line, 1));
    if (!block || !line) {
        return kOutOfMemory;
    }
    uint8_t* out = block.bytes();
    build_header(out, layout, width, height, indexed);
    size_t length = kHeaderBytes;
    if (layout.depth == 24) {
        length += WriteDatas24Bits(pic, width, height, line.bytes(), out + length);
    } else {
        length += WriteDatasPalette(indexed, layout, line.bytes(), out + length);
    }
    if (layout.depth == 8) {
        out[length++] = kTrailerMarker;
        for (uint32_t i = 0; i < 256; ++i, length += 3) {
            put_rgb(out + length, indexed->Palette[i]);
        }
    }
    const platform::BPTR file = platform::Open(name, platform::MODE_NEWFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    const auto expected = static_cast<int64_t>(length);
    runtime::Error = platform::Write(file, out, expected) == expected ? kOk : kShortWrite;
    platform::Close(file);
    return runtime::Error;
}

} // namespace pcx
