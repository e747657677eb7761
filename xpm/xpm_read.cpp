// XPM_Read: the quoted strings of a file into a 24-bit Picture: the values string, one
// colour string per colour, then pixel strings that stream across rows.
#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/file_reader.h"
#include "runtime/globals.h"
#include "runtime/picture.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"
#include "xpm/xpm_format.h"

namespace xpm {
namespace {

// The direct table for 1- and 2-character codes, cleared at the start of every load.
std::array<int16_t, kLookupSide * kLookupSide> lookup;

// Copies a raw string into the string buffer, normalised and terminated; a string of
// kStringBytes characters or more is cut to fit.
std::span<const uint8_t> collect(std::span<const uint8_t> raw, uint8_t* buffer) {
    const size_t kept = std::min(raw.size(), kStringBytes - 1);
    for (size_t i = 0; i < kept; ++i) {
        buffer[i] = normalised(raw[i]);
    }
    buffer[kept] = 0;
    return {buffer, kept};
}

} // namespace

/* XPM_Read: no signature is checked; the first quoted string is the values string.
 * Codes: those of ReadFile; kOutOfMemory without memory for the string buffer, colour table or
 * pixels; kXpmBadColours, kXpmBadCharsPerPixel, kXpmBadWidth, kXpmBadHeight for the values string's
 * checks in that order, and kXpmBadColours for a file with no values string at all (a picture
 * without pixels is no picture); kTooManyPixels above the job's pixel limit. Pixels no string
 * reaches stay black. The host is told of pixels no string reaches, of colours whose value names no
 * known colour (their pixels keep red 255, the low byte of the -1 that marks them) and of pixel
 * codes no colour defines (a one- or two-character one takes colour 0, a longer one is skipped).
 * Frees everything but the pixels on every path. */
int32_t XPM_Read(const char* name, CodecRequest* request) {
    Picture* pic = request->Pic;
    runtime::clear_loaded_picture(pic);
    runtime::PoolBlock file;
    if (runtime::ReadFile(name, file) != kOk) {
        return runtime::Error;
    }
    lookup.fill(kUndefinedCode);
    runtime::PoolBlock string_buffer(kStringBytes);
    if (!string_buffer) {
        return kOutOfMemory;
    }
    StringScanner scanner(runtime::file_cursor().rest());
    std::span<const uint8_t> raw;
    if (!scanner.next(raw)) {
        return kXpmBadColours;
    }
    const Values values = myatoi(collect(raw, string_buffer.bytes()));
    if (const int32_t code = check_values(values); code != kOk) {
        return code;
    }
    const auto colour_count = static_cast<size_t>(values.colours);
    const auto width = static_cast<uint32_t>(values.width);
    const auto height = static_cast<uint32_t>(values.height);
    const auto cpp = static_cast<uint32_t>(values.cpp);
    if (const int32_t code = runtime::check_pixel_limit(width, height); code != kOk) {
        return code;
    }
    runtime::PoolBlock table(runtime::size_mul(colour_count, sizeof(ColourEntry) + 3));
    runtime::PoolBlock pixels(runtime::size_mul(width, height, 3));
    if (!table || !pixels) {
        return kOutOfMemory;
    }
    auto* colours = reinterpret_cast<ColourEntry*>(table.bytes());
    uint8_t* colours_rgb = table.bytes() + colour_count * sizeof(ColourEntry);
    colours[0].red = -1; // no colour yet: the one an undefined short code takes

    // A file of at most 256 colours is a palette picture: its indices are kept when the
    // host asks, and the colour "None" as its transparent one.
    OrviExtras* extras = colour_count <= 256 ? runtime::wanted_extras() : nullptr;
    runtime::PoolBlock kept;
    if (extras != nullptr && !kept.allocate(runtime::size_mul(width, height))) {
        return kOutOfMemory;
    }
    int32_t transparent = -1;
    size_t defined = 0;
    while (defined < colour_count && scanner.next(raw)) {
        const std::span<const uint8_t> text = collect(raw, string_buffer.bytes());
        parse_colour_string(text, cpp, colours[defined]);
        if (transparent < 0 && extras != nullptr && names_none(text, cpp)) {
            transparent = static_cast<int32_t>(defined);
        }
        ++defined;
    }
    // Only the colours a string defined (and the first, which undefined short codes
    // take) can be reached by a pixel.
    for (size_t i = 0; i < std::max<size_t>(defined, 1); ++i) {
        colours_rgb[3 * i] = static_cast<uint8_t>(colours[i].red);
        colours_rgb[3 * i + 1] = static_cast<uint8_t>(colours[i].green);
        colours_rgb[3 * i + 2] = static_cast<uint8_t>(colours[i].blue);
    }
    // The sorted long codes; without room for them, codes are searched in order.
    runtime::PoolBlock slots;
    const size_t slot_count = cpp > 2 ? index_slots(values.colours) : 0;
    if (slot_count != 0) {
        (void)slots.allocate(slot_count * sizeof(uint64_t));
    }
    const CodeIndex index({colours, defined}, cpp, lookup.data(),
                          {reinterpret_cast<uint64_t*>(slots.bytes()), slots ? slot_count : 0});

    const size_t total = size_t{width} * height;
    size_t done = 0;
    size_t undefined = 0;
    for (uint32_t number = 0; done < total && scanner.next(raw); ++number) {
        runtime::report_before_row(number, height);
        done += decode_pixels(raw, index, colours_rgb, pixels.bytes() + done * 3, total - done,
                              undefined, kept ? kept.bytes() + done : nullptr);
    }
    runtime::report_progress(100);
    uint32_t unnamed = 0;
    for (size_t i = 0; i < defined; ++i) {
        unnamed += colours[i].red < 0 ? 1U : 0U;
    }
    if (done < total) {
        runtime::report_missing_pixels(total - done);
    }
    if (unnamed != 0 || undefined != 0) {
        runtime::report_unknown_colours(
            unnamed, static_cast<uint32_t>(std::min<size_t>(undefined, UINT32_MAX)));
    }
    if (extras != nullptr) {
        std::memcpy(extras->palette, colours_rgb, std::max<size_t>(defined, 1) * 3);
        extras->palette_count = static_cast<uint32_t>(std::max<size_t>(defined, 1));
        extras->transparent = transparent;
        extras->indices = kept.release();
    }
    runtime::deliver_picture(pic, pixels.release(), width, height, 24);
    return kOk;
}

} // namespace xpm
