// The rules of the portable formats' headers: kinds, limits, the header parser and what
// a header says of its file. Pure: no globals, no I/O, no platform calls. Linked by the
// ppm module and by the library, so that both read a header alike.
#pragma once

#include <cstdint>

#include "runtime/cursor.h"

namespace ppm {

inline constexpr uint32_t kMaxSide = 32767;
inline constexpr uint32_t kMaxSampleValue = 65535;
// Every header number and plain sample saturates here instead of wrapping.
inline constexpr uint64_t kNumberCap = 0xFFFFFFFFU;

struct PnmKind {
    bool plain;  // samples are decimal text
    bool colour; // three samples per pixel
    bool bitmap; // one bit (raw) or one digit (plain) per pixel, no maximum
};

// The kind for magic digit '1'..'6'.
[[nodiscard]] PnmKind kind_of(uint8_t digit);

struct PnmHeader {
    uint8_t digit = 0; // '1'..'6'
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maxval = 0; // 1 for bitmaps
};

// Parses the header. On 0 the cursor stands at the first raster byte; otherwise the
// result is 1002 (magic), 1005 (no size), 1003 (width), 1004 (height) or 1006 (maximum).
[[nodiscard]] int32_t parse_header(runtime::Cursor& cursor, PnmHeader& header);

// The header of a raw kind (header.digit '4' to '6') as the format defines it, read from
// the cursor at the file's start: each number after white space and comments, then a
// single white-space byte (or a comment to its line end) before the raster. True, with
// the values, the raster's offset and its length in bytes, when the header has that form
// and its values are in range. parse_header takes this layout when the file is exactly
// that long.
[[nodiscard]] bool exact_raw_layout(runtime::Cursor cursor, PnmHeader& header, size_t& raster_at,
                                    uint64_t& raster_bytes);

// The bits one pixel takes in the file: 1 for bitmaps, 8 or 16 a sample for grey and
// three samples for colour (16 when the maximum is above 255).
[[nodiscard]] uint32_t file_bits_per_pixel(const PnmHeader& header);

// "PBM plain", "PGM raw", ...: the kind of the header's magic digit.
[[nodiscard]] const char* kind_name(const PnmHeader& header);

// A PAM (P7) header: keyword lines WIDTH, HEIGHT, DEPTH, MAXVAL, TUPLTYPE (joined when
// repeated), comments and blank lines, up to ENDHDR. `grey` and `alpha` say how the
// planes are read: from the tuple type's prefix (BLACKANDWHITE and GRAYSCALE are grey,
// RGB colour, an _ALPHA ending adds opacity as the last plane), or, without a tuple
// type orvi knows, from DEPTH alone (1 grey, 2 grey and opacity, 3 RGB, 4 RGB and
// opacity).
struct PamHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    uint32_t maxval = 0;
    char tuple_type[64] = {};
    bool grey = false;
    bool alpha = false;
};

// Parses a PAM header. On 0 the cursor stands at the first raster byte; otherwise 1002
// (no P7 line), 1007 (a line that is no keyword, a number that is not one, a missing
// field or ENDHDR), 1003 (width), 1004 (height), 1006 (maximum) or 1008 (a depth the
// tuple type cannot be read from).
[[nodiscard]] int32_t parse_pam_header(runtime::Cursor& cursor, PamHeader& header);

} // namespace ppm
