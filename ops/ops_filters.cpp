// The predefined convolution filters, exported as `matdef` for the host to list and
// pick from. The matrices are writable module data; no routine of the module reads the
// table: a convolution applies whatever matrix its block names.
#include "ops/ops_format.h"
#include "runtime/export.h"

namespace ops {

int32_t mat_custom[25] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
int32_t mat_blur_3[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
int32_t mat_gaussian[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
int32_t mat_laplace[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
int32_t mat_median[9] = {1, 1, 1, 1, 0, 1, 1, 1, 1}; // the sum of the neighbours, not a rank
int32_t mat_prewitt[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};
int32_t mat_sharpen[9] = {-1, -2, -1, -2, 16, -2, -1, -2, -1};
int32_t mat_sobel[9] = {-1, 0, 1, -2, 0, 2, -1, 0, 1};

} // namespace ops

extern "C" {
ORVI_EXPORT MatrixDef matdef[] = {
    {"Custom", ops::mat_custom, 5},
    {"Blur 3", ops::mat_blur_3, 3},
    {"Gaussian", ops::mat_gaussian, 3},
    {"Laplace", ops::mat_laplace, 3},
    {"Median", ops::mat_median, 3},
    {"Prewitt", ops::mat_prewitt, 3},
    {"Sharpen", ops::mat_sharpen, 3},
    {"Sobel", ops::mat_sobel, 3},
    {nullptr, nullptr, 0},
};
}
