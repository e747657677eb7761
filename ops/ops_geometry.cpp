// Geometric operations: quarter turns, mirrors, nearest-neighbour resizing, copy and
// fill. Pixels move unchanged; the only memory taken is YFlip's row buffers and the
// general resize's two tables. Each runs in bands of the job's threads, every band
// writing its own rows or pixels. No I/O, no globals beyond the pool.
#include <algorithm>
#include <cstring>

#include "ops/ops_format.h"
#include "ops/ops_rules.h"
#include "runtime/bands.h"
#include "runtime/pool.h"
#include "runtime/sizes.h"

namespace ops {
namespace {

// Quarter turns move square tiles of this many pixels a side, so that both the rows
// read and the rows written stay in cache.
constexpr uint32_t kTile = 64;

template <uint32_t kPixel> void copy_pixel(uint8_t* dest, const uint8_t* source) {
    std::memcpy(dest, source, kPixel);
}

/* Source pixel (x, y) goes to destination pixel (W - 1 - x) x H + y when turning
 * anticlockwise and x x H + (H - 1 - y) when turning clockwise; the destination is H
 * pixels wide. Tiles change only the order of the moves. */
template <uint32_t kPixel>
void rotate_as(const uint8_t* source, uint8_t* dest, size_t width, size_t height,
               bool anticlockwise, size_t first_x, size_t end_x) {
    for (size_t tile_x = first_x; tile_x < end_x; tile_x += kTile) {
        const size_t x_end = std::min<size_t>(end_x, tile_x + kTile);
        for (size_t tile_y = 0; tile_y < height; tile_y += kTile) {
            const size_t y_end = std::min<size_t>(height, tile_y + kTile);
            for (size_t x = tile_x; x < x_end; ++x) {
                const size_t dest_row = anticlockwise ? width - 1 - x : x;
                uint8_t* row = dest + dest_row * height * kPixel;
                for (size_t y = tile_y; y < y_end; ++y) {
                    const size_t column = anticlockwise ? y : height - 1 - y;
                    copy_pixel<kPixel>(row + column * kPixel, source + (y * width + x) * kPixel);
                }
            }
        }
    }
}

template <uint32_t kPixel>
void mirror_rows_as(uint8_t* data, size_t width, size_t first_y, size_t end_y) {
    for (size_t y = first_y; y < end_y; ++y) {
        uint8_t* row = data + y * width * kPixel;
        for (size_t x = 0; x < width / 2; ++x) {
            uint8_t* left = row + x * kPixel;
            uint8_t* right = row + (width - 1 - x) * kPixel;
            uint8_t swap[kPixel];
            std::memcpy(swap, left, kPixel);
            std::memcpy(left, right, kPixel);
            std::memcpy(right, swap, kPixel);
        }
    }
}

struct ResizeShape {
    size_t width;
    size_t height;
    size_t new_width;
    size_t new_height;
    size_t pixel;
};

void copy_bytes(uint8_t* dest, const uint8_t* source, size_t count) {
    std::memcpy(dest, source, count);
}

// Destination pixel (i, j) is source pixel (2i, 2j), for rows j of [first, end).
void resize_halving(const uint8_t* source, uint8_t* dest, const ResizeShape& shape, size_t first,
                    size_t end) {
    const size_t row_bytes = shape.width * shape.pixel;
    dest += first * shape.new_width * shape.pixel;
    for (size_t j = first; j < end; ++j) {
        const uint8_t* row = source + 2 * j * row_bytes;
        for (size_t i = 0; i < shape.new_width; ++i) {
            copy_bytes(dest, row + 2 * i * shape.pixel, shape.pixel);
            dest += shape.pixel;
        }
    }
}

// Every source pixel of rows [first, end) becomes a two-by-two block.
void resize_doubling(const uint8_t* source, uint8_t* dest, const ResizeShape& shape, size_t first,
                     size_t end) {
    const size_t row_bytes = shape.new_width * shape.pixel;
    dest += 2 * first * row_bytes;
    for (size_t y = first; y < end; ++y) {
        uint8_t* upper = dest;
        const uint8_t* row = source + y * shape.width * shape.pixel;
        for (size_t x = 0; x < shape.width; ++x) {
            copy_bytes(dest, row + x * shape.pixel, shape.pixel);
            copy_bytes(dest + shape.pixel, row + x * shape.pixel, shape.pixel);
            dest += 2 * shape.pixel;
        }
        copy_bytes(dest, upper, row_bytes);
        dest += row_bytes;
    }
}

// Destination rows [first, end) through the tables; kPixel 0: shape.pixel bytes a pixel.
template <uint32_t kPixel>
void resize_rows(const uint8_t* source, uint8_t* dest, const ResizeShape& shape,
                 const uint32_t* columns, const uint32_t* rows, size_t first, size_t end) {
    dest += first * shape.new_width * shape.pixel;
    for (size_t j = first; j < end; ++j) {
        const uint8_t* row = source + size_t{rows[j]} * shape.width * shape.pixel;
        for (size_t i = 0; i < shape.new_width; ++i) {
            if constexpr (kPixel == 0) {
                copy_bytes(dest, row + columns[i], shape.pixel);
            } else {
                copy_pixel<kPixel>(dest, row + columns[i]);
            }
            dest += shape.pixel;
        }
    }
}

/* The general case: 16.16 steps, step = side x 65536 / new side (truncating), position
 * = accumulated step >> 16. The steps are computed in 64 bits so that sides of 32768 or
 * more keep the same rule. Column offsets and source rows go into two pool tables;
 * without them nothing is written. */
void resize_general(const uint8_t* source, uint8_t* dest, const ResizeShape& shape,
                    const ResizeTables& sizes) {
    runtime::PoolBlock column_block(sizes.columns);
    runtime::PoolBlock row_block(sizes.rows);
    if (!column_block || !row_block) {
        return;
    }
    auto* columns = reinterpret_cast<uint32_t*>(column_block.bytes());
    auto* rows = reinterpret_cast<uint32_t*>(row_block.bytes());
    const uint64_t step_x = (uint64_t{shape.width} << 16U) / shape.new_width;
    const uint64_t step_y = (uint64_t{shape.height} << 16U) / shape.new_height;
    uint64_t position = 0;
    for (size_t i = 0; i < shape.new_width; ++i, position += step_x) {
        columns[i] = static_cast<uint32_t>((position >> 16U) * shape.pixel);
    }
    position = 0;
    for (size_t j = 0; j < shape.new_height; ++j, position += step_y) {
        rows[j] = static_cast<uint32_t>(position >> 16U);
    }
    runtime::in_bands(shape.new_height, least_band_rows(shape.new_width),
                      [&](size_t first, size_t end) {
                          if (shape.pixel == 3) {
                              resize_rows<3>(source, dest, shape, columns, rows, first, end);
                          } else if (shape.pixel == 1) {
                              resize_rows<1>(source, dest, shape, columns, rows, first, end);
                          } else {
                              resize_rows<0>(source, dest, shape, columns, rows, first, end);
                          }
                      });
}

} // namespace

// Source columns go to destination rows: bands of whole tiles of columns.
void rotate(const uint8_t* source, uint8_t* dest, uint32_t width, uint32_t height,
            uint32_t pixel_bytes, bool anticlockwise) {
    const size_t tiles = (size_t{width} + kTile - 1) / kTile;
    runtime::in_bands(
        tiles, (least_band_rows(height) + kTile - 1) / kTile, [&](size_t first, size_t end) {
            const size_t first_x = first * kTile;
            const size_t end_x = std::min<size_t>(width, end * kTile);
            if (pixel_bytes == 1) {
                rotate_as<1>(source, dest, width, height, anticlockwise, first_x, end_x);
            } else {
                rotate_as<3>(source, dest, width, height, anticlockwise, first_x, end_x);
            }
        });
}

void mirror_rows(uint8_t* data, uint32_t width, uint32_t height, uint32_t pixel_bytes) {
    runtime::in_bands(height, least_band_rows(width), [&](size_t first, size_t end) {
        if (pixel_bytes == 1) {
            mirror_rows_as<1>(data, width, first, end);
        } else {
            mirror_rows_as<3>(data, width, first, end);
        }
    });
}

/* PPC_Rotate: direction 1 a quarter turn anticlockwise, 0 clockwise. One byte per
 * pixel when BytesPerPixel is 1, three for any other value. */
void PPC_Rotate(OpArgs* args, int16_t direction) {
    rotate(args->Source, args->Dest, low16(args->Width), low16(args->Height),
           args->BytesPerPixel == 1 ? 1 : 3, direction != 0);
}

void PPC_XFlip(OpArgs* args) {
    mirror_rows(args->Source, low16(args->Width), low16(args->Height),
                args->BytesPerPixel == 1 ? 1 : 3);
}

/* PPC_YFlip: rows r and H - 1 - r swap through a pool row buffer, one a band of row
 * pairs (one band when the pool grants no more); no pool, no change.
 * The row length is the whole Width x BytesPerPixel: cut to 16 bits it would mirror
 * only the front of rows longer than 65535 bytes and scramble the picture. */
void PPC_YFlip(OpArgs* args) {
    const size_t row_bytes = mirror_row_bytes(*args);
    const size_t height = low16(args->Height);
    const size_t pairs = height / 2;
    uint32_t bands = runtime::band_count(pairs, least_band_rows(low16(args->Width)));
    runtime::PoolBlock buffers(runtime::size_mul(row_bytes, bands));
    if (!buffers && bands > 1) {
        bands = 1;
        (void)buffers.allocate(row_bytes);
    }
    if (!buffers) {
        return;
    }
    uint8_t* data = args->Source;
    runtime::run_bands(pairs, bands, [&](uint32_t band, size_t first, size_t end) {
        uint8_t* buffer = buffers.bytes() + band * row_bytes;
        for (size_t r = first; r < end; ++r) {
            uint8_t* top = data + r * row_bytes;
            uint8_t* bottom = data + (height - 1 - r) * row_bytes;
            copy_bytes(buffer, top, row_bytes);
            copy_bytes(top, bottom, row_bytes);
            copy_bytes(bottom, buffer, row_bytes);
        }
    });
}

/* PPC_Resize: nearest neighbour into Dest (new width x new height x pixel bytes).
 * Exact halving and exact doubling take fast paths with no tables; they give the
 * pixels the general rule gives. A new side of 0 writes nothing. */
void PPC_Resize(OpArgs* args) {
    const ResizeShape shape{
        low16(args->Width), low16(args->Height), low16(static_cast<uint32_t>(args->Param1)),
        low16(static_cast<uint32_t>(args->Param2)), args->BytesPerPixel & 0xFFU};
    const size_t least = least_band_rows(shape.new_width);
    if (shape.new_width == shape.width / 2 && shape.new_height == shape.height / 2) {
        runtime::in_bands(shape.new_height, least, [&](size_t first, size_t end) {
            resize_halving(args->Source, args->Dest, shape, first, end);
        });
    } else if (shape.new_width == 2 * shape.width && shape.new_height == 2 * shape.height) {
        runtime::in_bands(shape.height, least, [&](size_t first, size_t end) {
            resize_doubling(args->Source, args->Dest, shape, first, end);
        });
    } else if (shape.new_width != 0 && shape.new_height != 0) {
        resize_general(args->Source, args->Dest, shape, resize_table_bytes(*args));
    }
}

void PPC_Copy(OpArgs* args) {
    if (args->Count == 0) {
        return;
    }
    runtime::in_bands(args->Count, kLeastBandBytes, [&](size_t first, size_t end) {
        copy_bytes(args->Dest + first, args->Source + first, end - first);
    });
}

/* PPC_Fill: every whole pixel below Count becomes (Param1, Param2, Param3), low bytes.
 * deliberate choice: when Count is not a multiple of 3 the tail bytes are left alone. */
void PPC_Fill(OpArgs* args) {
    const uint8_t colour[3] = {static_cast<uint8_t>(args->Param1),
                               static_cast<uint8_t>(args->Param2),
                               static_cast<uint8_t>(args->Param3)};
    uint8_t* data = args->Source;
    runtime::in_bands(args->Count / 3, kLeastBandPixels, [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i) {
            copy_pixel<3>(data + 3 * i, colour);
        }
    });
}

} // namespace ops
