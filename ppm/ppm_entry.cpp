// The ppm module's entry: the shared codec frame with this module's reader and writer.
// The ppm module reports no progress.
#include "ppm/ppm_format.h"
#include "runtime/codec_entry.h"
#include "runtime/export.h"

namespace {

constexpr runtime::CodecFrame kFrame{ppm::PPM_Read, ppm::PPM_Save, false, false};

} // namespace

extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {
    runtime::run_codec(args, kFrame);
    return 0;
}
