// Values strings and colour strings: the four numbers, hexadecimal and named colours,
// and the keyed values of a colour string. Pure: no globals, no I/O; every text buffer
// is bounded and cuts what does not fit.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "runtime/result_codes.h"
#include "xpm/xpm_format.h"

namespace xpm {
namespace {

constexpr size_t kWordBytes = 256; // a word or a colour value and its terminator
constexpr size_t kKeyBytes = 128;  // the previous key and its terminator

int32_t hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void store_component(ColourEntry& entry, uint32_t component, int32_t value) {
    int16_t* targets[3] = {&entry.red, &entry.green, &entry.blue};
    *targets[component] = static_cast<int16_t>(value);
}

bool is_key(const char* word) {
    return std::strcmp(word, "c") == 0 || std::strcmp(word, "m") == 0 ||
           std::strcmp(word, "s") == 0 || std::strcmp(word, "g4") == 0 ||
           std::strcmp(word, "g") == 0;
}

// Converts a colour value (upper-cased here): "#" and hexadecimal digits, or a name.
bool convert(char* value, ColourEntry& entry) {
    for (char* c = value; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - 'a' + 'A');
        }
    }
    return value[0] == '#' ? get_hex_color(value + 1, entry) != 0
                           : get_named_color(value, entry) != 0;
}

// Copies `count` bytes and a terminator into a buffer of `capacity`, cutting what does
// not fit.
void copy_cut(char* buffer, size_t capacity, const uint8_t* text, size_t count) {
    const size_t kept = std::min(count, capacity - 1);
    std::memcpy(buffer, text, kept);
    buffer[kept] = '\0';
}

} // namespace

/* get_hex_color: with 3, 6, 9 or 12 digits, n / 3 digits a component of which the most
 * significant eight bits count (a single digit d gives d x 16, as X11 reads "#F00");
 * other lengths read two digits at positions 0, step, 2 step (step 2 below 7 digits,
 * else 4; text past 12 digits is cut). Upper-case digits only. */
int32_t get_hex_color(const char* digits, ColourEntry& entry) {
    const size_t length = std::min<size_t>(std::strlen(digits), 12);
    if (length % 3 == 0 && length != 0) {
        const size_t per = length / 3;
        for (uint32_t component = 0; component < 3; ++component) {
            int32_t value = 0;
            for (size_t d = 0; d < per; ++d) {
                const int32_t digit = hex_digit(digits[component * per + d]);
                if (digit < 0) {
                    return 0;
                }
                value = value * 16 + digit;
            }
            const int32_t top = per == 1 ? value * 16 : value >> (4 * (per - 2));
            store_component(entry, component, top);
        }
        return 1;
    }
    const size_t step = length < 7 ? 2 : 4;
    uint32_t component = 0;
    for (size_t position = 0; position < length && component < 3; position += step) {
        const int32_t high = hex_digit(digits[position]);
        const int32_t low = position + 1 < length ? hex_digit(digits[position + 1]) : -1;
        if (high < 0 || low < 0) {
            return 0;
        }
        store_component(entry, component++, high * 16 + low);
    }
    return 1;
}

/* get_named_color: the entry of xcolor whose name equals `name` byte for byte (names are
 * distinct), by binary search in xcolor_by_name. */
int32_t get_named_color(const char* name, ColourEntry& entry) {
    const uint16_t* end = xcolor_by_name + kNamedColours;
    const uint16_t* found =
        std::lower_bound(xcolor_by_name, end, name, [](uint16_t i, const char* wanted) {
            return std::strcmp(xcolor[i].name, wanted) < 0;
        });
    if (found == end || std::strcmp(xcolor[*found].name, name) != 0) {
        return 0;
    }
    const XColor& colour = xcolor[*found];
    entry.red = static_cast<int16_t>(colour.colour >> 24U);
    entry.green = static_cast<int16_t>((colour.colour >> 16U) & 0xFFU);
    entry.blue = static_cast<int16_t>((colour.colour >> 8U) & 0xFFU);
    return 1;
}

/* parse_colour_string: after the code, words are values or keys ("c", "m", "s", "g4",
 * "g"); a value of several words keeps single spaces. A value is taken when the next key
 * or the string's last word comes (the last word joins it). The entry's colour is the
 * value of a "c" key that converts; failing that the first value that converts; failing
 * that whatever the first value left (a partly read hexadecimal colour). A string that
 * ends in a space never takes its last value. */
void parse_colour_string(std::span<const uint8_t> text, uint32_t cpp, ColourEntry& entry) {
    for (uint32_t i = 0; i < cpp; ++i) {
        entry.code[i] = i < text.size() ? text[i] : uint8_t{' '};
    }
    entry.code[cpp] = 0;
    const ColourEntry fresh{{}, -1, 0, 0};
    char value[kWordBytes] = {};
    size_t value_length = 0;
    char key[kKeyBytes] = {};
    char word[kWordBytes] = {};
    ColourEntry chosen = fresh;
    bool have_first = false;
    bool have_converted = false;
    bool have_c = false;
    size_t position = cpp;
    while (position < text.size()) {
        if (text[position] == ' ') {
            ++position;
            continue;
        }
        const size_t start = position;
        while (position < text.size() && text[position] != ' ') {
            ++position;
        }
        copy_cut(word, sizeof word, text.data() + start, position - start);
        const size_t word_length = std::strlen(word);
        const bool last = position == text.size();
        const bool keyword = is_key(word);
        const size_t joined = value_length + (value_length != 0 ? 1 : 0) + word_length;
        if ((!keyword && !last) || (last && joined < sizeof value)) {
            if (joined < sizeof value) {
                if (value_length != 0) {
                    value[value_length++] = ' ';
                }
                std::memcpy(value + value_length, word, word_length + 1);
                value_length = joined;
            }
            if (!keyword && !last) {
                continue;
            }
        }
        if (value_length != 0) {
            ColourEntry attempt = fresh;
            const bool converted = convert(value, attempt);
            const bool keyed_c = std::strcmp(key, "c") == 0;
            if (!have_first || (converted && !have_converted) ||
                (converted && keyed_c && !have_c)) {
                chosen = attempt;
            }
            have_first = true;
            have_converted = have_converted || converted;
            have_c = have_c || (converted && keyed_c);
        }
        copy_cut(key, sizeof key, reinterpret_cast<const uint8_t*>(word), word_length);
        value_length = 0;
        value[0] = '\0';
    }
    entry.red = chosen.red;
    entry.green = chosen.green;
    entry.blue = chosen.blue;
}

bool names_none(std::span<const uint8_t> text, uint32_t cpp) {
    // The words after the code, a key's value being the word after it.
    std::string_view rest(reinterpret_cast<const char*>(text.data()), text.size());
    rest.remove_prefix(std::min<size_t>(cpp, rest.size()));
    std::string_view first_value;
    bool after_c = false;
    bool after_key = false;
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const std::string_view word = rest.substr(0, rest.find(' '));
        rest.remove_prefix(word.size());
        if (word == "c" || word == "m" || word == "s" || word == "g4" || word == "g") {
            after_c = word == "c";
            after_key = true;
            continue;
        }
        const bool none = word.size() == 4 && std::toupper(word[0]) == 'N' &&
                          std::toupper(word[1]) == 'O' && std::toupper(word[2]) == 'N' &&
                          std::toupper(word[3]) == 'E';
        if (after_c) {
            return none;
        }
        if (first_value.empty() && after_key) {
            first_value = none ? "none" : "colour";
        }
        after_key = false;
    }
    return first_value == "none";
}

} // namespace xpm
