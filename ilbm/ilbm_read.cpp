// IFF_Read: an IFF picture, walked with the iffparse stand-in, into a 24-bit Picture:
// FORM ILBM (palette, extra half-brite, HAM6, HAM8, and 24, 32 and 48 planes, plain or
// ByteRun1, with or without a mask plane), FORM ACBM (contiguous planes), FORM PBM
// (chunky) and FORM RGBN and RGB8 (run-length true colour).
#include <algorithm>
#include <array>
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

// The display mode of the picture being decoded: the interface's module global, set by
// the body decoders and cleared at the start of every IFF_Read, so that nothing of an
// earlier call is kept.
uint32_t IFFMode = kModePlain;

struct Chunks {
    Bmhd bmhd{};
    std::span<const uint8_t> cmap;
    const uint8_t* camg = nullptr;
    std::span<const uint8_t> body;
    LineChunks lines; // palettes changing from line to line
};

constexpr uint32_t kCamgLace = 0x4;

// What a load keeps beside the pixels when the host asks: a palette picture's indices
// (one palette for the whole picture: plain or extra half-brite, no line palettes) and
// the opacity a mask plane or a genlock bit gives. Handed over only on success.
struct Kept {
    bool wanted = false;
    runtime::PoolBlock indices;
    runtime::PoolBlock alpha;
    bool past_palette = false; // some index lies past the CMAP
    uint8_t* planes = nullptr;  // an animation's first frame: its plane rows, as DeltaBitmap
};

// A mask plane's row as opacity: a set bit is an opaque pixel.
void mask_row(std::span<const uint8_t> plane, uint8_t* alpha, uint32_t width) {
    for (uint32_t x = 0; x < width && x / 8 < plane.size(); ++x) {
        alpha[x] = (plane[x / 8] & (0x80U >> (x % 8))) != 0 ? 0xFF : 0;
    }
}

// The palette a picture's kept indices take: the CMAP up to the planes' reach, and for
// extra half-brite its 32 colours and their halves.
void kept_palette(const Chunks& chunks, bool past_palette, OrviExtras& extras) {
    const size_t reach = size_t{1} << std::min<uint32_t>(chunks.bmhd.planes, 8);
    const size_t given = chunks.cmap.size() / 3;
    if (IFFMode == kModeHalfBrite) {
        for (size_t i = 0; i < 64; ++i) {
            for (size_t c = 0; c < 3; ++c) {
                const size_t entry = i % 32;
                const uint8_t value = entry < given ? chunks.cmap[3 * entry + c] : 0;
                extras.palette[3 * i + c] = i < 32 ? value : static_cast<uint8_t>(value >> 1U);
            }
        }
        extras.palette_count = 64;
        return;
    }
    const size_t entries = std::min(given, reach);
    if (entries != 0) {
        std::memcpy(extras.palette, chunks.cmap.data(), entries * 3);
    }
    // Indices past the CMAP (or without one) are black: the palette reaches them with
    // black entries.
    extras.palette_count = static_cast<uint32_t>(past_palette || entries == 0 ? reach : entries);
}

bool supported_planes(uint32_t planes) {
    return (planes >= 1 && planes <= 8) || planes == 24 || planes == 32 || planes == 48;
}

// The final colour passes of a palette picture (at most 8 planes), whose pixels hold
// their index in the third byte: palette, extra half-brite, HAM6 or HAM8.
void colour_passes(const Chunks& chunks, const Palette& palette, uint8_t* pixels, uint32_t width,
                   uint32_t rows, const CodecRequest* request) {
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
        const bool transparency = chunks.bmhd.masking == 2 && request->ColorType != 0;
        palette_pass(pixels, count, palette, transparency ? (chunks.bmhd.transparent & 0xFF) : -1);
        break;
    }
    }
}

// How many of `count` codes (one every `stride` bytes, ANDed with `mask`) take a colour
// past the CMAP; nothing to count when the CMAP has an entry for every code.
uint64_t count_past_cmap(const Chunks& chunks, const uint8_t* codes, uint64_t count, size_t stride,
                         uint8_t mask) {
    const size_t entries = chunks.cmap.size() / 3;
    return entries < (size_t{1} << chunks.bmhd.planes)
               ? codes_past_palette(codes, count, stride, mask, IFFMode, entries)
               : 0;
}

// Tells the host what the palettes leave out: pixels past the CMAP, and the rows after
// line palettes that end early.
void report_palette_gaps(uint64_t past_cmap, const LinePalettes& lines, uint32_t height) {
    if (past_cmap != 0) {
        runtime::report_pixels_past_palette(past_cmap);
    }
    if (lines.rows_given(height) < height) {
        runtime::report_short_line_palettes(lines.rows_given(height));
    }
}

// The line palettes of a FORM, with room from the pool for a packed PCHG; kOutOfMemory without it.
int32_t start_lines(const Chunks& chunks, LinePalettes& lines, runtime::PoolBlock& unpacked) {
    const size_t needed = LinePalettes::pchg_bytes_needed(chunks.lines.pchg);
    if (needed != 0 && !unpacked.allocate(needed)) {
        return kOutOfMemory;
    }
    const bool lace = chunks.camg != nullptr && (chunks.camg[3] & kCamgLace) != 0;
    lines.start(chunks.cmap, chunks.lines, chunks.bmhd.height, lace,
                {needed != 0 ? unpacked.bytes() : nullptr, needed});
    return kOk;
}

// Colours `rows` rows of a palette picture whose indices lie in their pixels' third
// bytes: with one palette, or with the palette of each row when the FORM changes it line
// by line. Extra half-brite then takes its darker half from the CMAP, as the peers do.
void colour_rows(const Chunks& chunks, uint8_t* pixels, uint32_t width, uint32_t rows,
                 uint32_t first_row, LinePalettes* lines, const CodecRequest* request) {
    const Palette base{chunks.cmap.data(), chunks.cmap.size() / 3};
    if (lines == nullptr || !lines->active()) {
        colour_passes(chunks, base, pixels, width, rows, request);
        return;
    }
    std::array<uint8_t, 64 * 3> half_brite{};
    for (uint32_t y = 0; y < rows; ++y) {
        Palette palette = lines->at_row(first_row + y);
        uint8_t* row = pixels + size_t{y} * width * 3;
        if (IFFMode == kModeHalfBrite) {
            // Entries 0-31 as they are now, 32-63 the CMAP's first 32 halved.
            for (size_t entry = 0; entry < 64; ++entry) {
                const Palette& from = entry < 32 ? palette : base;
                const size_t source = entry % 32;
                for (size_t c = 0; c < 3; ++c) {
                    const uint8_t value = source < from.entries ? from.cmap[3 * source + c] : 0;
                    half_brite[3 * entry + c] =
                        entry < 32 ? value : static_cast<uint8_t>(value >> 1U);
                }
            }
            palette_pass(row, width, {half_brite.data(), 64}, -1);
            continue;
        }
        colour_passes(chunks, palette, row, width, 1, request);
    }
}

// Where the plane rows of a planar picture come from: an ILBM BODY holds one row of
// every plane (and the mask) a scanline, in order, plain or ByteRun1; an ACBM ABIT holds
// every row of plane 0, then of plane 1, and so on, plain.
class PlaneRows {
public:
    PlaneRows(const Chunks& chunks, bool contiguous, std::span<uint8_t> scratch)
        : data_(chunks.body), packed_(!contiguous && chunks.bmhd.compression == 1),
          contiguous_(contiguous), height_(chunks.bmhd.height), scratch_(scratch) {}

    enum class Got { row, ended, corrupt };
    // Plane `p` of row `y`, asked for in order (every plane of a row, then the next row).
    Got next(uint32_t y, uint32_t p, std::span<const uint8_t>& plane) {
        const size_t bytes = scratch_.size();
        if (contiguous_) {
            const uint64_t offset = (uint64_t{p} * height_ + y) * bytes;
            if (offset + bytes > data_.size()) {
                return Got::ended;
            }
            plane = data_.subspan(offset, bytes);
            return Got::row;
        }
        if (packed_) {
            const int64_t used = unpack_row(data_, at_, scratch_);
            if (used < 0) {
                return Got::corrupt;
            }
            at_ += static_cast<size_t>(used);
            plane = scratch_;
            return used == 0 ? Got::ended : Got::row;
        }
        const bool ended = data_.size() - std::min(at_, data_.size()) < bytes;
        plane = ended ? std::span<const uint8_t>{} : data_.subspan(at_, bytes);
        at_ += bytes;
        return ended ? Got::ended : Got::row;
    }

private:
    std::span<const uint8_t> data_;
    bool packed_;
    bool contiguous_;
    uint32_t height_;
    std::span<uint8_t> scratch_;
    size_t at_ = 0;
};

// One row of a deep picture from its byte lanes (eight planes a lane): 24 planes are
// red, green, blue; 32 add alpha, composed onto black; 48 are 16 bits a channel, the
// first lane of each the high byte, scaled to 8 bits as a 16-bit PNM sample is.
void deep_row(const uint8_t* lanes, uint32_t planes, uint32_t width, uint8_t* out) {
    for (size_t x = 0; x < width; ++x) {
        for (size_t c = 0; c < 3; ++c) {
            if (planes == 48) {
                const uint32_t value =
                    uint32_t{lanes[2 * c * width + x]} << 8U | lanes[(2 * c + 1) * width + x];
                out[3 * x + c] = static_cast<uint8_t>(value * 255 / 65535);
            } else if (planes == 32) {
                const uint32_t alpha = lanes[3 * size_t{width} + x];
                out[3 * x + c] = static_cast<uint8_t>((lanes[c * width + x] * alpha + 127) / 255);
            } else {
                out[3 * x + c] = lanes[c * width + x];
            }
        }
    }
}

/* ReadBody: plane p of each row gives bit p of the palette index (or, in deep pictures,
 * bit p mod 8 of byte lane p / 8); a mask plane is read and dropped. Rows the data does
 * not reach in full stay black. ACBM's contiguous planes are read as stored, whatever the
 * compression byte says. Codes: kIffBadCompression compression above 1, kIffBadPlanes unsupported
 * depth, kIffCorruptRuns a packed plane row whose run overruns it (or a zero width), kIffNoPixels
 * no pixels (a width or height of 0), kOutOfMemory no row memory. */
int32_t ReadBody(const Chunks& chunks, uint8_t* pixels, const CodecRequest* request,
                 bool contiguous, Kept* kept) {
    const Bmhd& bmhd = chunks.bmhd;
    if (bmhd.compression > 1 && !contiguous) {
        return kIffBadCompression;
    }
    if (!supported_planes(bmhd.planes)) {
        return kIffBadPlanes;
    }
    IFFMode = display_mode(bmhd.planes, chunks.camg, chunks.cmap.size() / 3);
    const uint32_t width = bmhd.width;
    const uint32_t height = bmhd.height;
    const size_t plane_bytes = row_bytes(width);
    if (plane_bytes == 0 && bmhd.compression == 1 && !contiguous && height != 0) {
        return kIffCorruptRuns;
    }
    if (width == 0 || height == 0) {
        return kIffNoPixels; // a picture without pixels is not reported as loaded
    }
    const uint32_t channels = bmhd.planes <= 8 ? 1 : bmhd.planes / 8;
    runtime::PoolBlock row(std::max<size_t>(plane_bytes, 1));
    runtime::PoolBlock lanes(std::max<uint64_t>(uint64_t{width} * channels, 1));
    if (!row || !lanes) {
        return kOutOfMemory;
    }
    const bool mask_kept = kept->wanted && bmhd.masking == 1 && !contiguous;
    if (mask_kept && !kept->alpha.allocate(runtime::size_mul(width, height))) {
        return kOutOfMemory;
    }
    // A palette picture's line palettes, known before its rows: with them no single
    // palette holds its colours, and its indices are not kept.
    LinePalettes lines;
    runtime::PoolBlock unpacked;
    if (bmhd.planes <= 8) {
        if (const int32_t code = start_lines(chunks, lines, unpacked); code != kOk) {
            return code;
        }
    }
    const bool indices_kept = kept->wanted && bmhd.planes <= 8 && !lines.active() &&
                              (IFFMode == kModePlain || IFFMode == kModeHalfBrite);
    if (indices_kept && !kept->indices.allocate(runtime::size_mul(width, height))) {
        return kOutOfMemory;
    }
    PlaneRows source(chunks, contiguous, {row.bytes(), plane_bytes});
    // The mask row is read past in a BODY; contiguous planes need only the colour planes.
    const uint32_t plane_count = bmhd.planes + (bmhd.masking == 1 && !contiguous ? 1U : 0U);
    const size_t used_bytes = (size_t{width} + 7) / 8;
    uint32_t rows = 0;
    bool ended = false;
    for (uint32_t y = 0; y < height && !ended; ++y) {
        std::memset(lanes.bytes(), 0, size_t{width} * channels);
        for (uint32_t p = 0; p < plane_count && !ended; ++p) {
            std::span<const uint8_t> plane;
            const PlaneRows::Got got = source.next(y, p, plane);
            if (got == PlaneRows::Got::corrupt) {
                return kIffCorruptRuns;
            }
            ended = got == PlaneRows::Got::ended;
            if (!ended && p < bmhd.planes && kept->planes != nullptr) {
                std::memcpy(kept->planes + (size_t{y} * bmhd.planes + p) * plane_bytes,
                            plane.data(), plane_bytes);
            }
            if (!ended && p < bmhd.planes) {
                spread_plane(plane.first(used_bytes), lanes.bytes() + size_t{width} * (p / 8),
                             width, p % 8);
            } else if (!ended && mask_kept) {
                mask_row(plane, kept->alpha.bytes() + size_t{y} * width, width);
            }
        }
        if (ended) {
            // deliberate: a BODY that ends early leaves this row and the rest black.
            runtime::report_missing_pixels(uint64_t{height - y} * width);
            break;
        }
        uint8_t* out = pixels + size_t{y} * width * 3;
        if (channels == 1) {
            for (size_t x = 0; x < width; ++x) {
                out[3 * x + 2] = lanes.bytes()[x];
            }
            if (indices_kept) {
                std::memcpy(kept->indices.bytes() + size_t{y} * width, lanes.bytes(), width);
            }
        } else {
            deep_row(lanes.bytes(), bmhd.planes, width, out);
        }
        rows = y + 1;
        runtime::report_after_row(y, height);
    }
    runtime::report_progress(100);
    if (bmhd.planes <= 8) {
        const uint64_t past_cmap =
            count_past_cmap(chunks, pixels + 2, uint64_t{rows} * width, 3, 0xFF);
        kept->past_palette = past_cmap != 0;
        colour_rows(chunks, pixels, width, rows, 0, &lines, request);
        report_palette_gaps(past_cmap, lines, rows);
    }
    return kOk;
}

/* ReadChunky: FORM PBM, a byte a pixel (its index, masked to the planes), rows padded to
 * even length, plain or ByteRun1 a row, each row then coloured as a palette picture is.
 * Codes: kIffBadCompression compression above 1, kIffBadPlanes planes outside 1..8, kIffNoPixels no
 * pixels, kIffCorruptRuns a run overrunning its row, kOutOfMemory no row memory. */
int32_t ReadChunky(const Chunks& chunks, uint8_t* pixels, const CodecRequest* request,
                   Kept* kept) {
    const Bmhd& bmhd = chunks.bmhd;
    if (bmhd.compression > 1) {
        return kIffBadCompression;
    }
    if (bmhd.planes < 1 || bmhd.planes > 8) {
        return kIffBadPlanes;
    }
    IFFMode = display_mode(bmhd.planes, chunks.camg, chunks.cmap.size() / 3);
    const uint32_t width = bmhd.width;
    const uint32_t height = bmhd.height;
    if (width == 0 || height == 0) {
        return kIffNoPixels;
    }
    const size_t row_size = size_t{width} + (width & 1U);
    runtime::PoolBlock row(row_size);
    if (!row) {
        return kOutOfMemory;
    }
    const auto mask = static_cast<uint8_t>((1U << bmhd.planes) - 1U);
    // A plain palette picture (every 8-bit file from the PC) is coloured straight from
    // its indices through the table the palette pass would use.
    LinePalettes lines;
    runtime::PoolBlock unpacked;
    if (const int32_t code = start_lines(chunks, lines, unpacked); code != kOk) {
        return code;
    }
    const bool plain = IFFMode == kModePlain && !lines.active();
    const bool indices_kept = kept->wanted && !lines.active() &&
                              (IFFMode == kModePlain || IFFMode == kModeHalfBrite);
    if (indices_kept && !kept->indices.allocate(runtime::size_mul(width, height))) {
        return kOutOfMemory;
    }
    const bool transparency = bmhd.masking == 2 && request->ColorType != 0;
    const ColourTable by_index = colour_table({chunks.cmap.data(), chunks.cmap.size() / 3},
                                              transparency ? (bmhd.transparent & 0xFF) : -1);
    ColourTable colours{}; // by the byte as stored: its index is its low `planes` bits
    for (uint32_t b = 0; b < 256; ++b) {
        std::memcpy(colours.data() + 4 * b, by_index.data() + 4 * (b & mask), 4);
    }
    size_t at = 0;
    uint64_t past_cmap = 0;
    uint32_t rows = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* indices = nullptr;
        if (bmhd.compression == 1) {
            const int64_t used = unpack_row(chunks.body, at, {row.bytes(), row_size});
            if (used < 0) {
                return kIffCorruptRuns;
            }
            at += static_cast<size_t>(used);
            indices = used == 0 ? nullptr : row.bytes();
        } else if (chunks.body.size() - std::min(at, chunks.body.size()) >= row_size) {
            indices = chunks.body.data() + at;
            at += row_size;
        }
        if (indices == nullptr) {
            runtime::report_missing_pixels(uint64_t{height - y} * width);
            break;
        }
        uint8_t* out = pixels + size_t{y} * width * 3;
        if (indices_kept) {
            uint8_t* kept_row = kept->indices.bytes() + size_t{y} * width;
            for (size_t x = 0; x < width; ++x) {
                kept_row[x] = indices[x] & mask;
            }
        }
        past_cmap += count_past_cmap(chunks, indices, width, 1, mask);
        rows = y + 1;
        if (plain) {
            colour_row(indices, out, width, colours);
        } else {
            for (size_t x = 0; x < width; ++x) {
                out[3 * x + 2] = indices[x] & mask;
            }
            // Each row is coloured while it is at hand: every pass treats rows alike.
            colour_rows(chunks, out, width, 1, y, &lines, request);
        }
        runtime::report_after_row(y, height);
    }
    runtime::report_progress(100);
    report_palette_gaps(past_cmap, lines, rows);
    kept->past_palette = past_cmap != 0;
    return kOk;
}

/* ReadRuns: FORM RGBN (13 planes: a word of 4-bit red, green, blue, the genlock bit and
 * a 3-bit count) or RGB8 (25 planes: red, green, blue bytes and a byte of genlock and a
 * 7-bit count), compression 4. A count of 0 is followed by a byte count, and when that
 * is 0 too by a word count; a word count of 0 ends the data. Runs carry on across rows;
 * the genlock bit (a pixel showing the video underneath) is kept as its transparency when
 * the host asks. Codes: kIffBadCompression compression other than 4, kIffBadPlanes
 * other planes, kIffNoPixels no pixels. */
int32_t ReadRuns(const Chunks& chunks, bool rgbn, uint8_t* pixels, Kept* kept) {
    const Bmhd& bmhd = chunks.bmhd;
    if (bmhd.compression != 4) {
        return kIffBadCompression;
    }
    if (bmhd.planes != (rgbn ? 13 : 25)) {
        return kIffBadPlanes;
    }
    IFFMode = kModePlain;
    if (bmhd.width == 0 || bmhd.height == 0) {
        return kIffNoPixels;
    }
    const uint64_t total = uint64_t{bmhd.width} * bmhd.height;
    if (kept->wanted && !kept->alpha.allocate(total)) {
        return kOutOfMemory;
    }
    uint8_t* const alpha = kept->alpha.bytes();
    const std::span<const uint8_t> data = chunks.body;
    const size_t entry = rgbn ? 2 : 4;
    uint64_t done = 0;
    size_t at = 0;
    while (done < total && data.size() - std::min(at, data.size()) >= entry) {
        const uint8_t* e = data.data() + at;
        at += entry;
        std::array<uint8_t, 3> rgb{};
        uint32_t count = 0;
        const bool genlock = rgbn ? (e[1] & 8U) != 0 : (e[3] & 128U) != 0;
        if (rgbn) {
            rgb = {static_cast<uint8_t>((e[0] >> 4U) * 17), static_cast<uint8_t>((e[0] & 15U) * 17),
                   static_cast<uint8_t>((e[1] >> 4U) * 17)};
            count = e[1] & 7U;
        } else {
            rgb = {e[0], e[1], e[2]};
            count = e[3] & 127U;
        }
        if (count == 0 && at < data.size()) {
            count = data[at++];
            if (count == 0 && data.size() - at >= 2) {
                count = uint32_t{data[at]} << 8U | data[at + 1];
                at += 2;
            }
        }
        if (count == 0) {
            break; // no count: the data ends here
        }
        const uint64_t run = std::min<uint64_t>(count, total - done);
        for (uint64_t i = 0; i < run; ++i) {
            std::memcpy(pixels + 3 * (done + i), rgb.data(), 3);
        }
        if (alpha != nullptr) {
            std::memset(alpha + done, genlock ? 0 : 0xFF, run);
        }
        const uint32_t row_before = static_cast<uint32_t>(done / bmhd.width);
        done += run;
        if (done / bmhd.width != row_before) {
            runtime::report_after_row(static_cast<uint32_t>(done / bmhd.width) - 1, bmhd.height);
        }
    }
    if (done < total) {
        runtime::report_missing_pixels(total - done);
    }
    // A genlock bit that no pixel sets says nothing.
    if (alpha != nullptr && std::find(alpha, alpha + done, 0) == alpha + done) {
        kept->alpha.reset();
    }
    runtime::report_progress(100);
    return kOk;
}

// The pixels of a picture FORM of type `type` from its chunks.
int32_t ReadForm(uint32_t type, const Chunks& chunks, uint8_t* pixels, const CodecRequest* request,
                 Kept* kept) {
    switch (type) {
    case ID_PBM:
        return ReadChunky(chunks, pixels, request, kept);
    case ID_RGBN:
    case ID_RGB8:
        return ReadRuns(chunks, type == ID_RGBN, pixels, kept);
    default:
        return ReadBody(chunks, pixels, request, type == ID_ACBM, kept);
    }
}

// A copy of a property's data in a pool block of at least `minimum` bytes (the rest
// zero), or a code: `empty_code` for a property of size 0, kOutOfMemory without memory.
int32_t copy_property(const platform::StoredProperty* property, runtime::PoolBlock& block,
                      size_t minimum, int32_t empty_code) {
    if (property->sp_Size == 0) {
        return empty_code;
    }
    const auto size = static_cast<size_t>(property->sp_Size);
    if (!block.allocate(std::max(size, minimum))) {
        return kOutOfMemory;
    }
    std::memcpy(block.bytes(), property->sp_Data, size);
    return kOk;
}

// The chunk the parse stopped at, copied whole into `block`: kIffEmptyBody when empty,
// kIffBodyShort read short, kOutOfMemory without memory.
int32_t read_pixel_chunk(platform::IFFHandle* iff, runtime::PoolBlock& block,
                         std::span<const uint8_t>& bytes) {
    const platform::ContextNode* body = platform::CurrentChunk(iff);
    if (body == nullptr || body->cn_Size == 0) {
        return kIffEmptyBody;
    }
    if (!block.allocate(static_cast<uint64_t>(body->cn_Size))) {
        return kOutOfMemory;
    }
    if (platform::ReadChunkBytes(iff, block.bytes(), body->cn_Size) != body->cn_Size) {
        return kIffBodyShort;
    }
    bytes = {block.bytes(), static_cast<size_t>(body->cn_Size)};
    return kOk;
}

/* ReadDeep: FORM DEEP's chunks into a 24-bit Picture; codes those of deep_layout, kTooManyPixels
 * above the pixel limit, kIffNoPixels no pixels, kIffEmptyBody/kIffBodyShort of the DBOD,
 * kOutOfMemory no memory. Rows DBOD does not fill stay black. */
int32_t ReadDeep(platform::IFFHandle* iff, uint32_t form, Picture* pic,
                 runtime::PoolBlock& pixels) {
    runtime::PoolBlock blocks[4];
    std::span<const uint8_t> spans[4];
    const uint32_t ids[4] = {ID_DGBL, ID_DPEL, ID_DLOC, ID_TVDC};
    for (size_t i = 0; i < 4; ++i) {
        const platform::StoredProperty* found = platform::FindProp(iff, form, ids[i]);
        if (found != nullptr && found->sp_Size > 0) {
            if (const int32_t code = copy_property(found, blocks[i], 0, kOk); code != kOk) {
                return code;
            }
            spans[i] = {blocks[i].bytes(), static_cast<size_t>(found->sp_Size)};
        }
    }
    DeepLayout layout;
    if (const int32_t code = deep_layout(spans[0], spans[1], spans[2], layout); code != kOk) {
        return code;
    }
    if (const int32_t code = runtime::check_pixel_limit(layout.width, layout.height); code != kOk) {
        return code;
    }
    if (layout.width == 0 || layout.height == 0) {
        return kIffNoPixels;
    }
    runtime::PoolBlock body;
    std::span<const uint8_t> body_bytes;
    runtime::PoolBlock raw(runtime::size_mul(layout.width, layout.pixel_bytes, 1));
    if (!raw || !pixels.allocate(runtime::size_mul(layout.width, layout.height, 3))) {
        return kOutOfMemory;
    }
    if (const int32_t code = read_pixel_chunk(iff, body, body_bytes); code != kOk) {
        return code;
    }
    IFFMode = kModePlain;
    const uint32_t rows = decode_deep(layout, body_bytes, spans[3], raw.bytes(), pixels.bytes());
    if (rows < layout.height) {
        runtime::report_missing_pixels(uint64_t{layout.height - rows} * layout.width);
    }
    runtime::report_progress(100);
    const auto bits = static_cast<uint32_t>(layout.pixel_bytes * 8);
    pic->Compression = layout.compression;
    pic->Depth = bits;
    runtime::deliver_picture(pic, pixels.release(), layout.width, layout.height, bits);
    return kOk;
}

// What a decoded palette picture hands over beside its pixels, and the pixels themselves.
int32_t hand_over(const Chunks& chunks, Kept& kept, Picture* pic, runtime::PoolBlock& pixels) {
    const Bmhd& bmhd = chunks.bmhd;
    if (OrviExtras* extras = runtime::wanted_extras(); extras != nullptr) {
        if (kept.indices) {
            kept_palette(chunks, kept.past_palette, *extras);
            // A transparent colour the palette does not reach makes no pixel transparent.
            extras->transparent = bmhd.masking == 2 && bmhd.transparent < extras->palette_count
                                      ? static_cast<int32_t>(bmhd.transparent)
                                      : -1;
            extras->indices = kept.indices.release();
        }
        extras->alpha = kept.alpha.release();
    }
    pic->Compression = bmhd.compression;
    pic->Depth = bmhd.planes;
    runtime::deliver_picture(pic, pixels.release(), bmhd.width, bmhd.height, bmhd.planes);
    return kOk;
}

// An ANHD of 40 bytes (a shorter one read as if zero-filled): its operation, bits and
// interleave.
struct Anhd {
    uint32_t operation = 0;
    uint32_t bits = 0;
    uint32_t interleave = 0;
};
Anhd parse_anhd(const platform::StoredProperty* property) {
    std::array<uint8_t, 40> raw{};
    if (property != nullptr) {
        std::memcpy(raw.data(), property->sp_Data,
                    std::min<size_t>(static_cast<size_t>(property->sp_Size), raw.size()));
    }
    runtime::Cursor cursor(raw);
    Anhd anhd;
    anhd.operation = cursor.next();
    cursor.skip(17);
    anhd.interleave = cursor.next();
    cursor.skip(1);
    anhd.bits = cursor.be32();
    return anhd;
}

/* The first frame of an animation: a whole ILBM picture of 1 to 8 planes, whose planes
 * become both of the frames the first deltas change, and whose BMHD, CAMG and CMAP hold
 * for the frames after it. Codes: kIffAnimFirstFrame another kind of picture, kOutOfMemory. */
int32_t start_animation(uint32_t form, const Chunks& chunks, runtime::PoolBlock (&bitmaps)[2]) {
    const Bmhd& bmhd = chunks.bmhd;
    if (form != ID_ILBM || bmhd.planes < 1 || bmhd.planes > 8 || bmhd.compression > 1) {
        return kIffAnimFirstFrame;
    }
    const uint64_t size = runtime::size_mul(bmhd.height, bmhd.planes, row_bytes(bmhd.width));
    for (runtime::PoolBlock& bitmap : bitmaps) {
        if (!bitmap.allocate(std::max<uint64_t>(size, 1))) {
            return kOutOfMemory;
        }
    }
    return kOk;
}

// The state a first frame leaves for the frames after it.
void keep_first_frame(const Chunks& chunks, std::span<const uint8_t> bmhd,
                      runtime::PoolBlock (&bitmaps)[2], OrviFrames& frames) {
    frames.bitmap_size = runtime::size_mul(chunks.bmhd.height, chunks.bmhd.planes,
                                           row_bytes(chunks.bmhd.width));
    std::memcpy(bitmaps[1].bytes(), bitmaps[0].bytes(), frames.bitmap_size);
    frames.bitmaps[0] = bitmaps[0].release();
    frames.bitmaps[1] = bitmaps[1].release();
    std::memcpy(frames.bmhd, bmhd.data(), kBmhdBytes);
    frames.has_camg = chunks.camg != nullptr ? 1 : 0;
    if (chunks.camg != nullptr) {
        std::memcpy(frames.camg, chunks.camg, 4);
    }
    frames.cmap_size = static_cast<uint32_t>(std::min<size_t>(chunks.cmap.size(), 768));
    std::memcpy(frames.cmap, chunks.cmap.data(), frames.cmap_size);
    frames.ready = 1;
}

/* A later frame of an animation: its ANHD and DLTA (and a CMAP that changes the palette
 * from this frame on) change the frame `interleave` back (0 means 2), which is then drawn
 * as an uncompressed BODY of the first frame's BMHD. Codes: kIffNoAnhd no ANHD,
 * kIffAnimOperation an operation or interleave not read, kIffDeltaDamaged a DLTA cut short,
 * empty or pointing outside itself, kIffDeltaOutside one writing outside the frame, and
 * those of ReadBody. */
int32_t read_delta_frame(platform::IFFHandle* iff, Picture* pic, CodecRequest* request,
                         runtime::PoolBlock& pixels, OrviFrames& frames) {
    using namespace platform;
    for (const uint32_t id : {ID_ANHD, ID_CMAP}) {
        if (const int32_t error = PropChunk(iff, ID_ILBM, id); error != 0) {
            return error;
        }
    }
    if (const int32_t error = StopChunk(iff, ID_ILBM, ID_DLTA); error != 0) {
        return error;
    }
    if (const int32_t error = ParseIFF(iff, IFFPARSE_SCAN); error != 0) {
        return error;
    }
    const StoredProperty* anhd_property = FindProp(iff, ID_ILBM, ID_ANHD);
    if (anhd_property == nullptr) {
        return kIffNoAnhd;
    }
    const Anhd anhd = parse_anhd(anhd_property);
    const uint32_t interleave = anhd.interleave == 0 ? 2 : anhd.interleave;
    if (!delta_operation_read(anhd.operation) || interleave > 2) {
        return kIffAnimOperation;
    }
    runtime::PoolBlock dlta_block;
    std::span<const uint8_t> dlta;
    if (const int32_t code = read_pixel_chunk(iff, dlta_block, dlta); code != kOk) {
        return code == kOutOfMemory ? code : kIffDeltaDamaged;
    }
    Chunks chunks;
    chunks.bmhd = parse_bmhd(std::span<const uint8_t, kBmhdBytes>(frames.bmhd, kBmhdBytes));
    const Bmhd& bmhd = chunks.bmhd;
    uint8_t* target = frames.bitmaps[frames.frame % 2];
    if (interleave == 1) {
        std::memcpy(target, frames.bitmaps[(frames.frame + 1) % 2], frames.bitmap_size);
    }
    const DeltaBitmap bitmap{target, static_cast<uint32_t>(row_bytes(bmhd.width)), bmhd.height,
                             bmhd.planes};
    switch (apply_delta(anhd.operation, anhd.bits, dlta, bitmap)) {
    case DeltaResult::damaged:
        return kIffDeltaDamaged;
    case DeltaResult::outside:
        return kIffDeltaOutside;
    case DeltaResult::done:
        break;
    }
    if (const StoredProperty* cmap = FindProp(iff, ID_ILBM, ID_CMAP);
        cmap != nullptr && cmap->sp_Size > 0) {
        frames.cmap_size = static_cast<uint32_t>(std::min<int64_t>(cmap->sp_Size, 768));
        std::memcpy(frames.cmap, cmap->sp_Data, frames.cmap_size);
    }
    // The frame's planes as a BODY: plain, and without the mask plane, which is not kept.
    chunks.bmhd.compression = 0;
    chunks.bmhd.masking = bmhd.masking == 1 ? 0 : bmhd.masking;
    chunks.cmap = {frames.cmap, frames.cmap_size};
    chunks.camg = frames.has_camg != 0 ? frames.camg : nullptr;
    chunks.body = {target, static_cast<size_t>(frames.bitmap_size)};
    if (!pixels.allocate(runtime::size_mul(bmhd.width, bmhd.height, 3))) {
        return kOutOfMemory;
    }
    Kept kept;
    kept.wanted = runtime::wanted_extras() != nullptr;
    if (const int32_t code = ReadBody(chunks, pixels.bytes(), request, false, &kept); code != kOk) {
        return code;
    }
    chunks.bmhd.compression = bmhd.compression;
    return hand_over(chunks, kept, pic, pixels);
}

// The parse and the chunk copies, between an open IFF stream and its closing.
int32_t parse_and_decode(platform::IFFHandle* iff, Picture* pic, CodecRequest* request,
                         runtime::PoolBlock& pixels) {
    using namespace platform;
    OrviFrames* frames = runtime::animation_frames();
    if (frames != nullptr && frames->ready != 0) {
        return read_delta_frame(iff, pic, request, pixels, *frames);
    }
    for (const uint32_t form : kPictureForms) {
        for (const uint32_t id : {ID_BMHD, ID_CAMG, ID_CMAP}) {
            if (const int32_t error = PropChunk(iff, form, id); error != 0) {
                return error;
            }
        }
        if (const int32_t error = StopChunk(iff, form, pixel_chunk(form)); error != 0) {
            return error;
        }
    }
    for (const uint32_t id : {ID_PCHG, ID_SHAM, ID_CTBL}) {
        if (const int32_t error = PropChunk(iff, ID_ILBM, id); error != 0) {
            return error;
        }
    }
    for (const uint32_t form : {ID_DEEP, ID_TVPP}) {
        for (const uint32_t id : {ID_DGBL, ID_DPEL, ID_DLOC, ID_TVDC}) {
            if (const int32_t error = PropChunk(iff, form, id); error != 0) {
                return error;
            }
        }
    }
    if (const int32_t error = ParseIFF(iff, IFFPARSE_SCAN); error != 0) {
        return error;
    }
    const uint32_t form = CurrentChunk(iff)->cn_Type;
    if (is_deep_form(form)) {
        return ReadDeep(iff, form, pic, pixels);
    }
    const StoredProperty* bmhd_property = FindProp(iff, form, ID_BMHD);
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
    if (const StoredProperty* cmap = FindProp(iff, form, ID_CMAP)) {
        if (const int32_t code = copy_property(cmap, cmap_block, 0, kIffEmptyCmap); code != kOk) {
            return code;
        }
        chunks.cmap = {cmap_block.bytes(), static_cast<size_t>(cmap->sp_Size)};
    }
    if (const StoredProperty* camg = FindProp(iff, form, ID_CAMG)) {
        if (const int32_t code = copy_property(camg, camg_block, 4, kIffEmptyCamg); code != kOk) {
            return code;
        }
        chunks.camg = camg_block.bytes();
    }
    // Line palettes of an ILBM (copied whole; an empty one counts as none).
    runtime::PoolBlock line_blocks[3];
    std::span<const uint8_t>* const line_spans[3] = {&chunks.lines.pchg, &chunks.lines.sham,
                                                     &chunks.lines.ctbl};
    const uint32_t line_ids[3] = {ID_PCHG, ID_SHAM, ID_CTBL};
    for (size_t i = 0; i < 3; ++i) {
        const StoredProperty* found = form == ID_ILBM ? FindProp(iff, form, line_ids[i]) : nullptr;
        if (found != nullptr && found->sp_Size > 0) {
            if (const int32_t code = copy_property(found, line_blocks[i], 0, kOk); code != kOk) {
                return code;
            }
            *line_spans[i] = {line_blocks[i].bytes(), static_cast<size_t>(found->sp_Size)};
        }
    }
    const Bmhd& bmhd = chunks.bmhd;
    if (const int32_t code = runtime::check_pixel_limit(bmhd.width, bmhd.height); code != kOk) {
        return code;
    }
    if (!pixels.allocate(runtime::size_mul(bmhd.width, bmhd.height, 3))) {
        return kOutOfMemory;
    }
    if (const int32_t code = read_pixel_chunk(iff, body_block, chunks.body); code != kOk) {
        return code;
    }
    Kept kept;
    kept.wanted = runtime::wanted_extras() != nullptr;
    runtime::PoolBlock bitmaps[2];
    if (frames != nullptr) {
        if (const int32_t code = start_animation(form, chunks, bitmaps); code != kOk) {
            return code;
        }
        kept.planes = bitmaps[0].bytes();
    }
    if (const int32_t code = ReadForm(form, chunks, pixels.bytes(), request, &kept); code != kOk) {
        return code;
    }
    if (frames != nullptr) {
        keep_first_frame(chunks, {bmhd_block.bytes(), kBmhdBytes}, bitmaps, *frames);
    }
    return hand_over(chunks, kept, pic, pixels);
}

} // namespace

/* IFF_Read: codes kIffNoHandle no IFF handle, kIffCannotOpen the file cannot be opened,
 * kIffStreamFailed the IFF stream cannot be opened, kIffNoBmhd no BMHD before the BODY (or ABIT),
 * kIffEmptyCmap an empty CMAP, kIffEmptyCamg an empty CAMG, kTooManyPixels above the job's pixel
 * limit, kIffEmptyBody an empty BODY, kIffBodyShort a BODY read short, kOutOfMemory no memory,
 * those of ReadBody, ReadChunky and ReadRuns, and kIffParseError for any error of the IFF walk (not
 * IFF, no BODY, a chunk running past its container). The Picture and DisplayMode are written once,
 * at the end; a failure leaves them cleared. Every handle and block is released on every path. */
int32_t IFF_Read(const char* name, CodecRequest* request) {
    using namespace platform;
    Picture* pic = request->Pic;
    IFFMode = kModePlain;
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
