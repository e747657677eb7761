// IFF_Save: a Picture as a 24-plane ILBM, or an IndexedPicture at its own depth with
// its palette as an ILBM or a chunky FORM PBM, plain or ByteRun1, written through the
// iffparse stand-in a round of rows at a time.
#include <algorithm>
#include <array>
#include <cstring>

#include "ilbm/ilbm_format.h"
#include "platform/dos.h"
#include "runtime/cursor.h"
#include "runtime/globals.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
#include "runtime/row_rounds.h"
#include "runtime/sizes.h"

namespace ilbm {
namespace {

struct Source {
    uint32_t width;
    uint32_t height;
    uint32_t depth;
    const uint8_t* pixels;
    uint32_t pixel_bytes; // 1 (index or grey) or 3
    const IndexedPicture* indexed;
    bool chunky; // FORM PBM: a byte a pixel, rows of even length
    const uint8_t* alpha = nullptr; // an opacity a pixel: a mask plane after the colours
};

Source choose_source(const CodecRequest* request, const OrviExtras* extras) {
    const IndexedPicture* indexed = request->IndexedPic;
    const bool chunky = (request->SaveMode & kSaveChunky) != 0;
    // A chunky picture holds no mask plane.
    const uint8_t* alpha = extras != nullptr && !chunky ? extras->alpha : nullptr;
    if (indexed != nullptr && indexed->Data != nullptr) {
        const uint32_t depth = indexed->Depth & 0xFFU;
        return {indexed->Width,        indexed->Height, depth, indexed->Data,
                depth == 24 ? 3U : 1U, indexed,         chunky, alpha};
    }
    const Picture* pic = request->Pic;
    return {static_cast<uint32_t>(pic->Width) & 0xFFFFU,
            static_cast<uint32_t>(pic->Height) & 0xFFFFU,
            24,
            pic->Data,
            (pic->BytesPerPixel & 0xFFU) == 1 ? 1U : 3U,
            nullptr,
            chunky,
            alpha};
}

// The plane rows a BODY row holds: the colour planes and the mask's.
uint32_t stored_planes(const Source& source) {
    return source.depth + (source.alpha != nullptr ? 1U : 0U);
}

// The planes the BMHD gives: FORM PBM's readers take 8 alone, whatever the palette's size.
uint32_t file_planes(const Source& source) {
    return source.chunky ? 8 : source.depth;
}

// The BODY's bytes a row: the depth's plane rows, or for a chunky picture a byte a
// pixel padded to even length.
size_t body_row_bytes(const Source& source) {
    return source.chunky ? source.width + (source.width & 1U)
                         : size_t{stored_planes(source)} * row_bytes(source.width);
}

void put_be16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 8U);
    at[1] = static_cast<uint8_t>(value);
}

/* encode_row: row y's plane rows (palette depth d: plane p is index bit p; 24 planes:
 * planes 0..7 red bits 0..7, 8..15 green, 16..23 blue, the reader's order), or a chunky
 * row's indices and a zero pad byte, written at `out` as they are, or built in `row`
 * and packed into `out` (plane row by plane row; a chunky row as one run of bytes).
 * Returns the bytes at `out`. */
size_t encode_row(const Source& source, bool packed, uint32_t y, uint8_t* row, uint8_t* lanes,
                  uint8_t* out) {
    const size_t plane_bytes = row_bytes(source.width);
    const size_t width = source.width;
    const size_t body_row = body_row_bytes(source);
    uint8_t* built = packed ? row : out;
    const uint8_t* in = source.pixels + size_t{y} * width * source.pixel_bytes;
    if (source.chunky) {
        std::memcpy(built, in, width);
        if (body_row > width) {
            built[width] = 0;
        }
    } else if (source.depth == 24) {
        for (size_t x = 0; x < width; ++x) {
            for (size_t c = 0; c < 3; ++c) {
                lanes[c * width + x] =
                    in[x * source.pixel_bytes + (source.pixel_bytes == 1 ? 0 : c)];
            }
        }
        for (uint32_t p = 0; p < 24; ++p) {
            gather_plane(lanes + (p / 8) * width, built + p * plane_bytes, source.width, p % 8);
        }
    } else {
        for (uint32_t p = 0; p < source.depth; ++p) {
            gather_plane(in, built + p * plane_bytes, source.width, p);
        }
    }
    if (source.alpha != nullptr && !source.chunky) {
        // The mask plane: a set bit for a pixel at least half opaque.
        uint8_t* mask = built + size_t{source.depth} * plane_bytes;
        std::memset(mask, 0, plane_bytes);
        const uint8_t* alpha = source.alpha + size_t{y} * width;
        for (size_t x = 0; x < width; ++x) {
            if (alpha[x] >= 128) {
                mask[x / 8] = static_cast<uint8_t>(mask[x / 8] | (0x80U >> (x % 8)));
            }
        }
    }
    if (!packed) {
        return body_row;
    }
    return source.chunky ? pack_chunky_row(built, width, out)
                         : CompactRow(built, out, plane_bytes, stored_planes(source));
}

// A band's scratch for encoding: a row to pack from and the lanes of a 24-bit row.
struct Scratch {
    uint64_t row_size;
    uint64_t lane_size;
    runtime::PoolBlock rows;
    runtime::PoolBlock lanes;
};

// Plans the BODY's rounds (packing may double a row) and takes each band's scratch;
// false without memory.
bool plan_rounds(const Source& source, runtime::RowRounds& rounds, Scratch& scratch) {
    const uint64_t row_raw = body_row_bytes(source);
    scratch.row_size = std::max<uint64_t>(row_raw, 1);
    scratch.lane_size = std::max<uint64_t>(uint64_t{source.width} * 3, 1);
    return rounds.plan(source.height, row_raw, 2 * row_raw) &&
           scratch.rows.allocate(runtime::size_mul(scratch.row_size, rounds.bands())) &&
           scratch.lanes.allocate(runtime::size_mul(scratch.lane_size, rounds.bands()));
}

/* write_body: the BODY chunk, a round of rows at a time. */
int32_t write_body(platform::IFFHandle* iff, const Source& source, bool packed,
                   runtime::RowRounds& rounds, Scratch& scratch) {
    if (const int32_t error = platform::PushChunk(iff, ID_ILBM, ID_BODY, platform::IFFSIZE_UNKNOWN);
        error != 0) {
        return error;
    }
    uint64_t total = 0; // a chunk holds at most 2^31 - 1 bytes
    const bool written = rounds.run(
        [&source](uint32_t top, uint32_t rows) {
            for (uint32_t y = top; y < top + rows; ++y) {
                runtime::report_after_row(y, source.height);
            }
        },
        [&](uint32_t band, uint32_t y, uint8_t* out) {
            return encode_row(source, packed, y, scratch.rows.bytes() + band * scratch.row_size,
                              scratch.lanes.bytes() + band * scratch.lane_size, out);
        },
        [&](std::span<const uint8_t> bytes) {
            total += bytes.size();
            const auto length = static_cast<int32_t>(bytes.size());
            return total <= 0x7FFFFFFF &&
                   platform::WriteChunkBytes(iff, bytes.data(), length) == length;
        });
    if (!written) {
        return kIffChunkWriteFailed;
    }
    runtime::report_progress(100);
    return platform::PopChunk(iff);
}

/* WriteColorMap: 2 to the power Depth entries, red, green, blue from 0x00RRGGBB; `planes`
 * entries, black past the palette's, when the file has more planes than its depth. */
int32_t WriteColorMap(platform::IFFHandle* iff, const IndexedPicture* indexed, uint32_t planes) {
    const size_t known = size_t{1} << std::min<uint32_t>(indexed->Depth, 8);
    const size_t entries = std::max(known, size_t{1} << std::min<uint32_t>(planes, 8));
    runtime::PoolBlock block(entries * 3);
    if (!block) {
        return kOutOfMemory;
    }
    for (size_t i = 0; i < entries; ++i) {
        const uint32_t colour = i < known ? indexed->Palette[i] : 0;
        block.bytes()[3 * i] = static_cast<uint8_t>(colour >> 16U);
        block.bytes()[3 * i + 1] = static_cast<uint8_t>(colour >> 8U);
        block.bytes()[3 * i + 2] = static_cast<uint8_t>(colour);
    }
    const auto length = static_cast<int32_t>(entries * 3);
    return platform::WriteChunkBytes(iff, block.bytes(), length) == length ? kOk
                                                                           : kIffChunkWriteFailed;
}

int32_t write_chunk(platform::IFFHandle* iff, uint32_t id, const uint8_t* data, uint64_t length,
                    int32_t declared) {
    if (const int32_t error = platform::PushChunk(iff, ID_ILBM, id, declared); error != 0) {
        return error;
    }
    if (length > 0x7FFFFFFF || platform::WriteChunkBytes(iff, data, static_cast<int32_t>(length)) !=
                                   static_cast<int32_t>(length)) {
        return kIffChunkWriteFailed;
    }
    return platform::PopChunk(iff);
}

// The whole chunks the host carries for the file (its description), each written as it
// stands; a chunk that runs past the bytes given ends them.
int32_t write_carried(platform::IFFHandle* iff, const OrviExtras* extras) {
    if (extras == nullptr || extras->chunks == nullptr) {
        return kOk;
    }
    runtime::Cursor chunks(extras->chunks, extras->chunks + extras->chunks_size);
    while (chunks.remaining() >= 8) {
        const uint32_t id = chunks.be32();
        const uint32_t size = chunks.be32();
        if (chunks.remaining() < size) {
            break;
        }
        const std::span<const uint8_t> data = chunks.take(size);
        if ((size & 1U) != 0 && chunks.remaining() > 0) {
            chunks.skip(1);
        }
        if (const int32_t code = write_chunk(iff, id, data.data(), size, static_cast<int32_t>(size));
            code != 0) {
            return code;
        }
    }
    return kOk;
}

int32_t write_file(platform::IFFHandle* iff, const Source& source, const uint8_t* bmhd, bool packed,
                   runtime::RowRounds& rounds, Scratch& scratch, const OrviExtras* extras) {
    using namespace platform;
    const uint32_t type = source.chunky ? ID_PBM : ID_ILBM;
    if (const int32_t error = PushChunk(iff, type, ID_FORM, IFFSIZE_UNKNOWN); error != 0) {
        return error;
    }
    if (const int32_t code = write_chunk(iff, ID_BMHD, bmhd, kBmhdBytes, kBmhdBytes); code != 0) {
        return code;
    }
    // A chunky picture is for the PC, whose painters write no Amiga display mode.
    const uint32_t mode = extras != nullptr && extras->has_mode != 0 ? extras->mode : 0;
    const uint8_t camg[4] = {static_cast<uint8_t>(mode >> 24U), static_cast<uint8_t>(mode >> 16U),
                             static_cast<uint8_t>(mode >> 8U), static_cast<uint8_t>(mode)};
    if (!source.chunky) {
        if (const int32_t code = write_chunk(iff, ID_CAMG, camg, 4, IFFSIZE_UNKNOWN); code != 0) {
            return code;
        }
    }
    if (source.depth != 24) {
        if (const int32_t error = PushChunk(iff, ID_ILBM, ID_CMAP, IFFSIZE_UNKNOWN); error != 0) {
            return error;
        }
        if (const int32_t code = WriteColorMap(iff, source.indexed, file_planes(source));
            code != kOk) {
            return code;
        }
        if (const int32_t error = PopChunk(iff); error != 0) {
            return error;
        }
    }
    if (const int32_t code = write_carried(iff, extras); code != kOk) {
        return code;
    }
    if (const int32_t code = write_body(iff, source, packed, rounds, scratch); code != 0) {
        return code;
    }
    return PopChunk(iff);
}

} // namespace

/* IFF_Save: a FORM ILBM of BMHD, CAMG (0), CMAP (palette depths only) and BODY, or with
 * kSaveChunky a FORM PBM of BMHD, CMAP and BODY. The compression byte is SaveMode's low
 * byte (0 plain, else ByteRun1).
 * Codes: kIffBadPlanes an IndexedPicture depth other than 1..8 or 24 (1..8 for FORM PBM, which
 * needs one), kOutOfMemory no memory, kIffNoHandle no IFF
 * handle, kIffCannotOpen the file cannot be created, kIffStreamFailed the IFF stream cannot be
 * opened, kIffChunkWriteFailed a chunk written short, kIffWriteError any other IFF error. Every
 * block and handle is released. */
int32_t IFF_Save(const char* name, CodecRequest* request) {
    using namespace platform;
    request->Pic->Extra = 0;
    const OrviExtras* extras = runtime::wanted_extras();
    const Source source = choose_source(request, extras);
    if (!((source.depth >= 1 && source.depth <= 8) || (source.depth == 24 && !source.chunky))) {
        return kIffBadPlanes;
    }
    const auto compression = static_cast<uint8_t>(request->SaveMode);
    runtime::PoolBlock bmhd(kBmhdBytes);
    runtime::RowRounds rounds;
    Scratch scratch{};
    if (!bmhd || !plan_rounds(source, rounds, scratch)) {
        return kOutOfMemory;
    }
    uint8_t* header = bmhd.bytes();
    put_be16(header, source.width);
    put_be16(header + 2, source.height);
    header[8] = static_cast<uint8_t>(file_planes(source));
    // Masking: a mask plane, or a transparent palette index.
    const bool keyed = extras != nullptr && extras->transparent >= 0 && source.depth <= 8 &&
                       source.alpha == nullptr;
    header[9] = source.alpha != nullptr ? 1 : keyed ? 2 : 0;
    if (keyed) {
        put_be16(header + 12, static_cast<uint32_t>(extras->transparent));
    }
    header[10] = compression;
    const bool aspect = extras != nullptr && extras->aspect_x != 0 && extras->aspect_y != 0;
    header[14] = aspect ? extras->aspect_x : 1;
    header[15] = aspect ? extras->aspect_y : 1;
    put_be16(header + 16, source.width);
    put_be16(header + 18, source.height);

    IFFHandle* iff = AllocIFF();
    if (iff == nullptr) {
        return kIffNoHandle;
    }
    int32_t code = kOk;
    const BPTR file = Open(name, MODE_NEWFILE);
    SetIFFStream(iff, file);
    if (file == 0) {
        code = kIffCannotOpen;
    } else {
        InitIFFasDOS(iff);
        if (OpenIFF(iff, IFFF_WRITE) != 0) {
            code = kIffStreamFailed;
        } else {
            code = write_file(iff, source, header, compression != 0, rounds, scratch, extras);
            CloseIFF(iff);
        }
        Close(file);
    }
    FreeIFF(iff);
    return code < 0 ? kIffWriteError : code;
}

} // namespace ilbm
