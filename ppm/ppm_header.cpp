// Header scanning for the portable formats: magic, size and maximum in any layout the
// format allows, with comments wherever white space may stand; and PAM's keyword lines. Pure: reads
// only the cursor it is given.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "ppm/ppm_rules.h"
#include "runtime/result_codes.h"

namespace ppm {
namespace {

using runtime::Cursor;

// The longest header line a line-oriented writer could rely on.
constexpr size_t kLineCap = 255;

bool is_space(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(uint8_t c) {
    return c >= '0' && c <= '9';
}

void skip_line(Cursor& cursor) {
    while (!cursor.at_end() && cursor.next() != '\n') {
    }
}

void skip_blanks_and_comments(Cursor& cursor) {
    while (!cursor.at_end()) {
        const uint8_t c = cursor.peek();
        if (c == '#') {
            skip_line(cursor);
        } else if (is_space(c)) {
            cursor.skip(1);
        } else {
            return;
        }
    }
}

// A run of digits, saturating at kNumberCap; false (and 0) when no digit stands here.
bool read_number(Cursor& cursor, uint32_t& value) {
    uint64_t number = 0;
    bool found = false;
    while (is_digit(cursor.peek()) && !cursor.at_end()) {
        number = std::min<uint64_t>(number * 10 + (cursor.next() - '0'), kNumberCap);
        found = true;
    }
    value = static_cast<uint32_t>(number);
    return found;
}

// True when the rest of the current line holds only numbers, white space and a
// comment. A line with other text keeps only what came before the text was met: the
// rest of it is ignored, as line-oriented writers and readers have always done.
bool rest_of_line_is_header(const Cursor& cursor) {
    for (size_t i = 0; i < cursor.remaining(); ++i) {
        const uint8_t c = cursor.peek_at(i);
        if (c == '\n' || c == '#') {
            return true;
        }
        if (!is_space(c) && !is_digit(c)) {
            return false;
        }
    }
    return true;
}

void skip_junk_line(Cursor& cursor) {
    if (!rest_of_line_is_header(cursor)) {
        skip_line(cursor);
    }
}

// Moves a raw kind's cursor from the end of its last header number to the raster,
// which starts after the line end that follows the number ("255\r\n" and a trailing
// comment work). Like any header line, that line reaches at most kLineCap bytes.
void skip_to_raw_raster(Cursor& cursor) {
    size_t end = 0;
    while (end < cursor.remaining() && end < kLineCap && cursor.peek_at(end) != '\n') {
        ++end;
    }
    cursor.skip(end < cursor.remaining() && cursor.peek_at(end) == '\n' ? end + 1 : end);
}

} // namespace

/* exact_raw_layout: the header of a raw kind as the format defines it: each number after
 * white space and comments, then a single white-space byte (or a comment to its line
 * end) before the raster. True, with the values, the raster's offset from the cursor's
 * start and its length, when the header has that form and its values are in range. */
bool exact_raw_layout(Cursor cursor, PnmHeader& header, size_t& raster_at, uint64_t& raster_bytes) {
    const size_t start = cursor.remaining();
    const PnmKind kind = kind_of(header.digit);
    cursor.skip(2);
    PnmHeader exact = header;
    uint32_t* fields[] = {&exact.width, &exact.height, &exact.maxval};
    const size_t count = kind.bitmap ? 2 : 3;
    exact.maxval = 1;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t before = cursor.peek();
        if (!is_space(before) && before != '#') {
            return false;
        }
        skip_blanks_and_comments(cursor);
        if (!read_number(cursor, *fields[i])) {
            return false;
        }
    }
    if (cursor.peek() == '#') {
        skip_line(cursor);
    } else if (is_space(cursor.peek()) && !cursor.at_end()) {
        cursor.skip(1);
    } else {
        return false;
    }
    const bool in_range = exact.width >= 1 && exact.width <= kMaxSide && exact.height >= 1 &&
                          exact.height <= kMaxSide && exact.maxval >= 1 &&
                          exact.maxval <= kMaxSampleValue;
    if (!in_range) {
        return false;
    }
    const uint64_t samples = uint64_t{exact.width} * exact.height * (kind.colour ? 3 : 1);
    raster_bytes = kind.bitmap          ? (uint64_t{exact.width} + 7) / 8 * exact.height
                   : exact.maxval > 255 ? 2 * samples
                                        : samples;
    raster_at = start - cursor.remaining();
    header = exact;
    return true;
}

namespace {

// exact_raw_layout over a whole file: true, with the cursor at the raster, when the rest
// of the file is exactly the raster.
bool exact_raw_header(Cursor cursor, PnmHeader& header, Cursor& raster) {
    PnmHeader exact = header;
    size_t raster_at = 0;
    uint64_t raster_bytes = 0;
    if (!exact_raw_layout(cursor, exact, raster_at, raster_bytes) ||
        cursor.remaining() - raster_at != raster_bytes) {
        return false;
    }
    cursor.skip(raster_at);
    header = exact;
    raster = cursor;
    return true;
}

} // namespace

PnmKind kind_of(uint8_t digit) {
    switch (digit) {
    case '1':
        return {true, false, true};
    case '2':
        return {true, false, false};
    case '3':
        return {true, true, false};
    case '4':
        return {false, false, true};
    case '5':
        return {false, false, false};
    default:
        return {false, true, false};
    }
}

/* parse_header: the second byte of the file is the kind digit 1..6 (the first is not
 * examined). Then width, height and, except for bitmaps, the maximum sample value,
 * each a decimal number, separated by white space and comments ('#' to the end of the
 * line). Text other than numbers on the magic line or after the height ends that
 * line's part of the header. Numbers saturate rather than wrap. A raw raster starts
 * after the single white-space byte that follows the last number when the rest of the
 * file then holds exactly the raster, and after that number's line end otherwise.
 * Codes: kPpmBadMagic magic, kPpmNoSize no size before the end, kPpmBadWidth width
 * outside 1..32767, kPpmBadHeight height outside 1..32767, kPpmBadMaxval maximum outside 1..65535.
 */
int32_t parse_header(Cursor& cursor, PnmHeader& header) {
    const uint8_t digit = cursor.peek_at(1);
    if (cursor.remaining() < 2 || cursor.peek() == '\n' || digit < '1' || digit > '6') {
        return kPpmBadMagic;
    }
    header.digit = digit;
    // A raw file whose header follows the format's own rule to the byte, and whose
    // raster then fills the rest exactly, starts its raster where that rule says, even
    // on the header's line ("P6 4 1 255 " and the raster) or after one space.
    if (Cursor raster(cursor.rest());
        !kind_of(digit).plain && exact_raw_header(cursor, header, raster)) {
        cursor = raster;
        return kOk;
    }
    cursor.skip(2);
    skip_junk_line(cursor);

    skip_blanks_and_comments(cursor);
    if (cursor.at_end()) {
        return kPpmNoSize;
    }
    (void)read_number(cursor, header.width);
    skip_blanks_and_comments(cursor);
    (void)read_number(cursor, header.height);
    if (header.width == 0 || header.width > kMaxSide) {
        return kPpmBadWidth;
    }
    if (header.height == 0 || header.height > kMaxSide) {
        return kPpmBadHeight;
    }
    const bool junk_after_size = !rest_of_line_is_header(cursor);
    if (junk_after_size) {
        skip_line(cursor);
    }

    const PnmKind kind = kind_of(digit);
    if (kind.bitmap) {
        header.maxval = 1;
        if (!kind.plain && !junk_after_size) {
            skip_to_raw_raster(cursor);
        }
        return kOk;
    }
    skip_blanks_and_comments(cursor);
    if (!read_number(cursor, header.maxval) || header.maxval == 0 ||
        header.maxval > kMaxSampleValue) {
        return kPpmBadMaxval;
    }
    if (!kind.plain) {
        skip_to_raw_raster(cursor);
    }
    return kOk;
}

uint32_t file_bits_per_pixel(const PnmHeader& header) {
    const PnmKind kind = kind_of(header.digit);
    if (kind.bitmap) {
        return 1;
    }
    const uint32_t sample_bits = header.maxval > 255 ? 16 : 8;
    return kind.colour ? 3 * sample_bits : sample_bits;
}

const char* kind_name(const PnmHeader& header) {
    static constexpr const char* kNames[] = {"PBM plain", "PGM plain", "PPM plain",
                                             "PBM raw",   "PGM raw",   "PPM raw"};
    return header.digit >= '1' && header.digit <= '6' ? kNames[header.digit - '1'] : "PNM";
}

} // namespace ppm

namespace ppm {
namespace {

// One line of a PAM header: the bytes up to (not with) its newline; the cursor moves
// past the newline. False at the end of the data without a newline.
bool pam_line(Cursor& cursor, std::span<const uint8_t>& line) {
    const std::span<const uint8_t> rest = cursor.rest();
    const auto newline = std::find(rest.begin(), rest.end(), uint8_t{'\n'});
    if (newline == rest.end()) {
        return false;
    }
    line = rest.first(static_cast<size_t>(newline - rest.begin()));
    cursor.skip(line.size() + 1);
    return true;
}

bool is_blank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The line without the blanks at either end.
std::span<const uint8_t> trimmed(std::span<const uint8_t> line) {
    while (!line.empty() && is_blank(line.front())) {
        line = line.subspan(1);
    }
    while (!line.empty() && is_blank(line.back())) {
        line = line.first(line.size() - 1);
    }
    return line;
}

bool equals(std::span<const uint8_t> word, std::string_view text) {
    return word.size() == text.size() && std::equal(word.begin(), word.end(), text.begin());
}

bool starts(std::span<const char> text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin());
}

// A whole value of decimal digits, saturating at kNumberCap; false for anything else.
bool pam_number(std::span<const uint8_t> value, uint32_t& number) {
    if (value.empty()) {
        return false;
    }
    uint64_t n = 0;
    for (const uint8_t c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = std::min<uint64_t>(n * 10 + (c - '0'), kNumberCap);
    }
    number = static_cast<uint32_t>(n);
    return true;
}

// How the planes are read: the tuple type's prefix, else DEPTH alone.
bool choose_planes(PamHeader& header) {
    const std::span<const char> type(header.tuple_type, std::strlen(header.tuple_type));
    const bool alpha =
        type.size() >= 6 && std::string_view(type.data() + type.size() - 6, 6) == "_ALPHA";
    uint32_t needed = 0;
    if (starts(type, "BLACKANDWHITE") || starts(type, "GRAYSCALE")) {
        header.grey = true;
        needed = alpha ? 2 : 1;
    } else if (starts(type, "RGB")) {
        needed = alpha ? 4 : 3;
    } else if (header.depth >= 1 && header.depth <= 4) {
        header.grey = header.depth <= 2;
        header.alpha = header.depth == 2 || header.depth == 4;
        return true;
    } else {
        return false;
    }
    header.alpha = alpha;
    return header.depth >= needed;
}

} // namespace

/* parse_pam_header: "P7" and the rest of its line; then lines up to ENDHDR, each blank,
 * a comment (# first) or a keyword and its value; a repeated number replaces the earlier
 * one, repeated TUPLTYPE values are joined by a blank (up to 63 characters). Checks, in
 * order: every line known and every number a number (1007), all four numbers and ENDHDR
 * there (1007), width (1003), height (1004), maximum 1..65535 (1006), then the planes
 * (1008: a depth below what the tuple type needs, or no tuple type orvi knows and a
 * depth above 4). */
int32_t parse_pam_header(Cursor& cursor, PamHeader& header) {
    std::span<const uint8_t> line;
    if (cursor.remaining() < 2 || cursor.peek() != 'P' || cursor.peek_at(1) != '7' ||
        !pam_line(cursor, line)) {
        return kPpmBadMagic;
    }
    bool seen[4] = {};
    uint32_t* const numbers[4] = {&header.width, &header.height, &header.depth, &header.maxval};
    static constexpr std::string_view kNumberWords[4] = {"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};
    size_t type_length = 0;
    bool ended = false;
    while (!ended) {
        if (!pam_line(cursor, line)) {
            return kPamBadHeader;
        }
        const std::span<const uint8_t> text = trimmed(line);
        if (text.empty() || line.front() == '#') {
            continue;
        }
        const auto blank = std::find_if(text.begin(), text.end(), is_blank);
        const std::span<const uint8_t> word = text.first(static_cast<size_t>(blank - text.begin()));
        const std::span<const uint8_t> value = trimmed(text.subspan(word.size()));
        if (equals(word, "ENDHDR")) {
            ended = true;
            continue;
        }
        if (equals(word, "TUPLTYPE")) {
            if (type_length != 0 && type_length + 1 < sizeof header.tuple_type) {
                header.tuple_type[type_length++] = ' ';
            }
            const size_t room = sizeof header.tuple_type - 1 - type_length;
            const size_t count = std::min(room, value.size());
            std::copy_n(value.begin(), count, header.tuple_type + type_length);
            type_length += count;
            continue;
        }
        const auto* known =
            std::find(std::begin(kNumberWords), std::end(kNumberWords),
                      std::string_view(reinterpret_cast<const char*>(word.data()), word.size()));
        if (known == std::end(kNumberWords)) {
            return kPamBadHeader;
        }
        const auto which = static_cast<size_t>(known - std::begin(kNumberWords));
        if (!pam_number(value, *numbers[which])) {
            return kPamBadHeader;
        }
        seen[which] = true;
    }
    if (!std::all_of(std::begin(seen), std::end(seen), [](bool s) { return s; })) {
        return kPamBadHeader;
    }
    if (header.width == 0 || header.width > kMaxSide) {
        return kPpmBadWidth;
    }
    if (header.height == 0 || header.height > kMaxSide) {
        return kPpmBadHeight;
    }
    if (header.maxval == 0 || header.maxval > kMaxSampleValue) {
        return kPpmBadMaxval;
    }
    return header.depth >= 1 && choose_planes(header) ? kOk : kPamBadTuple;
}

} // namespace ppm
