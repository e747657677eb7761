// The image operations of the ops module, as values: made by the named constructors,
// checked by `check`, applied by Library::apply in the order a caller gives them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvi/export.h"

namespace orvi {

struct ORVI_API Operation {
    enum class Kind : uint8_t {
        Gamma,      // values[0]: gamma x 100, 1 to 10000 (100 changes nothing)
        Brightness, // values[0]: -255..255 added to every sample
        Rgb,        // values: -255..255 added to red, green, blue
        Contrast,   // values[0]: -127 (flat grey) .. 127 (hard)
        Gray,       // a grey picture, one byte a pixel, from the red samples
        Negate,     // every sample inverted
        Rotate,     // values[0]: 0 a quarter turn clockwise, 1 anticlockwise
        Flip,       // values[0]: 0 left-right, 1 top-bottom
        Resize,     // values: new width and height, 1..65535 (nearest neighbour)
        Fill,       // values: red, green, blue, 0..255, painted on every pixel
        Convolve,   // a predefined filter by `filter` name, with `divisor` and `mode`
        Kernel,     // a 3 x 3 or 5 x 5 kernel of `weights`, with `divisor` and `mode`
    };
    Kind kind = Kind::Negate;
    std::array<int32_t, 3> values{};
    std::string filter;             // Convolve: a name of Library::filters(); case, spaces,
                                    // dashes and underscores do not matter
    std::vector<int32_t> weights;   // Kernel: 9 or 25, row by row
    std::optional<int32_t> divisor; // nonzero; default: the sum of the weights, or 1
    uint8_t mode = 0;               // 0 clip negatives, 2 add 128, other: magnitude

    static Operation gamma(double gamma);
    static Operation brightness(int32_t offset);
    static Operation rgb(int32_t red, int32_t green, int32_t blue);
    static Operation contrast(int32_t contrast);
    static Operation gray();
    static Operation negate();
    static Operation rotate(bool anticlockwise);
    static Operation flip(bool top_bottom);
    static Operation resize(uint32_t width, uint32_t height);
    static Operation fill(int32_t red, int32_t green, int32_t blue);
    static Operation convolve(std::string filter, std::optional<int32_t> divisor = {},
                              uint8_t mode = 0);
    static Operation kernel(std::vector<int32_t> weights, std::optional<int32_t> divisor = {},
                            uint8_t mode = 0);
};

// What is wrong with an operation's values ("the gamma is outside 0.01..100"), or empty
// when they are in range. A filter's name is checked when the operation is applied.
[[nodiscard]] ORVI_API std::string check(const Operation& operation);

// A predefined convolution filter of the ops module.
struct Filter {
    std::string name;             // as the module names it ("Blur 3")
    uint32_t size = 0;            // 3 or 5
    std::vector<int32_t> weights; // size x size, row by row
    int32_t default_divisor = 1;  // the sum of the weights, or 1 when that is not positive
};

} // namespace orvi
