// The pcx module's entry: the shared codec frame with this module's reader and writer.
// Both report progress.
#include "pcx/pcx_format.h"
#include "runtime/codec_entry.h"
#include "runtime/export.h"

namespace {

constexpr runtime::CodecFrame kFrame{pcx::PCX_Read, pcx::PCX_Save, true, false};

} // namespace

extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {
    runtime::run_codec(args, kFrame);
    return 0;
}
