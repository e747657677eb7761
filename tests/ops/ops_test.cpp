// The operations module through start_of_program: the documented values of every
// colour operation, the geometry cases, convolution in each mode, behaviour without a
// pool or with a failing pool, and the fast paths against the plain rules they keep.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "lib/host_pool.h"
#include "ops/ops_format.h"
#include "runtime/bands.h"
#include "runtime/globals.h"
#include "runtime/op_records.h"

extern "C" uint32_t start_of_program(OpArgs* args);

namespace {

using Bytes = std::vector<uint8_t>;

class Ops : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(pool_.live_blocks(), 0U) << "have live pool blocks"; }

    // Runs one operation; `with_pool` false hands the module no pool.
    void run(OpArgs args, bool with_pool = true) {
        args.Result = 77;
        args.Pool = with_pool ? pool_.handle() : nullptr;
        EXPECT_EQ(start_of_program(&args), 0U);
        EXPECT_EQ(args.Result, 0U);
        EXPECT_EQ(runtime::poolHeader, args.Pool);
    }
    Bytes byte_op(uint32_t code, Bytes data, int32_t p1, int32_t p2 = 0, int32_t p3 = 0,
                  bool with_pool = true) {
        OpArgs args{};
        args.Operation = code;
        args.Source = data.data();
        args.Count = static_cast<uint32_t>(data.size());
        args.Param1 = p1;
        args.Param2 = p2;
        args.Param3 = p3;
        run(args, with_pool);
        return data;
    }
    Bytes geometry(uint32_t code, Bytes data, uint32_t width, uint32_t height, uint32_t pixel,
                   size_t dest_size = 0, int32_t p1 = 0, int32_t p2 = 0, bool with_pool = true) {
        Bytes dest(dest_size, 0xEE);
        OpArgs args{};
        args.Operation = code;
        args.Source = data.data();
        args.Width = width;
        args.Height = height;
        args.BytesPerPixel = pixel;
        args.Param1 = p1;
        args.Param2 = p2;
        args.Dest = dest.data();
        run(args, with_pool);
        return dest_size != 0 ? dest : data;
    }

    orvi::HostPool pool_;
};

Bytes all_bytes() {
    Bytes bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

TEST_F(Ops, ColourOperationsGiveTheDocumentedValues) {
    struct Row {
        const char* reason;
        uint32_t code;
        int32_t param;
        Bytes in;
        Bytes want;
    };
    Bytes contrast_127_in;
    Bytes contrast_127_want;
    for (uint32_t i = 0; i < 256; ++i) {
        if ((i >= 124 && i <= 125) || (i >= 129 && i <= 132)) {
            continue; // values the curve gives here are not pinned down
        }
        contrast_127_in.push_back(static_cast<uint8_t>(i));
        const uint8_t special = i == 123 ? 2 : i == 126 ? 46 : i == 127 ? 127 : 128;
        contrast_127_want.push_back(i <= 122 ? 0 : (i >= 133 ? 255 : special));
    }
    const Row rows[] = {
        {"gamma 200", kOpSetGamma, 200, {1, 64, 128}, {16, 128, 181}},
        {"gamma 50", kOpSetGamma, 50, {1, 64, 128, 192}, {0, 16, 64, 145}},
        {"gamma 100 is the identity", kOpSetGamma, 100, all_bytes(), all_bytes()},
        {"gamma 0 leaves the picture", kOpSetGamma, 0, {1, 64, 200}, {1, 64, 200}},
        {"gamma -50 leaves the picture", kOpSetGamma, -50, {1, 64, 200}, {1, 64, 200}},
        {"contrast 0 is the identity", kOpSetContrast, 0, all_bytes(), all_bytes()},
        {"contrast -64", kOpSetContrast, -64, {0, 1, 64, 254, 255}, {11, 11, 90, 244, 244}},
        {"contrast 64", kOpSetContrast, 64, {32, 64, 100, 192}, {7, 31, 78, 225}},
        {"contrast -127",
         kOpSetContrast,
         -127,
         {0, 100, 127, 128, 200, 255},
         {127, 127, 127, 128, 128, 128}},
        {"contrast 127", kOpSetContrast, 127, contrast_127_in, contrast_127_want},
        {"contrast 128 leaves the picture", kOpSetContrast, 128, {5, 250}, {5, 250}},
        {"brightness +300 clamps", kOpSetBrightness, 300, {200, 0}, {255, 255}},
        {"brightness -300 clamps", kOpSetBrightness, -300, {50, 255}, {0, 0}},
        {"brightness 0", kOpSetBrightness, 0, all_bytes(), all_bytes()},
        {"brightness sum wraps in 16 bits", kOpSetBrightness, 65536 + 10, {1, 250}, {11, 255}},
        {"brightness 32767 wraps negative", kOpSetBrightness, 32767, {0, 1}, {255, 0}},
        {"negate", kOpNegate, 0, {0, 1, 254, 255}, {255, 254, 1, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(byte_op(row.code, row.in, row.param), row.want);
    }
}

TEST_F(Ops, ChannelOffsetsFillAndGrey) {
    EXPECT_EQ(byte_op(kOpSetRgb, {250, 100, 5, 0, 0, 0}, 10, 0, -10),
              (Bytes{255, 100, 0, 10, 0, 0}));
    EXPECT_EQ(byte_op(kOpFill, Bytes(7, 9), 0x1FF, 2, 3), (Bytes{255, 2, 3, 255, 2, 3, 9}))
        << "only the low byte counts; a partial pixel stays";
    for (const uint32_t pixel : {1U, 3U}) {
        Bytes source{200, 10, 10, 7, 8, 9};
        Bytes dest(2, 0xEE);
        OpArgs args{};
        args.Operation = kOpRgbToGray;
        args.Source = source.data();
        args.Dest = dest.data();
        args.BytesPerPixel = pixel;
        args.Count = 2;
        run(args);
        EXPECT_EQ(dest, pixel == 3 ? (Bytes{200, 7}) : (Bytes{0xEE, 0xEE}));
    }
    Bytes source{1, 2, 3};
    Bytes dest{9, 9, 9};
    OpArgs args{};
    args.Operation = kOpCopy;
    args.Source = source.data();
    args.Dest = dest.data();
    run(args);
    EXPECT_EQ(dest, (Bytes{9, 9, 9})) << "Count 0 copies nothing";
    args.Count = 3;
    run(args);
    EXPECT_EQ(dest, source);
}

TEST_F(Ops, CodesAboveThirteenChangeNothing) {
    for (const uint32_t code : {14U, 0xFFFFFFFFU}) {
        Bytes data{1, 2, 3};
        OpArgs args{};
        args.Operation = code;
        args.Source = data.data();
        args.Count = 3;
        run(args);
        EXPECT_EQ(data, (Bytes{1, 2, 3}));
    }
}

TEST_F(Ops, RotationsAndFlipsMovePixelsWhereTheRulesSay) {
    const Bytes picture{1, 2, 3, 4, 5, 6}; // rows (1 2 3) and (4 5 6)
    EXPECT_EQ(geometry(kOpRotateAnticlockwise, picture, 3, 2, 1, 6), (Bytes{3, 6, 2, 5, 1, 4}));
    EXPECT_EQ(geometry(kOpRotateClockwise, picture, 3, 2, 1, 6), (Bytes{4, 1, 5, 2, 6, 3}));
    EXPECT_EQ(geometry(kOpXFlip, {1, 2, 3, 4, 5}, 5, 1, 1), (Bytes{5, 4, 3, 2, 1}));
    EXPECT_EQ(geometry(kOpXFlip, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 1, 3),
              (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3}));
    EXPECT_EQ(geometry(kOpYFlip, {1, 2, 3}, 1, 3, 1), (Bytes{3, 2, 1}));
    EXPECT_EQ(geometry(kOpYFlip, {1, 2}, 2, 1, 1), (Bytes{1, 2}));
    EXPECT_EQ(geometry(kOpYFlip, {1, 2, 3}, 1, 3, 1, 0, 0, 0, false), (Bytes{1, 2, 3}))
        << "no pool, no row buffer, no change";
}

TEST_F(Ops, YFlipMirrorsRowsLongerThan65535Bytes) {
    const uint32_t width = 30000;
    Bytes picture(size_t{width} * 3 * 2);
    std::fill(picture.begin(), picture.begin() + width * 3, 1);
    std::fill(picture.begin() + width * 3, picture.end(), 2);
    const Bytes flipped = geometry(kOpYFlip, picture, width, 2, 3);
    EXPECT_TRUE(std::all_of(flipped.begin(), flipped.begin() + width * 3,
                            [](uint8_t b) { return b == 2; }));
    EXPECT_TRUE(
        std::all_of(flipped.begin() + width * 3, flipped.end(), [](uint8_t b) { return b == 1; }));
}

// Rotation by the rule, pixel by pixel in storage order.
Bytes reference_rotation(const Bytes& source, size_t width, size_t height, size_t pixel,
                         bool anticlockwise) {
    Bytes dest(source.size());
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            const size_t index =
                anticlockwise ? (width - 1 - x) * height + y : x * height + (height - 1 - y);
            std::copy_n(source.begin() + static_cast<ptrdiff_t>((y * width + x) * pixel), pixel,
                        dest.begin() + static_cast<ptrdiff_t>(index * pixel));
        }
    }
    return dest;
}

TEST_F(Ops, TiledRotationEqualsTheRowByRowRule) {
    std::minstd_rand random(3);
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {130, 67}, {64, 64}, {65, 1}, {1, 200}};
    for (const auto& [width, height] : sizes) {
        for (const uint32_t pixel : {1U, 3U}) {
            Bytes picture(size_t{width} * height * pixel);
            std::generate(picture.begin(), picture.end(),
                          [&] { return static_cast<uint8_t>(random()); });
            for (const bool anticlockwise : {true, false}) {
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
                EXPECT_EQ(geometry(anticlockwise ? kOpRotateAnticlockwise : kOpRotateClockwise,
                                   picture, width, height, pixel, picture.size()),
                          reference_rotation(picture, width, height, pixel, anticlockwise));
            }
        }
    }
}

TEST_F(Ops, ResizeCases) {
    Bytes four(16);
    std::iota(four.begin(), four.end(), 0);
    Bytes five(25);
    std::iota(five.begin(), five.end(), 0);
    struct Row {
        const char* reason;
        Bytes source;
        uint32_t width, height, new_width, new_height;
        bool with_pool;
        Bytes want;
    };
    const Row rows[] = {
        {"4x4 to 2x2 halves", four, 4, 4, 2, 2, false, {0, 2, 8, 10}},
        {"5x5 to 2x2 halves too", five, 5, 5, 2, 2, false, {0, 2, 10, 12}},
        {"2x1 to 4x2 doubles", {7, 8}, 2, 1, 4, 2, false, {7, 7, 8, 8, 7, 7, 8, 8}},
        {"3x1 to 2x1 steps 1.5", {1, 2, 3}, 3, 1, 2, 1, true, {1, 2}},
        {"2x1 to 3x1 steps just under 2/3", {1, 2}, 2, 1, 3, 1, true, {1, 1, 2}},
        {"same size copies", {1, 2, 3, 4}, 2, 2, 2, 2, true, {1, 2, 3, 4}},
        {"same size without a pool writes nothing",
         {1, 2, 3, 4},
         2,
         2,
         2,
         2,
         false,
         {0xEE, 0xEE, 0xEE, 0xEE}},
        {"width 0 writes nothing", {1, 2}, 2, 1, 0, 3, true, {0xEE}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        const size_t size = std::max<size_t>(size_t{row.new_width} * row.new_height, 1);
        EXPECT_EQ(geometry(kOpResize, row.source, row.width, row.height, 1, size,
                           static_cast<int32_t>(row.new_width),
                           static_cast<int32_t>(row.new_height), row.with_pool),
                  row.want);
    }
}

TEST_F(Ops, ResizeKeepsTheRuleForSidesOf32768AndMore) {
    const uint32_t width = 40000;
    Bytes row(width * 3);
    for (size_t i = 0; i < row.size(); ++i) {
        row[i] = static_cast<uint8_t>(i / 3 % 251);
    }
    const Bytes out = geometry(kOpResize, row, width, 1, 3, 9, 3, 1);
    const uint64_t step = (uint64_t{width} << 16U) / 3;
    for (size_t i = 0; i < 3; ++i) {
        const size_t column = (i * step) >> 16U;
        EXPECT_EQ(out[i * 3], row[column * 3]) << "column " << i;
    }
}

TEST_F(Ops, PoolFailuresLeaveThePictureAndFreeEverything) {
    const Bytes picture{10, 20, 30, 40, 50, 60};
    for (uint64_t nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
        pool_.fail_allocation(nth);
        EXPECT_EQ(geometry(kOpResize, picture, 3, 2, 1, 2, 1, 2), (Bytes{0xEE, 0xEE}));
        pool_.fail_allocation(1);
        EXPECT_EQ(byte_op(kOpSetGamma, picture, 200), picture);
        pool_.fail_allocation(1);
        EXPECT_EQ(byte_op(kOpSetContrast, picture, 50), picture);
        pool_.fail_allocation(1);
        EXPECT_EQ(geometry(kOpYFlip, picture, 3, 2, 1), picture);
        pool_.fail_allocation(0);
    }
    EXPECT_EQ(byte_op(kOpSetGamma, picture, 200, 0, 0, false), picture);
    EXPECT_EQ(byte_op(kOpSetContrast, picture, 50, 0, 0, false), picture);
}

// Convolution by the rule: a window and a division per byte.
Bytes reference_convolution(const Bytes& source, int32_t width, int32_t height, int32_t pixel,
                            const std::vector<int32_t>& weights, int32_t divisor, uint8_t mode) {
    const int32_t size = weights.size() == 25 ? 5 : 3;
    const int32_t radius = size / 2;
    Bytes dest = source;
    for (int32_t y = radius; y < height - radius; ++y) {
        for (int32_t x = radius; x < width - radius; ++x) {
            for (int32_t c = 0; c < pixel; ++c) {
                uint32_t sum = 0;
                for (int32_t r = 0; r < size; ++r) {
                    for (int32_t k = 0; k < size; ++k) {
                        const size_t at = static_cast<size_t>(
                            ((y - radius + r) * width + x - radius + k) * pixel + c);
                        sum += static_cast<uint32_t>(weights[static_cast<size_t>(r * size + k)]) *
                               source[at];
                    }
                }
                int64_t value = int64_t{static_cast<int32_t>(sum)} / divisor;
                value = mode == 2 ? value + 128 : (mode != 0 && value < 0 ? -value : value);
                dest[static_cast<size_t>((y * width + x) * pixel + c)] =
                    static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
            }
        }
    }
    return dest;
}

class Convolve : public Ops {
protected:
    Bytes filter(const Bytes& source, int32_t width, int32_t height, int32_t pixel,
                 std::vector<int32_t> weights, int32_t divisor, uint8_t mode, int32_t stride = 0) {
        const int32_t row = stride != 0 ? stride : width * pixel;
        Bytes padded(static_cast<size_t>(row * height), 0xAB);
        for (int32_t y = 0; y < height; ++y) {
            std::copy_n(source.begin() + y * width * pixel, width * pixel,
                        padded.begin() + y * row);
        }
        Bytes out(padded.size(), 0xEE);
        ImageView from{padded.data(), row, width, height, pixel};
        ImageView to{out.data(), row, width, height, pixel};
        OpArgs args{};
        args.Operation = kOpConvolve;
        args.Source = reinterpret_cast<uint8_t*>(&from);
        args.Dest = reinterpret_cast<uint8_t*>(&to);
        args.Width = mode;
        args.Height = static_cast<uint32_t>(divisor);
        args.Count = weights.size() == 25 ? 5 : (weights.size() == 16 ? 4 : 3);
        args.Matrix = weights.data();
        run(args);
        Bytes compact;
        for (int32_t y = 0; y < height; ++y) {
            compact.insert(compact.end(), out.begin() + y * row,
                           out.begin() + y * row + width * pixel);
            EXPECT_TRUE(std::all_of(out.begin() + y * row + width * pixel,
                                    out.begin() + (y + 1) * row,
                                    [](uint8_t b) { return b == 0xEE; }))
                << "bytes past the row were written";
        }
        return compact;
    }
};

const std::vector<int32_t> kLaplace{-1, -1, -1, -1, 8, -1, -1, -1, -1};
const std::vector<int32_t> kPrewitt{-1, 0, 1, -1, 0, 1, -1, 0, 1};

Bytes ramp(int32_t width, int32_t height, int32_t step) {
    Bytes out;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            out.push_back(static_cast<uint8_t>(100 + step * x));
        }
    }
    return out;
}

TEST_F(Convolve, DocumentedCases) {
    const Bytes uniform(36, 100);
    std::vector<int32_t> identity(25, 0);
    identity[12] = 1;
    const Bytes random = ramp(6, 6, 7);
    EXPECT_EQ(filter(random, 6, 6, 1, identity, 1, 0), random) << "custom identity";
    EXPECT_EQ(filter(uniform, 6, 6, 1, std::vector<int32_t>(9, 1), 9, 0), uniform) << "blur";
    EXPECT_EQ(filter(uniform, 6, 6, 1, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0), uniform) << "gaussian";
    for (const uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
        const Bytes out = filter(uniform, 6, 6, 1, kLaplace, 1, mode);
        EXPECT_EQ(out[7], mode == 2 ? 128 : 0) << "laplace mode " << int{mode};
        EXPECT_EQ(out[0], 100) << "border keeps its level";
    }
    EXPECT_EQ(filter(ramp(5, 5, 10), 5, 5, 1, kPrewitt, 1, 0)[6], 60);
    const uint8_t mirrored[] = {0, 60, 68};
    for (const uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
        EXPECT_EQ(filter(ramp(5, 5, -10), 5, 5, 1, kPrewitt, 1, mode)[6], mirrored[mode]);
    }
    EXPECT_EQ(filter(ramp(5, 5, 10), 5, 5, 1, kPrewitt, -1, 0)[6], 0) << "divisor -1, positive sum";
    EXPECT_EQ(filter(ramp(5, 5, -10), 5, 5, 1, kPrewitt, -1, 0)[6], 60)
        << "divisor -1, negative sum";
    const Bytes two_rows = ramp(5, 2, 3);
    EXPECT_EQ(filter(two_rows, 5, 2, 1, kLaplace, 1, 0), two_rows);
}

TEST_F(Convolve, UnfilterableArgumentsCopyTheSource) {
    const Bytes picture = ramp(6, 6, 5);
    EXPECT_EQ(filter(picture, 6, 6, 1, kLaplace, 0, 0), picture) << "divisor 0";
    EXPECT_EQ(filter(picture, 6, 6, 1, std::vector<int32_t>(16, 1), 1, 0), picture) << "edge 4";
    EXPECT_EQ(filter(ramp(3, 3, 5), 3, 3, 1, std::vector<int32_t>(25, 1), 1, 0), ramp(3, 3, 5))
        << "picture smaller than the 5 x 5 window";
}

TEST_F(Convolve, RowWiseSumsEqualTheWindowRule) {
    std::minstd_rand random(5);
    for (int round = 0; round < 300; ++round) {
        const int32_t size = round % 2 == 0 ? 3 : 5;
        const auto width = size + static_cast<int32_t>(random() % 40);
        const auto height = size + static_cast<int32_t>(random() % 9);
        const auto pixel = static_cast<int32_t>(1 + random() % 4);
        Bytes picture(static_cast<size_t>(width * height * pixel));
        std::generate(picture.begin(), picture.end(),
                      [&] { return static_cast<uint8_t>(random()); });
        std::vector<int32_t> weights(static_cast<size_t>(size * size));
        const bool huge = round % 7 == 0; // sums that wrap in 32 bits
        std::generate(weights.begin(), weights.end(), [&] {
            return huge ? static_cast<int32_t>(random() * 2654435761U)
                        : static_cast<int32_t>(random() % 41) - 20;
        });
        const int32_t divisors[] = {1,         -1,        9, -7,    16,      1000,
                                    INT32_MIN, INT32_MAX, 3, 65537, -131073, 2};
        const int32_t divisor = divisors[random() % 12];
        const auto mode = static_cast<uint8_t>(random() % 4);
        const auto stride = width * pixel + static_cast<int32_t>(random() % 5);
        SCOPED_TRACE("round " + std::to_string(round) + " divisor " + std::to_string(divisor) +
                     " mode " + std::to_string(mode) + " size " + std::to_string(size) + " pixel " +
                     std::to_string(pixel) + (huge ? " huge" : ""));
        ASSERT_EQ(filter(picture, width, height, pixel, weights, divisor, mode, stride),
                  reference_convolution(picture, width, height, pixel, weights, divisor, mode));
    }
}

// Each operation on a picture large enough for several bands, with `threads` threads.
class OpsInBands : public ::testing::Test {
protected:
    static constexpr uint32_t kWidth = 1531; // odd sides: bands of unequal rows and tiles
    static constexpr uint32_t kHeight = 1021;

    OpsInBands() {
        std::minstd_rand random(9);
        source_.resize(size_t{kWidth} * kHeight * 3);
        std::generate(source_.begin(), source_.end(),
                      [&] { return static_cast<uint8_t>(random()); });
    }
    void TearDown() override { EXPECT_EQ(pool_.live_blocks(), 0U); }

    // The picture after `args` (Source, Dest and Pool are filled in), with its Dest.
    Bytes run(OpArgs args, uint32_t threads, size_t dest_size) {
        Bytes data = source_;
        Bytes dest(dest_size, 0xEE);
        pool_.set_threads(threads);
        args.Source = data.data();
        args.Dest = dest.data();
        args.Pool = pool_.handle();
        start_of_program(&args);
        return dest_size != 0 ? dest : data;
    }
    Bytes convolve(const std::vector<int32_t>& weights, uint32_t threads) {
        Bytes out(source_.size(), 0xEE);
        const auto row = static_cast<int32_t>(kWidth * 3);
        ImageView from{source_.data(), row, kWidth, kHeight, 3};
        ImageView to{out.data(), row, kWidth, kHeight, 3};
        OpArgs args{};
        args.Operation = kOpConvolve;
        args.Source = reinterpret_cast<uint8_t*>(&from);
        args.Dest = reinterpret_cast<uint8_t*>(&to);
        args.Height = 7;
        args.Width = 2;
        args.Count = weights.size() == 25 ? 5 : 3;
        args.Matrix = const_cast<int32_t*>(weights.data());
        pool_.set_threads(threads);
        args.Pool = pool_.handle();
        start_of_program(&args);
        return out;
    }

    Bytes source_;
    orvi::HostPool pool_;
};

TEST_F(OpsInBands, EveryOperationGivesTheSameBytesOnAnyNumberOfThreads) {
    struct Case {
        const char* name;
        uint32_t code;
        uint32_t pixel;
        int32_t p1, p2, p3;
        size_t dest; // bytes of destination, 0 for in place
    };
    const size_t whole = size_t{kWidth} * kHeight * 3;
    const Case cases[] = {
        {"gamma", kOpSetGamma, 3, 170, 0, 0, 0},
        {"brightness", kOpSetBrightness, 3, -40, 0, 0, 0},
        {"rgb", kOpSetRgb, 3, 30, 0, -70, 0},
        {"contrast", kOpSetContrast, 3, 60, 0, 0, 0},
        {"grey", kOpRgbToGray, 3, 0, 0, 0, whole / 3},
        {"negate", kOpNegate, 3, 0, 0, 0, 0},
        {"anticlockwise", kOpRotateAnticlockwise, 3, 0, 0, 0, whole},
        {"clockwise", kOpRotateClockwise, 3, 0, 0, 0, whole},
        {"clockwise, a byte a pixel", kOpRotateClockwise, 1, 0, 0, 0, whole / 3},
        {"mirror", kOpXFlip, 3, 0, 0, 0, 0},
        {"mirror, a byte a pixel", kOpXFlip, 1, 0, 0, 0, 0},
        {"upside down", kOpYFlip, 3, 0, 0, 0, 0},
        {"halving", kOpResize, 3, kWidth / 2, kHeight / 2, 0, whole / 4},
        {"doubling", kOpResize, 3, 2 * kWidth, 2 * kHeight, 0, 4 * whole},
        {"shrinking", kOpResize, 3, 1000, 700, 0, 1000 * 700 * 3},
        {"growing, a byte a pixel", kOpResize, 1, 1700, 1100, 0, 1700 * 1100},
        {"copy", kOpCopy, 3, 0, 0, 0, whole},
        {"fill", kOpFill, 3, 1, 2, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpArgs args{};
        args.Operation = c.code;
        args.Width = kWidth;
        args.Height = kHeight;
        args.BytesPerPixel = c.pixel;
        args.Count = static_cast<uint32_t>(c.code == kOpRgbToGray ? whole / 3 : whole);
        args.Param1 = c.p1;
        args.Param2 = c.p2;
        args.Param3 = c.p3;
        const Bytes alone = run(args, 1, c.dest);
        EXPECT_NE(alone, c.dest != 0 ? Bytes(c.dest, 0xEE) : source_) << "the operation ran";
        for (const uint32_t threads : {2U, 3U, 7U}) {
            EXPECT_EQ(run(args, threads, c.dest), alone) << threads << " threads";
        }
    }
    const std::vector<int32_t> sharpen{0, -1, 0, -1, 9, -1, 0, -1, 0};
    const std::vector<int32_t> wide{1, 2, 3, 2, 1, 2, 4, 6, 4, 2, 3, 6, -9,
                                    6, 3, 2, 4, 6, 4, 2, 1, 2, 3, 2, 1};
    for (const auto* weights : {&sharpen, &wide}) {
        const Bytes alone = convolve(*weights, 1);
        for (const uint32_t threads : {2U, 3U, 7U}) {
            EXPECT_EQ(convolve(*weights, threads), alone) << weights->size() << " weights";
        }
    }
    // The picture is large enough that the work above was split.
    pool_.set_threads(3);
    runtime::poolHeader = pool_.handle();
    EXPECT_EQ(runtime::band_count(size_t{kWidth} * kHeight, ops::kLeastBandPixels), 3U);
    EXPECT_EQ(runtime::band_count(whole, ops::kLeastBandBytes), 3U);
    EXPECT_EQ(runtime::band_count(kHeight, ops::least_band_rows(kWidth)), 3U);
}

TEST(Bands, EveryItemIsWorkedOnceInItsBand) {
    orvi::HostPool pool;
    runtime::poolHeader = pool.handle();
    for (const uint32_t threads : {1U, 2U, 5U}) {
        pool.set_threads(threads);
        EXPECT_EQ(runtime::job_threads(), threads);
        for (const size_t count : {size_t{0}, size_t{1}, size_t{4}, size_t{1000}}) {
            const uint32_t bands = runtime::band_count(count, 3);
            EXPECT_EQ(bands, std::max<size_t>(1, std::min<size_t>(threads, count / 3)));
            std::vector<int> seen(count, 0);
            std::vector<uint32_t> band_of(count, 99);
            runtime::run_bands(count, bands, [&](uint32_t band, size_t first, size_t end) {
                for (size_t i = first; i < end; ++i) {
                    ++seen[i];
                    band_of[i] = band;
                }
            });
            EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
            EXPECT_TRUE(std::is_sorted(band_of.begin(), band_of.end()));
        }
    }
    runtime::poolHeader = nullptr;
    EXPECT_EQ(runtime::job_threads(), 1U) << "no pool: the caller's thread alone";
}

TEST(OpsDivider, EqualsTruncatingDivision) {
    std::minstd_rand random(9);
    std::vector<int32_t> values = {0,      1, -1, 2, -2, 7, -7, INT32_MAX, INT32_MIN, INT32_MIN + 1,
                                   1 << 30};
    for (int i = 0; i < 2000; ++i) {
        values.push_back(static_cast<int32_t>(random() * 2654435761U));
    }
    for (const int32_t divisor : values) {
        if (divisor == 0) {
            continue;
        }
        const ops::Divider divide(divisor);
        for (size_t i = 0; i < values.size(); i += 7) {
            const int32_t n = values[i];
            ASSERT_EQ(divide(n), int64_t{n} / divisor) << n << " / " << divisor;
        }
    }
}

} // namespace
