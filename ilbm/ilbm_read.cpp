// IFF_Read and ReadBody: an IFF ILBM file, walked with the iffparse stand-in, into a
// 24-bit Picture: palette, extra half-brite, HAM6, HAM8 and 24-plane pictures, plain or
// ByteRun1, with or without a mask plane.
#include <algorithm>
#include <cstring>

#include "ilbm/ilbm_format.h"
#include "platform/dos.h"
#include "runtime/globals.h"
#include "runtime/picture.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace ilbm {
namespace {

// The display mode of the last picture decoded.
uint32_t IFFMode = kModePlain;

struct Chunks {
    Bmhd bmhd{};
    std::span<const uint8_t> cmap;
    const uint8_t* camg = nullptr;
    std::span<const uint8_t> body;
};

bool supported_planes(uint32_t planes) {
    return (planes >= 1 && planes <= 8) || planes == 24;
}

/* ReadBody: plane p of each row gives bit p of the palette index (or bit p mod 8 of
 * red, green, blue for 24 planes); a mask plane is read and dropped. Rows the BODY does
 * not reach in full stay black. Codes: 114 compression above 1, 105 unsupported depth,
 * 117 a packed plane row whose run overruns it (or a zero width), 108 no pixels (a
 * width or height of 0), 7 no row memory. */
int32_t ReadBody(const Chunks& chunks, uint8_t* pixels, const CodecRequest* request) {
    const Bmhd& bmhd = chunks.bmhd;
    if (bmhd.compression > 1) {
        return kIffBadCompression;
    }
    if (!supported_planes(bmhd.planes)) {
        return kIffBadPlanes;
    }
    IFFMode = display_mode(bmhd.planes, chunks.camg, chunks.cmap.size() / 3);
    const uint32_t width = bmhd.width;
    const uint32_t height = bmhd.height;
    const size_t plane_bytes = row_bytes(width);
    if (plane_bytes == 0 && bmhd.compression == 1 && height != 0) {
        return kIffCorruptRuns;
    }
    if (width == 0 || height == 0) {
        return kIffNoPixels; // a picture without pixels is not reported as loaded
    }
    const uint32_t channels = bmhd.planes == 24 ? 3 : 1;
    runtime::PoolBlock row(std::max<size_t>(plane_bytes, 1));
    runtime::PoolBlock lanes(std::max<uint64_t>(uint64_t{width} * channels, 1));
    if (!row || !lanes) {
        return kOutOfMemory;
    }
    const uint32_t plane_count = bmhd.planes + (bmhd.masking == 1 ? 1U : 0U);
    const size_t used_bytes = (size_t{width} + 7) / 8;
    size_t at = 0;
    uint32_t rows = 0;
    bool ended = false;
    for (uint32_t y = 0; y < height && !ended; ++y) {
        std::memset(lanes.bytes(), 0, size_t{width} * channels);
        for (uint32_t p = 0; p < plane_count && !ended; ++p) {
            std::span<const uint8_t> plane;
            if (bmhd.compression == 1) {
                const int64_t used = unpack_row(chunks.body, at, {row.bytes(), plane_bytes});
                if (used < 0) {
                    return kIffCorruptRuns;
                }
                ended = used == 0;
                at += static_cast<size_t>(used);
                plane = {row.bytes(), plane_bytes};
            } else {
                ended = chunks.body.size() - std::min(at, chunks.body.size()) < plane_bytes;
                plane = ended ? std::span<const uint8_t>{} : chunks.body.subspan(at, plane_bytes);
                at += plane_bytes;
            }
            if (!ended && p < bmhd.planes) {
                spread_plane(plane.first(used_bytes), lanes.bytes() + size_t{width} * (p / 8),
                             width, p % 8);
            }
        }
        if (ended) {
            // deliberate: a BODY that ends early leaves this row and the rest black.
            runtime::report_missing_pixels(uint64_t{height - y} * width);
            break;
        }
        uint8_t* out = pixels + size_t{y} * width * 3;
        for (size_t x = 0; x < width; ++x) {
            if (channels == 3) {
                out[3 * x] = lanes.bytes()[x];
                out[3 * x + 1] = lanes.bytes()[width + x];
                out[3 * x + 2] = lanes.bytes()[2 * size_t{width} + x];
            } else {
                out[3 * x + 2] = lanes.bytes()[x];
            }
        }
        rows = y + 1;
        runtime::report_after_row(y, height);
    }
    runtime::report_progress(100);
    if (bmhd.planes != 24) {
        const Palette palette{chunks.cmap.data(), chunks.cmap.size() / 3};
        const size_t count = size_t{rows} * width;
        switch (IFFMode) {
        case kModeHalfBrite:
            half_brite_pass(pixels, count, palette);
            break;
        case kModeHam6:
            ham6_pass(pixels, width, rows, palette);
            break;
        case kModeHam8:
            HAM8_RGB(width, rows, palette, pixels);
            break;
        default: {
            const bool transparency = bmhd.masking == 2 && request->ColorType != 0;
            palette_pass(pixels, count, palette, transparency ? (bmhd.transparent & 0xFF) : -1);
            break;
        }
        }
    }
    return kOk;
}

// A copy of a property's data in a pool block of at least `minimum` bytes (the rest
// zero), or a code: `empty_code` for a property of size 0, 7 without memory.
int32_t copy_property(const platform::StoredProperty* property, runtime::PoolBlock& block,
                      size_t minimum, int32_t empty_code) {
    if (property->sp_Size == 0) {
        return empty_code;
    }
    const auto size = static_cast<size_t>(property->sp_Size);
    if (!block.allocate(std::max(size, minimum))) {
        return kOutOfMemory;
    }
    std::memcpy(block.bytes(), property->sp_Data, std::min(size, std::max(size, minimum)));
    return kOk;
}

// The parse and the chunk copies, between an open IFF stream and its closing.
int32_t parse_and_decode(platform::IFFHandle* iff, Picture* pic, CodecRequest* request,
                         runtime::PoolBlock& pixels) {
    using namespace platform;
    for (const uint32_t id : {ID_BMHD, ID_CAMG, ID_CMAP}) {
        if (const int32_t error = PropChunk(iff, ID_ILBM, id); error != 0) {
            return error;
        }
    }
    if (const int32_t error = StopChunk(iff, ID_ILBM, ID_BODY); error != 0) {
        return error;
    }
    if (const int32_t error = ParseIFF(iff, IFFPARSE_SCAN); error != 0) {
        return error;
    }
    const StoredProperty* bmhd_property = FindProp(iff, ID_ILBM, ID_BMHD);
    if (bmhd_property == nullptr) {
        return kIffNoBmhd;
    }
    // deliberate: a BMHD shorter than 20 bytes or a CAMG shorter than 4 reads the
    // missing bytes as 0.
    runtime::PoolBlock bmhd_block;
    runtime::PoolBlock cmap_block;
    runtime::PoolBlock camg_block;
    runtime::PoolBlock body_block;
    if (!bmhd_block.allocate(kBmhdBytes)) {
        return kOutOfMemory;
    }
    std::memcpy(bmhd_block.bytes(), bmhd_property->sp_Data,
                std::min<size_t>(static_cast<size_t>(bmhd_property->sp_Size), kBmhdBytes));
    Chunks chunks;
    chunks.bmhd = parse_bmhd(std::span<const uint8_t, kBmhdBytes>(bmhd_block.bytes(), kBmhdBytes));
    if (const StoredProperty* cmap = FindProp(iff, ID_ILBM, ID_CMAP)) {
        if (const int32_t code = copy_property(cmap, cmap_block, 0, kIffEmptyCmap); code != kOk) {
            return code;
        }
        chunks.cmap = {cmap_block.bytes(), static_cast<size_t>(cmap->sp_Size)};
    }
    if (const StoredProperty* camg = FindProp(iff, ID_ILBM, ID_CAMG)) {
        if (const int32_t code = copy_property(camg, camg_block, 4, kIffEmptyCamg); code != kOk) {
            return code;
        }
        chunks.camg = camg_block.bytes();
    }
    const Bmhd& bmhd = chunks.bmhd;
    if (const int32_t code = runtime::check_pixel_limit(bmhd.width, bmhd.height); code != kOk) {
        return code;
    }
    if (!pixels.allocate(runtime::size_mul(bmhd.width, bmhd.height, 3))) {
        return kOutOfMemory;
    }
    const ContextNode* body = CurrentChunk(iff);
    if (body == nullptr || body->cn_Size == 0) {
        return kIffEmptyBody;
    }
    if (!body_block.allocate(static_cast<uint64_t>(body->cn_Size))) {
        return kOutOfMemory;
    }
    if (ReadChunkBytes(iff, body_block.bytes(), body->cn_Size) != body->cn_Size) {
        return kIffBodyShort;
    }
    chunks.body = {body_block.bytes(), static_cast<size_t>(body->cn_Size)};
    const int32_t code = ReadBody(chunks, pixels.bytes(), request);
    if (code == kOk) {
        pic->Compression = bmhd.compression;
        pic->Depth = bmhd.planes;
        runtime::deliver_picture(pic, pixels.release(), bmhd.width, bmhd.height, bmhd.planes);
    }
    return code;
}

} // namespace

/* IFF_Read: codes 102 no IFF handle, 109 the file cannot be opened, 110 the IFF stream
 * cannot be opened, 106 no BMHD before the BODY, 104 an empty CMAP, 119 an empty CAMG,
 * 13 above the job's pixel limit, 107 an empty BODY, 103 a BODY read short, 7 no memory, those of
 * ReadBody, and 113 for any error of the IFF walk (not IFF, no BODY, a chunk running past its
 * container). The Picture and DisplayMode are written once, at the end; a failure leaves them
 * cleared. Every handle and block is released on every path. */
int32_t IFF_Read(const char* name, CodecRequest* request) {
    using namespace platform;
    Picture* pic = request->Pic;
    runtime::PoolBlock pixels;
    Picture loaded = *pic;
    int32_t code = kOk;
    IFFHandle* iff = AllocIFF();
    if (iff == nullptr) {
        code = kIffNoHandle;
    } else {
        const BPTR file = Open(name, MODE_OLDFILE);
        SetIFFStream(iff, file);
        if (file == 0) {
            code = kIffCannotOpen;
        } else {
            InitIFFasDOS(iff);
            if (OpenIFF(iff, IFFF_READ) != 0) {
                code = kIffStreamFailed;
            } else {
                code = parse_and_decode(iff, &loaded, request, pixels);
                CloseIFF(iff);
            }
            Close(file);
        }
        FreeIFF(iff);
    }
    if (code == kOk) {
        *pic = loaded;
        pic->Extra = 0;
        request->DisplayMode = IFFMode;
        return kOk;
    }
    runtime::clear_failed_picture(pic);
    request->DisplayMode = 0;
    return code < 0 ? kIffParseError : code;
}

} // namespace ilbm
