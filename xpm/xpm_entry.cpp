// The xpm module's entry: the shared codec frame with this module's reader and writer.
// Both report progress.
#include "runtime/codec_entry.h"
#include "runtime/export.h"
#include "xpm/xpm_format.h"

namespace {

constexpr runtime::CodecFrame kFrame{xpm::XPM_Read, xpm::XPM_Save, true, false};

} // namespace

extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {
    runtime::run_codec(args, kFrame);
    return 0;
}
