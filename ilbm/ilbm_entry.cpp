// The ilbm module's entry: the shared codec frame with this module's reader and writer,
// opening the IFF parsing library as well. Both report progress.
#include "ilbm/ilbm_format.h"
#include "runtime/codec_entry.h"
#include "runtime/export.h"

namespace {

constexpr runtime::CodecFrame kFrame{ilbm::IFF_Read, ilbm::IFF_Save, true, true};

} // namespace

extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {
    runtime::run_codec(args, kFrame);
    return 0;
}
