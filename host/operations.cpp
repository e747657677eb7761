// Operation options, filter lookup and the application of steps through the ops module.
#include "host/operations.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "host/commands.h"
#include "host/jobs.h"
#include "runtime/result_codes.h"

namespace host {
namespace {

// The largest Count one call takes: a whole number of three-byte pixels.
constexpr uint64_t kMaxChunk = 0xFFFFFFFFULL - 0xFFFFFFFFULL % 3;

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

std::string normalised_name(std::string name) {
    for (char& c : name) {
        c = c == '-' || c == '_' ? ' '
                                 : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

int32_t default_divisor(const std::vector<int32_t>& weights) {
    const int64_t sum = std::accumulate(weights.begin(), weights.end(), int64_t{0});
    return sum > 0 && sum <= INT32_MAX ? static_cast<int32_t>(sum) : 1;
}

const MatrixDef* filter_table(const Module& ops) {
    return static_cast<const MatrixDef*>(ops.symbol("matdef"));
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

bool parse_step(const std::string& option, const std::string& value, OperationStep& step) {
    int32_t* v = step.values.data();
    if (option == "--gamma") {
        char* end = nullptr;
        const double gamma = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(gamma >= 0.01 && gamma <= 100.0)) {
            return false;
        }
        step.kind = OpKind::Gamma;
        v[0] = static_cast<int32_t>(std::lround(gamma * 100.0));
        return true;
    }
    if (option == "--brightness" || option == "--contrast") {
        const int64_t limit = option == "--brightness" ? 255 : 127;
        step.kind = option == "--brightness" ? OpKind::Brightness : OpKind::Contrast;
        return parse_list(value, 1, -limit, limit, v);
    }
    if (option == "--rgb" || option == "--fill") {
        step.kind = option == "--rgb" ? OpKind::Rgb : OpKind::Fill;
        return option == "--rgb" ? parse_list(value, 3, -255, 255, v)
                                 : parse_list(value, 3, 0, 255, v);
    }
    if (option == "--rotate") {
        step.kind = OpKind::Rotate;
        v[0] = value == "ccw" ? 1 : 0;
        return value == "cw" || value == "ccw";
    }
    if (option == "--flip") {
        step.kind = OpKind::Flip;
        v[0] = value == "v" ? 1 : 0;
        return value == "h" || value == "v";
    }
    if (option == "--resize") {
        step.kind = OpKind::Resize;
        const std::vector<std::string> sides = split(value, 'x');
        return sides.size() == 2 && parse_list(sides[0] + "," + sides[1], 2, 1, 65535, v);
    }
    if (option == "--convolve") {
        step.kind = OpKind::Convolve;
        const std::vector<std::string> parts = split(value, ':');
        step.filter = parts[0];
        if (parts.size() > 3 || step.filter.empty()) {
            return false;
        }
        if (parts.size() >= 2) {
            const auto divisor = parse_integer(parts[1], INT32_MIN, INT32_MAX);
            if (!divisor || *divisor == 0) {
                return false;
            }
            step.divisor = static_cast<int32_t>(*divisor);
        }
        if (parts.size() == 3) {
            const auto mode = parse_integer(parts[2], 0, 255);
            if (!mode) {
                return false;
            }
            step.mode = static_cast<uint8_t>(*mode);
        }
        return true;
    }
    if (option == "--kernel") {
        step.kind = OpKind::Kernel;
        const size_t count = split(value, ',').size();
        if (count != 9 && count != 25) {
            return false;
        }
        step.weights.resize(count);
        return parse_list(value, count, INT32_MIN, INT32_MAX, step.weights.data());
    }
    v[0] = 0;
    step.kind = option == "--gray" ? OpKind::Gray : OpKind::Negate;
    return true;
}

// One call of the module with the block filled from `base`.
void call(const Module& ops, HostPool& pool, OpArgs args) {
    args.Pool = pool.handle();
    (void)ops.start_of_program()(&args);
}

// A byte-wise operation over the whole picture, in calls of at most kMaxChunk bytes.
void bytewise(const Module& ops, HostPool& pool, const Picture& picture, OpArgs args) {
    const uint64_t total = uint64_t{static_cast<uint32_t>(picture.Width)} *
                           static_cast<uint32_t>(picture.Height) * picture.BytesPerPixel;
    for (uint64_t done = 0; done < total; done += kMaxChunk) {
        args.Source = picture.Data + done;
        args.Count = static_cast<uint32_t>(std::min(kMaxChunk, total - done));
        call(ops, pool, args);
    }
}

uint32_t byte_operation_code(OpKind kind) {
    switch (kind) {
    case OpKind::Gamma:
        return kOpSetGamma;
    case OpKind::Brightness:
        return kOpSetBrightness;
    case OpKind::Contrast:
        return kOpSetContrast;
    case OpKind::Rgb:
        return kOpSetRgb;
    case OpKind::Fill:
        return kOpFill;
    default:
        return kOpNegate;
    }
}

// Room in the pool for what an operation takes inside the module; the module reports
// nothing, so without this check a refused block would pass unnoticed.
bool has_room(const HostPool& pool, uint64_t bytes) {
    return pool.limit() >= pool.live_bytes() && pool.limit() - pool.live_bytes() >= bytes;
}

// Replaces the picture's pixels with `fresh`, freeing the old buffer.
void replace_pixels(HostPool& pool, Picture& picture, uint8_t* fresh) {
    pool.free(picture.Data);
    picture.Data = fresh;
}

} // namespace

bool is_operation(const std::string& option, bool& needs_value) {
    needs_value = option != "--gray" && option != "--negate";
    for (const Range& range : kRanges) {
        if (option == range.option && option != "--divisor" && option != "--mode") {
            return true;
        }
    }
    return !needs_value;
}

std::optional<OperationStep> parse_operation(const std::string& option, const std::string& value,
                                             std::string& error) {
    OperationStep step;
    step.option = option;
    if (!parse_step(option, value, step)) {
        error = range_error(option, value);
        return std::nullopt;
    }
    return step;
}

bool parse_kernel_setting(const std::string& option, const std::string& value,
                          std::vector<OperationStep>& steps, std::string& error) {
    const auto number = option == "--mode" ? parse_integer(value, 0, 255)
                                           : parse_integer(value, INT32_MIN, INT32_MAX);
    if (!number || (option == "--divisor" && *number == 0)) {
        error = range_error(option, value);
        return false;
    }
    bool found = false;
    for (OperationStep& step : steps) {
        if (step.kind == OpKind::Kernel) {
            found = true;
            if (option == "--mode") {
                step.mode = static_cast<uint8_t>(*number);
            } else {
                step.divisor = static_cast<int32_t>(*number);
            }
        }
    }
    if (!found) {
        error = option + " goes with --kernel, and there is none";
    }
    return found;
}

bool resolve_filters(const Module& ops, std::vector<OperationStep>& steps, std::string& error) {
    const MatrixDef* table = filter_table(ops);
    for (OperationStep& step : steps) {
        if (step.kind != OpKind::Convolve) {
            continue;
        }
        const MatrixDef* entry = table;
        while (entry != nullptr && entry->Name != nullptr &&
               normalised_name(entry->Name) != normalised_name(step.filter)) {
            ++entry;
        }
        if (entry == nullptr || entry->Name == nullptr) {
            error = "--convolve: no filter named '" + step.filter + "' (see 'orvi filters')";
            return false;
        }
        step.weights.assign(entry->Matrix, entry->Matrix + size_t{entry->Size} * entry->Size);
    }
    return true;
}

bool apply_operations(const Module& ops, HostPool& pool, Picture& picture,
                      const std::vector<OperationStep>& steps, std::string& error) {
    for (const OperationStep& step : steps) {
        const auto width = static_cast<uint32_t>(picture.Width);
        const auto height = static_cast<uint32_t>(picture.Height);
        const uint32_t pixel = picture.BytesPerPixel;
        const uint64_t bytes = uint64_t{width} * height * pixel;
        const int32_t* v = step.values.data();
        OpArgs args{};
        args.Width = width;
        args.Height = height;
        args.BytesPerPixel = pixel;
        if ((step.kind == OpKind::Rgb || step.kind == OpKind::Fill) && pixel != 3) {
            error = step.option + " needs a colour picture (it comes after --gray)";
            return false;
        }
        uint64_t dest_bytes = 0;
        uint64_t module_bytes = 256;
        switch (step.kind) {
        case OpKind::Rotate:
        case OpKind::Convolve:
        case OpKind::Kernel:
            dest_bytes = bytes;
            break;
        case OpKind::Gray:
            dest_bytes = pixel == 3 ? uint64_t{width} * height : 0;
            break;
        case OpKind::Resize:
            dest_bytes =
                uint64_t{static_cast<uint32_t>(v[0])} * static_cast<uint32_t>(v[1]) * pixel;
            module_bytes =
                (uint64_t{static_cast<uint32_t>(v[0])} + static_cast<uint32_t>(v[1])) * 4;
            break;
        case OpKind::Flip:
            module_bytes = uint64_t{width} * pixel;
            break;
        default:
            break;
        }
        uint8_t* dest = nullptr;
        if (dest_bytes != 0) {
            dest = static_cast<uint8_t*>(pool.allocate(dest_bytes));
        }
        if ((dest_bytes != 0 && dest == nullptr) || !has_room(pool, module_bytes)) {
            if (dest != nullptr) {
                pool.free(dest);
            }
            error = step.option + ": " + result_code_sentence(kOutOfMemory);
            return false;
        }
        args.Dest = dest;
        switch (step.kind) {
        case OpKind::Gamma:
        case OpKind::Brightness:
        case OpKind::Contrast:
        case OpKind::Negate:
        case OpKind::Rgb:
        case OpKind::Fill:
            args.Operation = byte_operation_code(step.kind);
            args.Param1 = v[0];
            args.Param2 = v[1];
            args.Param3 = v[2];
            bytewise(ops, pool, picture, args);
            break;
        case OpKind::Gray:
            if (pixel == 3) {
                args.Operation = kOpRgbToGray;
                args.Source = picture.Data;
                args.Count = width * height;
                call(ops, pool, args);
                replace_pixels(pool, picture, dest);
                picture.BytesPerPixel = 1;
            }
            break;
        case OpKind::Rotate:
            args.Operation = v[0] == 1 ? kOpRotateAnticlockwise : kOpRotateClockwise;
            args.Source = picture.Data;
            call(ops, pool, args);
            replace_pixels(pool, picture, dest);
            std::swap(picture.Width, picture.Height);
            break;
        case OpKind::Flip:
            args.Operation = v[0] == 1 ? kOpYFlip : kOpXFlip;
            args.Source = picture.Data;
            call(ops, pool, args);
            break;
        case OpKind::Resize:
            args.Operation = kOpResize;
            args.Source = picture.Data;
            args.Param1 = v[0];
            args.Param2 = v[1];
            call(ops, pool, args);
            replace_pixels(pool, picture, dest);
            picture.Width = v[0];
            picture.Height = v[1];
            break;
        case OpKind::Convolve:
        case OpKind::Kernel: {
            const auto row = static_cast<int32_t>(width * pixel);
            ImageView source{picture.Data, row, picture.Width, picture.Height,
                             static_cast<int32_t>(pixel)};
            ImageView target{dest, row, picture.Width, picture.Height, static_cast<int32_t>(pixel)};
            std::vector<int32_t> weights = step.weights;
            args.Operation = kOpConvolve;
            args.Source = reinterpret_cast<uint8_t*>(&source);
            args.Dest = reinterpret_cast<uint8_t*>(&target);
            args.Width = step.mode;
            args.Height = static_cast<uint32_t>(step.divisor.value_or(default_divisor(weights)));
            args.Count = weights.size() == 25 ? 5 : 3;
            args.Matrix = weights.data();
            call(ops, pool, args);
            replace_pixels(pool, picture, dest);
            break;
        }
        }
    }
    return true;
}

int list_filters() {
    std::string error;
    const auto ops = Module::open_ops(error);
    const MatrixDef* table = ops ? filter_table(*ops) : nullptr;
    if (table == nullptr) {
        std::fprintf(stderr, "orvi: %s\n",
                     ops ? "the ops module has no filter table" : error.c_str());
        return kExitFailed;
    }
    for (const MatrixDef* entry = table; entry->Name != nullptr; ++entry) {
        const std::vector<int32_t> weights(entry->Matrix,
                                           entry->Matrix + size_t{entry->Size} * entry->Size);
        std::printf("%s (%u x %u, default divisor %d)\n", entry->Name, entry->Size, entry->Size,
                    default_divisor(weights));
        for (size_t r = 0; r < entry->Size; ++r) {
            for (size_t k = 0; k < entry->Size; ++k) {
                std::printf("%4d", weights[r * entry->Size + k]);
            }
            std::printf("\n");
        }
    }
    return kExitOk;
}

} // namespace host
