// The XPM format: the values string, colour strings and pixel strings, the colour-name
// table, and the pure pieces the reader is built from. Private to the xpm module.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/records.h"
#include "xpm/xpm_rules.h"

namespace xpm {

[[nodiscard]] int32_t XPM_Read(const char* name, CodecRequest* request);
[[nodiscard]] int32_t XPM_Save(const char* name, CodecRequest* request);

inline constexpr size_t kLookupSide = 96;

// A colour name of the X11 database: red << 24 | green << 16 | blue << 8.
struct XColor {
    uint32_t colour;
    const char* name;
};
extern const XColor xcolor[]; // ends with a null name
inline constexpr size_t kNamedColours = 753;
extern const uint16_t xcolor_by_name[]; // kNamedColours indices of xcolor, by name

// One colour of the file: its pixel code, and red, green, blue as 16-bit values (red -1
// until a value converts); a pixel takes the low eight bits of each.
struct ColourEntry {
    uint8_t code[kMaxCpp + 1];
    int16_t red;
    int16_t green;
    int16_t blue;
};

// Hexadecimal digits (upper case) into the entry; 1 on success, 0 at the first invalid
// digit (components stored before it keep their values).
int32_t get_hex_color(const char* digits, ColourEntry& entry);
// A colour name (upper case, single spaces) into the entry; 1 when found, else 0 with
// the entry unchanged.
int32_t get_named_color(const char* name, ColourEntry& entry);

// A normalised colour string into its entry: the code (its first `cpp` characters, spaces
// where the string is shorter) and the colour of its keyed values.
void parse_colour_string(std::span<const uint8_t> text, uint32_t cpp, ColourEntry& entry);
// Whether a normalised colour string's colour is "None", the transparent one: the value of
// its "c" key, or without one its first value.
[[nodiscard]] bool names_none(std::span<const uint8_t> text, uint32_t cpp);

} // namespace xpm

namespace xpm {

// Finding the colour entry of a pixel code. Codes of 1 and 2 characters index the
// 96 x 96 table directly (codes no colour string defined give -1); longer codes are
// found by binary search in the colour table's codes sorted once per load, in which the
// first entry with a code wins, as a search in order would give (unknown codes give -1).
// No choice of codes makes a lookup cost more than the logarithm of their number.
class CodeIndex {
public:
    // `lookup` holds 96 x 96 entries; `slots` (may be empty: then codes are searched
    // in order) holds index_slots(colour count) entries.
    CodeIndex(std::span<const ColourEntry> colours, uint32_t cpp, int16_t* lookup,
              std::span<uint64_t> slots);
    [[nodiscard]] int32_t find(const uint8_t* code) const;
    [[nodiscard]] uint32_t cpp() const { return cpp_; }

private:
    std::span<const ColourEntry> colours_;
    uint32_t cpp_;
    const int16_t* lookup_;
    std::span<uint64_t> slots_;
};

// The number of sorted entries for `colours` long codes.
[[nodiscard]] size_t index_slots(int32_t colours);

// Writes the pixels of one raw pixel string at `out` (3 bytes each, at most `room`
// pixels): one pixel per `cpp` characters, normalised; an incomplete last pixel writes
// nothing; a code no colour defines takes colour 0 when short and writes nothing when
// long, and counts in `undefined`. `indices`, when given, receives each pixel's colour
// number too (the file has at most 256 colours). Returns the pixels written.
[[nodiscard]] size_t decode_pixels(std::span<const uint8_t> string, const CodeIndex& index,
                                   const uint8_t* colours_rgb, uint8_t* out, size_t room,
                                   size_t& undefined, uint8_t* indices = nullptr);

// The direct table's mark of a one- or two-character code no colour string defined.
inline constexpr int16_t kUndefinedCode = -1;

} // namespace xpm
