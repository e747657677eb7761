// The records of the operations module shared with the host: the OpArgs block, the
// ImageView a convolution reads and writes, and the entries of the filter table.
// Field order and 32-bit fields are the published layout; address words are
// pointer-sized on this build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/host_abi.h"

extern "C" {

struct OpArgs {
    uint32_t Operation;     // 0..13; anything larger does nothing
    uint8_t* Source;        // pixels, or the source ImageView for Convolve
    uint32_t Width;         // Convolve: the mode in the low byte
    uint32_t Height;        // Convolve: the divisor, signed
    uint32_t BytesPerPixel; // 1 or 3
    uint32_t
        Count; // bytes for byte-wise operations, pixels for RGBToGray, kernel edge for Convolve
    int32_t Param1;
    int32_t Param2;
    int32_t Param3;
    uint8_t* Dest;   // destination pixels, or the destination ImageView for Convolve
    uint32_t Result; // always 0 after a call
    OrviPool* Pool;
    int32_t* Matrix; // Convolve: K x K weights, row by row
};

struct ImageView {
    uint8_t* Data;
    int32_t BytesPerRow;
    int32_t Width;
    int32_t Height;
    int32_t BytesPerPixel; // 1 to 4
};

struct MatrixDef {
    const char* Name;
    int32_t* Matrix;
    uint8_t Size;
};
}

// Operation codes.
inline constexpr uint32_t kOpSetGamma = 0;
inline constexpr uint32_t kOpSetBrightness = 1;
inline constexpr uint32_t kOpSetRgb = 2;
inline constexpr uint32_t kOpSetContrast = 3;
inline constexpr uint32_t kOpRotateAnticlockwise = 4;
inline constexpr uint32_t kOpRotateClockwise = 5;
inline constexpr uint32_t kOpXFlip = 6;
inline constexpr uint32_t kOpYFlip = 7;
inline constexpr uint32_t kOpRgbToGray = 8;
inline constexpr uint32_t kOpNegate = 9;
inline constexpr uint32_t kOpResize = 10;
inline constexpr uint32_t kOpCopy = 11;
inline constexpr uint32_t kOpFill = 12;
inline constexpr uint32_t kOpConvolve = 13;

static_assert(offsetof(OpArgs, Source) == sizeof(void*));
static_assert(offsetof(OpArgs, Width) == 2 * sizeof(void*));
static_assert(offsetof(OpArgs, Height) == offsetof(OpArgs, Width) + 4);
static_assert(offsetof(OpArgs, BytesPerPixel) == offsetof(OpArgs, Width) + 8);
static_assert(offsetof(OpArgs, Count) == offsetof(OpArgs, Width) + 12);
static_assert(offsetof(OpArgs, Param1) == offsetof(OpArgs, Width) + 16);
static_assert(offsetof(OpArgs, Param2) == offsetof(OpArgs, Width) + 20);
static_assert(offsetof(OpArgs, Param3) == offsetof(OpArgs, Width) + 24);
static_assert(offsetof(OpArgs, Dest) == offsetof(OpArgs, Width) + 32);
static_assert(offsetof(OpArgs, Result) == offsetof(OpArgs, Dest) + sizeof(void*));
static_assert(offsetof(OpArgs, Pool) == offsetof(OpArgs, Result) + sizeof(void*));
static_assert(offsetof(OpArgs, Matrix) == offsetof(OpArgs, Pool) + sizeof(void*));
static_assert(offsetof(ImageView, BytesPerRow) == sizeof(void*));
static_assert(offsetof(ImageView, BytesPerPixel) == sizeof(void*) + 12);
static_assert(offsetof(MatrixDef, Size) == 2 * sizeof(void*));
