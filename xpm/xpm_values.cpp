// The values string: its four numbers, their checks, and what makes a file an XPM file.
// Pure: reads only the bytes it is given.
#include <algorithm>

#include "runtime/result_codes.h"
#include "xpm/xpm_rules.h"

namespace xpm {
namespace {

constexpr uint32_t kNumberCap = 0x7FFFFFFF;

bool is_blank(uint8_t c) {
    return c == ' ' || c == '\t';
}

bool is_digit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// Whether a values string starts with four numbers (a sign allowed, which the checks
// then refuse), each followed by a blank or the end.
bool four_numbers(std::span<const uint8_t> text) {
    const size_t size = std::min(text.size(), kStringBytes - 1);
    size_t i = 0;
    for (int number = 0; number < 4; ++number) {
        while (i < size && is_blank(normalised(text[i]))) {
            ++i;
        }
        if (i < size && (text[i] == '-' || text[i] == '+')) {
            ++i;
        }
        const size_t start = i;
        while (i < size && is_digit(text[i])) {
            ++i;
        }
        if (i == start || (i < size && !is_blank(normalised(text[i])))) {
            return false;
        }
    }
    return true;
}

} // namespace

Values myatoi(std::span<const uint8_t> text) {
    Values values;
    int32_t* outputs[4] = {&values.width, &values.height, &values.colours, &values.cpp};
    const size_t size = std::min(text.size(), kStringBytes - 1);
    const auto at = [&](size_t i) { return normalised(text[i]); };
    size_t i = 0;
    for (int32_t* output : outputs) {
        while (i < size && is_blank(at(i))) {
            ++i;
        }
        uint64_t number = 0; // at most kNumberCap x 10 + 9 before the cap: no wrap
        while (i < size && is_digit(at(i))) {
            number =
                std::min<uint64_t>(number * 10 + static_cast<uint64_t>(at(i) - '0'), kNumberCap);
            ++i;
        }
        *output = static_cast<int32_t>(number);
        while (i < size && is_blank(at(i))) {
            ++i;
        }
    }
    // Two more numbers are the hot spot.
    int32_t hot[2] = {-1, -1};
    for (int32_t& coordinate : hot) {
        if (i >= size || !is_digit(at(i))) {
            return values;
        }
        uint64_t number = 0;
        while (i < size && is_digit(at(i))) {
            number =
                std::min<uint64_t>(number * 10 + static_cast<uint64_t>(at(i) - '0'), kNumberCap);
            ++i;
        }
        coordinate = static_cast<int32_t>(number);
        while (i < size && is_blank(at(i))) {
            ++i;
        }
    }
    values.hot_x = hot[0];
    values.hot_y = hot[1];
    return values;
}

int32_t check_values(const Values& values) {
    if (values.colours < 1 || values.colours > kMaxColours) {
        return kXpmBadColours;
    }
    if (values.cpp < 1 || values.cpp > kMaxCpp) {
        return kXpmBadCharsPerPixel;
    }
    if (values.width < 1 || values.width > kMaxSide) {
        return kXpmBadWidth;
    }
    if (values.height < 1 || values.height > kMaxSide) {
        return kXpmBadHeight;
    }
    return kOk;
}

std::optional<Values> file_values(std::span<const uint8_t> file) {
    StringScanner scanner(file);
    std::span<const uint8_t> string;
    if (!scanner.next(string) || !four_numbers(string)) {
        return std::nullopt;
    }
    return myatoi(string);
}

} // namespace xpm
