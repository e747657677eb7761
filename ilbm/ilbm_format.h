// The IFF ILBM format: BMHD, CMAP, CAMG and BODY, ByteRun1, bit planes and display
// modes, and the pure pieces the reader and writer are built from. Private to the ilbm
// module.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"
#include "runtime/records.h"

namespace ilbm {

[[nodiscard]] int32_t IFF_Read(const char* name, CodecRequest* request);
[[nodiscard]] int32_t IFF_Save(const char* name, CodecRequest* request);

// Unpacks one ByteRun1 plane row of out.size() bytes from `packed` starting at `at`.
// Returns the bytes consumed, 0 when the packed data ends before the row is full, or
// -1 when a run overruns the row (or nothing is consumed).
[[nodiscard]] int64_t unpack_row(std::span<const uint8_t> packed, size_t at,
                                 std::span<uint8_t> out);

// Packs `count` plane rows of `row_size` bytes each, separately, at `out` (which holds
// 2 x row_size x count). Returns the bytes written.
size_t CompactRow(const uint8_t* source, uint8_t* out, size_t row_size, uint32_t count);

// Packs a chunky row of `width` indices at `out` (which holds 2 x (width + 1)), an odd
// row's pad byte inside the run of its last pixel. Returns the bytes written.
size_t pack_chunky_row(const uint8_t* indices, size_t width, uint8_t* out);

// ORs plane row `plane_bits` (bit set means 1 << shift) into `lane`, one byte per pixel
// for `width` pixels: eight pixels a byte through a 256-entry spread table.
void spread_plane(std::span<const uint8_t> plane_row, uint8_t* lane, uint32_t width,
                  uint32_t shift);

// Packs bit `bit` of `width` index bytes into a plane row (most significant bit first).
void gather_plane(const uint8_t* indices, uint8_t* plane_row, uint32_t width, uint32_t bit);

// The final passes: palette, extra half-brite, HAM6 and HAM8 (HAM8_RGB), on pixels whose
// third byte holds the index or code; `rows` rows of `width` pixels.
struct Palette {
    const uint8_t* cmap;
    size_t entries;
};
void palette_pass(uint8_t* pixels, size_t count, const Palette& palette, int32_t transparent);
// palette_pass's colours of all 256 indices, four bytes each (the fourth unused): past the
// CMAP, and the transparent index (-1: none), black.
using ColourTable = std::array<uint8_t, 256 * 4>;
[[nodiscard]] ColourTable colour_table(const Palette& palette, int32_t transparent);
// Colours `count` pixels from an index a byte, as palette_pass would: four bytes a store,
// the fourth landing on the next pixel, the last pixel three.
void colour_row(const uint8_t* indices, uint8_t* pixels, size_t count, const ColourTable& table);
void half_brite_pass(uint8_t* pixels, size_t count, const Palette& palette);
// How many of `count` codes (one every `stride` bytes, each ANDed with `mask`) take a
// palette entry at or past
// `entries` in display mode `mode`: a plain index, extra half-brite's index mod 32, a
// HAM code that takes an entry rather than modifying a colour.
[[nodiscard]] uint64_t codes_past_palette(const uint8_t* codes, size_t count, size_t stride,
                                          uint8_t mask, uint32_t mode, size_t entries);
// HAM8_RGB keeps the interface's name (and argument order); the other passes are ours.
void ham6_pass(uint8_t* pixels, uint32_t width, uint32_t rows, const Palette& palette);
void HAM8_RGB(uint32_t width, uint32_t rows, const Palette& palette, uint8_t* pixels);

// A FORM DEEP's pixel: its elements in storage order (type, 8 or 16 bits, byte offset).
inline constexpr size_t kDeepMostElements = 8;
struct DeepElement {
    uint16_t type;
    uint16_t depth;
    size_t offset;
};
struct DeepLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t compression = 0;
    std::array<DeepElement, kDeepMostElements> elements{};
    size_t element_count = 0;
    size_t pixel_bytes = 0;
    int32_t red = -1;
    int32_t green = -1;
    int32_t blue = -1;
    int32_t alpha = -1;
};
[[nodiscard]] int32_t deep_layout(std::span<const uint8_t> dgbl, std::span<const uint8_t> dpel,
                                  std::span<const uint8_t> dloc, DeepLayout& layout);
// Decodes DBOD into 24-bit pixels; the rows made. `raw` holds a row of raw pixels.
uint32_t decode_deep(const DeepLayout& layout, std::span<const uint8_t> body,
                     std::span<const uint8_t> tvdc, uint8_t* raw, uint8_t* pixels);

// The planes of an animation's frame, as a delta changes them: `rows` scanlines of a row
// of each of `planes` planes, `row_bytes` bytes a plane row.
struct DeltaBitmap {
    uint8_t* bytes;
    uint32_t row_bytes;
    uint32_t rows;
    uint32_t planes;
};
enum class DeltaResult { done, damaged, outside };
// Whether frames of ANHD operation `operation` are read (5, 7 and 8).
[[nodiscard]] bool delta_operation_read(uint32_t operation);
// Applies a DLTA chunk of operation 5, 7 or 8 with the ANHD's `bits` (long data, XOR):
// `damaged` when its data runs out or points outside it, `outside` when it would write
// below the last row (nothing is written there).
[[nodiscard]] DeltaResult apply_delta(uint32_t operation, uint32_t bits,
                                      std::span<const uint8_t> dlta, const DeltaBitmap& bitmap);

// The chunks that change the palette from line to line, as found in the FORM.
struct LineChunks {
    std::span<const uint8_t> pchg;
    std::span<const uint8_t> sham;
    std::span<const uint8_t> ctbl;
};

// The palette in force on each row of a picture with PCHG (preferred), CTBL or SHAM: the
// CMAP, changed as the rows go by. Rows are asked for in order from 0.
class LinePalettes {
public:
    // The bytes a Huffman-packed PCHG unpacks to (0 for a plain one), for `unpacked`.
    [[nodiscard]] static size_t pchg_bytes_needed(std::span<const uint8_t> pchg);
    // From the CMAP and the chunks; `lace` is CAMG's interlace bit. False when a PCHG is
    // of a kind not read, or damaged before its first record: then only the CMAP counts.
    bool start(std::span<const uint8_t> cmap, const LineChunks& chunks, uint32_t height, bool lace,
               std::span<uint8_t> unpacked);
    [[nodiscard]] bool active() const { return kind_ != Kind::none; }
    // The rows the chunks give a palette of their own, when they end (or their data is
    // cut) before row `height`; `height` otherwise.
    [[nodiscard]] uint32_t rows_given(uint32_t height) const {
        return given_rows_ < height ? given_rows_ : height;
    }
    // The palette of row `y`.
    [[nodiscard]] Palette at_row(uint32_t y);

private:
    enum class Kind { none, pchg, tables };
    bool start_pchg(std::span<const uint8_t> pchg, std::span<uint8_t> unpacked);
    bool apply_record();
    void set(size_t reg, uint8_t red, uint8_t green, uint8_t blue);

    Kind kind_ = Kind::none;
    std::array<uint8_t, 768> current_{};
    size_t entries_ = 0;
    uint16_t flags_ = 0;
    int16_t start_line_ = 0;
    uint16_t line_count_ = 0;
    uint32_t next_line_ = 0;
    std::span<const uint8_t> mask_;
    runtime::Cursor records_{std::span<const uint8_t>{}};
    std::span<const uint8_t> tables_;
    size_t table_count_ = 0;
    uint32_t rows_per_table_ = 1;
    uint32_t given_rows_ = UINT32_MAX;
};

} // namespace ilbm
