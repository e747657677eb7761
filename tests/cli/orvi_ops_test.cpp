// The command's operation options end to end through the real ops module: each option
// on a 2 x 2 picture, chains, value ranges, and the filter listing.
#include <gtest/gtest.h>

#include "tests/cli/orvi_run.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;
using testing_support::concat;

const Bytes kPixels{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};

Bytes ppm(const Bytes& pixels, const char* size = "2 2", const char* magic = "P6") {
    return concat(bytes_of(std::string(magic) + "\n#Created with Orvi\n" + size + "\n255\n"),
                  pixels);
}

class OrviOps : public testing_support::OrviRun {};

TEST_F(OrviOps, EachOptionDoesWhatItSays) {
    struct Row {
        std::string args;
        Bytes want;
    };
    const Row rows[] = {
        {"--negate", ppm({245, 235, 225, 215, 205, 195, 185, 175, 165, 155, 145, 135})},
        {"--brightness 10", ppm({20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130})},
        {"--rgb 5,0,-15", ppm({15, 20, 15, 45, 50, 45, 75, 80, 75, 105, 110, 105})},
        {"--gamma 1", ppm(kPixels)},
        {"--gamma 2", ppm({50, 71, 87, 101, 113, 124, 134, 143, 151, 160, 167, 175})},
        {"--contrast 0", ppm(kPixels)},
        {"--gray", ppm({10, 40, 70, 100}, "2 2", "P5")},
        {"--rotate cw", ppm({70, 80, 90, 10, 20, 30, 100, 110, 120, 40, 50, 60})},
        {"--rotate ccw", ppm({40, 50, 60, 100, 110, 120, 10, 20, 30, 70, 80, 90})},
        {"--flip h", ppm({40, 50, 60, 10, 20, 30, 100, 110, 120, 70, 80, 90})},
        {"--flip v", ppm({70, 80, 90, 100, 110, 120, 10, 20, 30, 40, 50, 60})},
        {"--resize 1x1", ppm({10, 20, 30}, "1 1")},
        {"--resize 3x1", ppm({10, 20, 30, 10, 20, 30, 40, 50, 60}, "3 1")},
        {"--fill 1,2,3", ppm({1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3})},
        {"--convolve custom", ppm(kPixels)},
        {"--kernel 0,0,0,0,1,0,0,0,0 --divisor 1 --mode 2", ppm(kPixels)},
        {"--rotate cw --rotate cw --rotate cw --rotate cw", ppm(kPixels)},
        {"--negate --negate", ppm(kPixels)},
        {"--gray --rotate ccw --resize 4x4 --resize 2x2", ppm({40, 100, 10, 70}, "2 2", "P5")},
    };
    testing_support::write_file(path("in.ppm"), ppm(kPixels));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const auto result = orvi("convert in.ppm out.ppm " + row.args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(testing_support::read_file(path("out.ppm")), row.want);
    }
}

TEST_F(OrviOps, FiltersRunOnARealPicture) {
    Bytes pixels(8 * 8 * 3, 100);
    testing_support::write_file(path("flat.ppm"), ppm(pixels, "8 8"));
    for (const char* name :
         {"blur-3", "Gaussian", "MEDIAN:8", "sharpen:4", "laplace:1:2", "sobel", "prewitt:1:1"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(orvi(std::string("convert flat.ppm out.ppm --convolve ") + name).status, 0);
        const Bytes out = testing_support::read_file(path("out.ppm"));
        const std::string filter(name);
        const uint8_t inner = filter.find("laplace") != std::string::npos ? 128
                              : filter == "sobel" || filter.find("prewitt") != std::string::npos
                                  ? 0
                                  : 100;
        EXPECT_EQ(out[out.size() - 8 * 8 * 3 + (3 * 8 + 3) * 3], inner) << "an inner pixel";
        EXPECT_EQ(out[out.size() - 1], 100) << "the border keeps its level";
    }
}

TEST_F(OrviOps, ValuesOutOfRangeAreUsageErrorsNamingTheOption) {
    testing_support::write_file(path("in.ppm"), ppm(kPixels));
    const std::pair<const char*, const char*> rows[] = {
        {"--gamma 0", "orvi: --gamma takes a real number from 0.01 to 100, not '0'"},
        {"--brightness 300", "orvi: --brightness takes a whole number from -255 to 255, not '300'"},
        {"--contrast -128", "orvi: --contrast takes a whole number from -127 to 127, not '-128'"},
        {"--rgb 1,2",
         "orvi: --rgb takes three whole numbers from -255 to 255, as R,G,B, not '1,2'"},
        {"--resize 0x5", "orvi: --resize takes WxH with each side from 1 to 65535, not '0x5'"},
        {"--rotate up", "orvi: --rotate takes cw or ccw, not 'up'"},
        {"--flip x", "orvi: --flip takes h or v, not 'x'"},
        {"--fill 1,2,256",
         "orvi: --fill takes three whole numbers from 0 to 255, as R,G,B, not '1,2,256'"},
        {"--kernel 1,2,3",
         "orvi: --kernel takes 9 or 25 comma-separated whole numbers, not '1,2,3'"},
        {"--convolve blur:0",
         "orvi: --convolve takes NAME[:DIVISOR[:MODE]] with a nonzero divisor and a "
         "mode from 0 to 255, not 'blur:0'"},
        {"--convolve nothing",
         "orvi: --convolve: no filter named 'nothing' (the filters: custom, blur3, gaussian, "
         "laplace, median, prewitt, sharpen, sobel; case, spaces and dashes do not matter)"},
        {"--divisor 4", "orvi: --divisor goes with --kernel, and there is none"},
        {"--gamma", "orvi: --gamma needs a value"},
    };
    for (const auto& [args, says] : rows) {
        SCOPED_TRACE(args);
        const auto result = orvi(std::string("convert in.ppm out.ppm ") + args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.substr(0, result.err.find('\n')), says);
        EXPECT_FALSE(std::filesystem::exists(path("out.ppm")));
    }
    const auto grey_fill = orvi("convert in.ppm out.ppm --gray --fill 1,2,3");
    EXPECT_EQ(grey_fill.status, 1);
    EXPECT_EQ(
        grey_fill.err,
        "orvi: cannot process 'in.ppm': --fill needs a colour picture (it comes after --gray)\n");
}

TEST_F(OrviOps, FiltersListsThePredefinedMatrices) {
    const auto result = orvi("filters");
    EXPECT_EQ(result.status, 0);
    for (const char* line :
         {"Custom (5 x 5, default divisor 1)\n", "Blur 3 (3 x 3, default divisor 9)\n",
          "Gaussian (3 x 3, default divisor 16)\n", "Laplace (3 x 3, default divisor 1)\n",
          "Median (3 x 3, default divisor 8)\n", "Prewitt (3 x 3, default divisor 1)\n",
          "Sharpen (3 x 3, default divisor 4)\n", "Sobel (3 x 3, default divisor 1)\n",
          "  -1  -2  -1\n  -2  16  -2\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line;
    }
}

} // namespace
