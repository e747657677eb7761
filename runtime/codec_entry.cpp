// The codec entry frame shared by every codec module, and progress reports.
#include "runtime/codec_entry.h"

#include "platform/dos.h"
#include "platform/exec.h"
#include "platform/kernel.h"
#include "runtime/globals.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"

namespace runtime {
namespace {

constexpr uint32_t kDosVersion = 37;
constexpr uint32_t kIffParseVersion = 39;

} // namespace

/* run_codec: libraries are opened and closed on every call, and every module global
 * is set before the reader or writer runs, so nothing of an earlier call is trusted.
 * Result: kNoDosLibrary without dos, kNoIffParseLibrary without the IFF library, else the routine's
 * code; a Command other than load or save calls nothing and leaves Result as it was. */
void run_codec(CodecArgs* args, const CodecFrame& frame) {
    gauge_func = frame.takes_gauge ? args->Gauge : nullptr;
    SysBase = platform::exec_base();
    Error = kOk;
    FileIndex = nullptr;
    FileEnd = nullptr;
    DOSBase = platform::OpenLibrary("dos.library", kDosVersion);
    if (DOSBase == nullptr) {
        args->Result = kNoDosLibrary;
        return;
    }
    poolHeader = args->Pool;
    IFFParseBase = nullptr;
    if (frame.needs_iffparse) {
        IFFParseBase = platform::OpenLibrary("iffparse.library", kIffParseVersion);
        if (IFFParseBase == nullptr) {
            args->Result = kNoIffParseLibrary;
            platform::CloseLibrary(DOSBase);
            return;
        }
    }
    if (args->Command == kCommandLoad) {
        // The host may hold the file's bytes already: then they are the file.
        const bool from_memory = poolHeader != nullptr && poolHeader->source != nullptr;
        if (from_memory) {
            platform::ServeFromMemory(args->FileName, poolHeader->source, poolHeader->source_count);
        }
        args->Result = frame.reader(args->FileName, args->Request);
        if (from_memory) {
            platform::ServeFromMemory(nullptr, nullptr, 0);
        }
    } else if (args->Command == kCommandSave) {
        args->Result = frame.writer(args->FileName, args->Request);
    }
    if (IFFParseBase != nullptr) {
        platform::CloseLibrary(IFFParseBase);
    }
    platform::CloseLibrary(DOSBase);
}

void report_progress(int32_t percent) {
    if (gauge_func == nullptr) {
        return;
    }
    platform::Caos caos{gauge_func, percent, 1, 1};
    (void)platform::PPCCallM68k(&caos);
}

void report_before_row(uint32_t y, uint32_t height) {
    const uint32_t step = progress_step(height);
    if (step == 0 ? y == 0 : y % step == 0) {
        report_progress(static_cast<int32_t>(uint64_t{y} * 100 / height));
    }
}

void report_after_row(uint32_t y, uint32_t height) {
    const uint32_t step = progress_step(height);
    if (step != 0 && (y + 1) % step == 0) {
        report_progress(static_cast<int32_t>((y + 1) * 10 / step));
    }
}

} // namespace runtime
