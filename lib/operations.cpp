// Operations as values (their constructors and checks) and their application through
// the ops module.
#include "lib/operations.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

#include "lib/names.h"
#include "ops/ops_rules.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

bool within(int64_t value, int64_t low, int64_t high) {
    return value >= low && value <= high;
}

bool all_within(const std::array<int32_t, 3>& values, size_t count, int64_t low, int64_t high) {
    return std::all_of(values.begin(), values.begin() + static_cast<ptrdiff_t>(count),
                       [&](int32_t value) { return within(value, low, high); });
}

using Kind = Operation::Kind;

Operation of(Kind kind) {
    Operation operation;
    operation.kind = kind;
    return operation;
}

} // namespace

Operation Operation::gamma(double gamma) {
    Operation operation = of(Kind::Gamma);
    const double hundredths = std::round(gamma * 100.0);
    operation.values[0] = std::isfinite(hundredths) && std::fabs(hundredths) < 1e9
                              ? static_cast<int32_t>(hundredths)
                              : 0;
    return operation;
}

Operation Operation::brightness(int32_t offset) {
    Operation operation = of(Kind::Brightness);
    operation.values[0] = offset;
    return operation;
}

Operation Operation::rgb(int32_t red, int32_t green, int32_t blue) {
    Operation operation = of(Kind::Rgb);
    operation.values = {red, green, blue};
    return operation;
}

Operation Operation::contrast(int32_t contrast) {
    Operation operation = of(Kind::Contrast);
    operation.values[0] = contrast;
    return operation;
}

Operation Operation::gray() {
    return of(Kind::Gray);
}

Operation Operation::negate() {
    return of(Kind::Negate);
}

Operation Operation::rotate(bool anticlockwise) {
    Operation operation = of(Kind::Rotate);
    operation.values[0] = anticlockwise ? 1 : 0;
    return operation;
}

Operation Operation::flip(bool top_bottom) {
    Operation operation = of(Kind::Flip);
    operation.values[0] = top_bottom ? 1 : 0;
    return operation;
}

Operation Operation::resize(uint32_t width, uint32_t height) {
    Operation operation = of(Kind::Resize);
    operation.values[0] = static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX));
    operation.values[1] = static_cast<int32_t>(std::min<uint32_t>(height, INT32_MAX));
    return operation;
}

Operation Operation::fill(int32_t red, int32_t green, int32_t blue) {
    Operation operation = of(Kind::Fill);
    operation.values = {red, green, blue};
    return operation;
}

Operation Operation::convolve(std::string filter, std::optional<int32_t> divisor, uint8_t mode) {
    Operation operation = of(Kind::Convolve);
    operation.filter = std::move(filter);
    operation.divisor = divisor;
    operation.mode = mode;
    return operation;
}

Operation Operation::kernel(std::vector<int32_t> weights, std::optional<int32_t> divisor,
                            uint8_t mode) {
    Operation operation = of(Kind::Kernel);
    operation.weights = std::move(weights);
    operation.divisor = divisor;
    operation.mode = mode;
    return operation;
}

std::string check(const Operation& operation) {
    const auto& v = operation.values;
    switch (operation.kind) {
    case Operation::Kind::Gamma:
        return within(v[0], 1, 10000) ? "" : "the gamma is outside 0.01..100";
    case Operation::Kind::Brightness:
        return within(v[0], -255, 255) ? "" : "the brightness is outside -255..255";
    case Operation::Kind::Rgb:
        return all_within(v, 3, -255, 255) ? "" : "an offset is outside -255..255";
    case Operation::Kind::Contrast:
        return within(v[0], -127, 127) ? "" : "the contrast is outside -127..127";
    case Operation::Kind::Rotate:
    case Operation::Kind::Flip:
        return within(v[0], 0, 1) ? "" : "the direction is neither 0 nor 1";
    case Operation::Kind::Resize:
        return all_within(v, 2, 1, 65535) ? "" : "a side is outside 1..65535";
    case Operation::Kind::Fill:
        return all_within(v, 3, 0, 255) ? "" : "a colour sample is outside 0..255";
    case Operation::Kind::Convolve:
    case Operation::Kind::Kernel:
        if (operation.kind == Operation::Kind::Kernel && operation.weights.size() != 9 &&
            operation.weights.size() != 25) {
            return "a kernel has 9 or 25 weights";
        }
        return operation.divisor == 0 ? "the divisor is 0" : "";
    case Operation::Kind::Gray:
    case Operation::Kind::Negate:
        return "";
    }
    return "";
}

} // namespace orvi

namespace orvi {
namespace {

using orvi::Operation;

// The largest Count one call takes: a whole number of three-byte pixels.
constexpr uint64_t kMaxChunk = 0xFFFFFFFFULL - 0xFFFFFFFFULL % 3;
// The geometric operations read sides in 16 bits.
constexpr uint32_t kMostGeometrySide = 65535;

// A filter name as it is compared: lower case, without spaces, dashes or underscores.
std::string comparable(std::string_view name) {
    std::string kept;
    for (const char c : name) {
        if (c != ' ' && c != '-' && c != '_') {
            kept += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return kept;
}

int32_t default_divisor(const std::vector<int32_t>& weights) {
    const int64_t sum = std::accumulate(weights.begin(), weights.end(), int64_t{0});
    return sum > 0 && sum <= INT32_MAX ? static_cast<int32_t>(sum) : 1;
}

const MatrixDef* filter_table(const Module& ops) {
    return static_cast<const MatrixDef*>(ops.symbol("matdef"));
}

// One call of the module.
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

uint32_t byte_operation_code(Operation::Kind kind) {
    switch (kind) {
    case Operation::Kind::Gamma:
        return kOpSetGamma;
    case Operation::Kind::Brightness:
        return kOpSetBrightness;
    case Operation::Kind::Contrast:
        return kOpSetContrast;
    case Operation::Kind::Rgb:
        return kOpSetRgb;
    case Operation::Kind::Fill:
        return kOpFill;
    default:
        return kOpNegate;
    }
}

// Room in the pool for what an operation takes inside the module: the module reports
// nothing, so without this check a refused block would pass unnoticed.
bool has_room(const HostPool& pool, uint64_t bytes) {
    const uint64_t live = pool.live_bytes();
    return pool.limit() >= live && pool.limit() - live >= bytes;
}

void replace_pixels(HostPool& pool, Picture& picture, uint8_t* fresh) {
    pool.free(picture.Data);
    picture.Data = fresh;
}

// The weights of a named filter, or a sentence listing the names there are.
bool weights_of(const Module& ops, const std::string& name, std::vector<int32_t>& weights,
                std::string& error) {
    const MatrixDef* table = filter_table(ops);
    std::string names;
    for (const MatrixDef* entry = table; entry != nullptr && entry->Name != nullptr; ++entry) {
        if (comparable(entry->Name) == comparable(name)) {
            weights.assign(entry->Matrix, entry->Matrix + size_t{entry->Size} * entry->Size);
            return true;
        }
        names += (names.empty() ? "" : ", ") + comparable(entry->Name);
    }
    error = "no filter named '" + name + "' (the filters: " + names +
            "; case, spaces and dashes do not matter)";
    return false;
}

bool fail(orvi::Error& error, int32_t code, std::string sentence) {
    error = {code, std::move(sentence)};
    return false;
}

} // namespace

bool filter_weights(const Module& ops, const std::string& name, std::vector<int32_t>& weights,
                    std::string& error) {
    return weights_of(ops, name, weights, error);
}

std::vector<orvi::Filter> module_filters(const Module& ops) {
    std::vector<orvi::Filter> filters;
    for (const MatrixDef* entry = filter_table(ops); entry != nullptr && entry->Name != nullptr;
         ++entry) {
        orvi::Filter filter{entry->Name, entry->Size, {}, 1};
        filter.weights.assign(entry->Matrix, entry->Matrix + size_t{entry->Size} * entry->Size);
        filter.default_divisor = default_divisor(filter.weights);
        filters.push_back(std::move(filter));
    }
    return filters;
}

bool apply_operation(const Module& ops, HostPool& pool, Picture& picture,
                     const Operation& operation, orvi::Error& error) {
    const auto width = static_cast<uint32_t>(picture.Width);
    const auto height = static_cast<uint32_t>(picture.Height);
    const uint32_t pixel = picture.BytesPerPixel;
    const uint64_t bytes = uint64_t{width} * height * pixel;
    const auto& v = operation.values;
    const Operation::Kind kind = operation.kind;
    if ((kind == Operation::Kind::Rgb || kind == Operation::Kind::Fill) && pixel != 3) {
        return fail(error, orvi::kBadOperation, "it needs a colour picture, not a grey one");
    }
    const bool geometric = kind == Operation::Kind::Rotate || kind == Operation::Kind::Flip ||
                           kind == Operation::Kind::Resize;
    if (geometric && (width > kMostGeometrySide || height > kMostGeometrySide)) {
        return fail(error, orvi::kDoesNotFit,
                    "turns, mirrors and resizing take pictures of at most 65535 x 65535 "
                    "pixels, and the picture is " +
                        std::to_string(width) + " x " + std::to_string(height));
    }
    std::vector<int32_t> weights = operation.weights;
    std::string why;
    if (kind == Operation::Kind::Convolve && !weights_of(ops, operation.filter, weights, why)) {
        return fail(error, orvi::kBadOperation, why);
    }
    OpArgs args{};
    args.Width = width;
    args.Height = height;
    args.BytesPerPixel = pixel;
    uint64_t dest_bytes = 0;
    switch (kind) {
    case Operation::Kind::Rotate:
    case Operation::Kind::Convolve:
    case Operation::Kind::Kernel:
        dest_bytes = bytes;
        break;
    case Operation::Kind::Gray:
        dest_bytes = pixel == 3 ? uint64_t{width} * height : 0;
        break;
    case Operation::Kind::Resize:
        dest_bytes = uint64_t{static_cast<uint32_t>(v[0])} * static_cast<uint32_t>(v[1]) * pixel;
        break;
    default:
        break;
    }
    switch (kind) {
    case Operation::Kind::Gamma:
    case Operation::Kind::Brightness:
    case Operation::Kind::Contrast:
    case Operation::Kind::Negate:
    case Operation::Kind::Rgb:
    case Operation::Kind::Fill:
        args.Operation = byte_operation_code(kind);
        args.Param1 = v[0];
        args.Param2 = v[1];
        args.Param3 = v[2];
        break;
    case Operation::Kind::Gray:
        args.Operation = kOpRgbToGray;
        break;
    case Operation::Kind::Rotate:
        args.Operation = v[0] == 1 ? kOpRotateAnticlockwise : kOpRotateClockwise;
        break;
    case Operation::Kind::Flip:
        args.Operation = v[0] == 1 ? kOpYFlip : kOpXFlip;
        break;
    case Operation::Kind::Resize:
        args.Operation = kOpResize;
        args.Param1 = v[0];
        args.Param2 = v[1];
        break;
    case Operation::Kind::Convolve:
    case Operation::Kind::Kernel:
        args.Operation = kOpConvolve;
        break;
    }
    uint8_t* dest = nullptr;
    if (dest_bytes != 0) {
        dest = static_cast<uint8_t*>(pool.allocate(dest_bytes));
    }
    if ((dest_bytes != 0 && dest == nullptr) || !has_room(pool, ops::scratch_bytes(args))) {
        if (dest != nullptr) {
            pool.free(dest);
        }
        return fail(error, kOutOfMemory, result_code_sentence(kOutOfMemory));
    }
    args.Dest = dest;
    switch (kind) {
    case Operation::Kind::Gamma:
    case Operation::Kind::Brightness:
    case Operation::Kind::Contrast:
    case Operation::Kind::Negate:
    case Operation::Kind::Rgb:
    case Operation::Kind::Fill:
        bytewise(ops, pool, picture, args);
        break;
    case Operation::Kind::Gray:
        if (pixel == 3) {
            args.Source = picture.Data;
            args.Count = width * height;
            call(ops, pool, args);
            replace_pixels(pool, picture, dest);
            picture.BytesPerPixel = 1;
        }
        break;
    case Operation::Kind::Rotate:
        args.Source = picture.Data;
        call(ops, pool, args);
        replace_pixels(pool, picture, dest);
        std::swap(picture.Width, picture.Height);
        break;
    case Operation::Kind::Flip:
        args.Source = picture.Data;
        call(ops, pool, args);
        break;
    case Operation::Kind::Resize:
        args.Source = picture.Data;
        call(ops, pool, args);
        replace_pixels(pool, picture, dest);
        picture.Width = v[0];
        picture.Height = v[1];
        break;
    case Operation::Kind::Convolve:
    case Operation::Kind::Kernel: {
        const auto row = static_cast<int32_t>(width * pixel);
        ImageView source{picture.Data, row, picture.Width, picture.Height,
                         static_cast<int32_t>(pixel)};
        ImageView target{dest, row, picture.Width, picture.Height, static_cast<int32_t>(pixel)};
        args.Source = reinterpret_cast<uint8_t*>(&source);
        args.Dest = reinterpret_cast<uint8_t*>(&target);
        args.Width = operation.mode;
        args.Height = static_cast<uint32_t>(operation.divisor.value_or(default_divisor(weights)));
        args.Count = weights.size() == 25 ? 5 : 3;
        args.Matrix = weights.data();
        call(ops, pool, args);
        replace_pixels(pool, picture, dest);
        break;
    }
    }
    return true;
}

} // namespace orvi
