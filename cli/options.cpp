// Operation options: their values, ranges and sentences.
#include "cli/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace cli {

std::optional<int64_t> parse_integer(const std::string& text, int64_t low, int64_t high) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

namespace {

using orvi::Operation;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
}

// Fills `out` with the comma-separated integers of `text`, each in [low, high].
bool parse_list(const std::string& text, size_t count, int64_t low, int64_t high, int32_t* out) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != count) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const auto value = parse_integer(parts[i], low, high);
        if (!value) {
            return false;
        }
        out[i] = static_cast<int32_t>(*value);
    }
    return true;
}

struct Range {
    const char* option;
    const char* says;
};

constexpr Range kRanges[] = {
    {"--gamma", "a real number from 0.01 to 100"},
    {"--brightness", "a whole number from -255 to 255"},
    {"--rgb", "three whole numbers from -255 to 255, as R,G,B"},
    {"--contrast", "a whole number from -127 to 127"},
    {"--rotate", "cw or ccw"},
    {"--flip", "h or v"},
    {"--resize", "WxH with each side from 1 to 65535"},
    {"--fill", "three whole numbers from 0 to 255, as R,G,B"},
    {"--convolve", "NAME[:DIVISOR[:MODE]] with a nonzero divisor and a mode from 0 to 255"},
    {"--kernel", "9 or 25 comma-separated whole numbers"},
    {"--divisor", "a nonzero whole number"},
    {"--mode", "a whole number from 0 to 255"},
};

std::string range_error(const std::string& option, const std::string& value) {
    for (const Range& range : kRanges) {
        if (option == range.option) {
            return option + " takes " + range.says + ", not '" + value + "'";
        }
    }
    return "bad value '" + value + "' for " + option;
}

bool parse_step(const std::string& option, const std::string& value, Operation& operation) {
    int32_t* v = operation.values.data();
    if (option == "--gamma") {
        char* end = nullptr;
        const double gamma = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(gamma >= 0.01 && gamma <= 100.0)) {
            return false;
        }
        operation = Operation::gamma(gamma);
        return true;
    }
    if (option == "--brightness" || option == "--contrast") {
        const int64_t limit = option == "--brightness" ? 255 : 127;
        operation.kind =
            option == "--brightness" ? Operation::Kind::Brightness : Operation::Kind::Contrast;
        return parse_list(value, 1, -limit, limit, v);
    }
    if (option == "--rgb" || option == "--fill") {
        operation.kind = option == "--rgb" ? Operation::Kind::Rgb : Operation::Kind::Fill;
        return option == "--rgb" ? parse_list(value, 3, -255, 255, v)
                                 : parse_list(value, 3, 0, 255, v);
    }
    if (option == "--rotate") {
        operation = Operation::rotate(value == "ccw");
        return value == "cw" || value == "ccw";
    }
    if (option == "--flip") {
        operation = Operation::flip(value == "v");
        return value == "h" || value == "v";
    }
    if (option == "--resize") {
        operation.kind = Operation::Kind::Resize;
        const std::vector<std::string> sides = split(value, 'x');
        return sides.size() == 2 && parse_list(sides[0] + "," + sides[1], 2, 1, 65535, v);
    }
    if (option == "--convolve") {
        const std::vector<std::string> parts = split(value, ':');
        operation = Operation::convolve(parts[0]);
        if (parts.size() > 3 || parts[0].empty()) {
            return false;
        }
        if (parts.size() >= 2) {
            const auto divisor = parse_integer(parts[1], INT32_MIN, INT32_MAX);
            if (!divisor || *divisor == 0) {
                return false;
            }
            operation.divisor = static_cast<int32_t>(*divisor);
        }
        if (parts.size() == 3) {
            const auto mode = parse_integer(parts[2], 0, 255);
            if (!mode) {
                return false;
            }
            operation.mode = static_cast<uint8_t>(*mode);
        }
        return true;
    }
    if (option == "--kernel") {
        const size_t count = split(value, ',').size();
        if (count != 9 && count != 25) {
            return false;
        }
        operation = Operation::kernel(std::vector<int32_t>(count));
        return parse_list(value, count, INT32_MIN, INT32_MAX, operation.weights.data());
    }
    operation = option == "--gray" ? Operation::gray() : Operation::negate();
    return true;
}

} // namespace

std::optional<Step> parse_operation(const std::string& option, const std::string& value,
                                    std::string& error) {
    Step step{option, {}};
    if (!parse_step(option, value, step.operation)) {
        error = range_error(option, value);
        return std::nullopt;
    }
    return step;
}

bool parse_kernel_setting(const std::string& option, const std::string& value,
                          std::vector<Step>& steps, std::string& error) {
    const auto number = option == "--mode" ? parse_integer(value, 0, 255)
                                           : parse_integer(value, INT32_MIN, INT32_MAX);
    if (!number || (option == "--divisor" && *number == 0)) {
        error = range_error(option, value);
        return false;
    }
    bool found = false;
    for (Step& step : steps) {
        if (step.operation.kind == Operation::Kind::Kernel) {
            found = true;
            if (option == "--mode") {
                step.operation.mode = static_cast<uint8_t>(*number);
            } else {
                step.operation.divisor = static_cast<int32_t>(*number);
            }
        }
    }
    if (!found) {
        error = option + " goes with --kernel, and there is none";
    }
    return found;
}

} // namespace cli
