// The ops module's entry: one operation per call, chosen by its code. Opens no
// library, reads no file, reports nothing but Result 0.
#include "ops/ops_format.h"
#include "runtime/export.h"
#include "runtime/globals.h"

/* start_of_program: Result = 0, poolHeader = Pool, then the operation of the code;
 * a code above 13 does nothing more. Always returns 0. */
extern "C" ORVI_EXPORT uint32_t start_of_program(OpArgs* args) {
    args->Result = 0;
    runtime::poolHeader = args->Pool;
    switch (args->Operation) {
    case kOpSetGamma:
        ops::PPC_SetGamma(args);
        break;
    case kOpSetBrightness:
        ops::PPC_SetBrightness(args);
        break;
    case kOpSetRgb:
        ops::PPC_SetRGB(args);
        break;
    case kOpSetContrast:
        ops::PPC_SetContrast(args);
        break;
    case kOpRotateAnticlockwise:
        ops::PPC_Rotate(args, 1);
        break;
    case kOpRotateClockwise:
        ops::PPC_Rotate(args, 0);
        break;
    case kOpXFlip:
        ops::PPC_XFlip(args);
        break;
    case kOpYFlip:
        ops::PPC_YFlip(args);
        break;
    case kOpRgbToGray:
        ops::PPC_RGBToGray(args);
        break;
    case kOpNegate:
        ops::PPC_Negate(args);
        break;
    case kOpResize:
        ops::PPC_Resize(args);
        break;
    case kOpCopy:
        ops::PPC_Copy(args);
        break;
    case kOpFill:
        ops::PPC_Fill(args);
        break;
    case kOpConvolve:
        ops::PPC_Convolve(args);
        break;
    default:
        break;
    }
    return 0;
}
