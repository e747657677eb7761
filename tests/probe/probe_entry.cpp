// A stand-in codec module for the command's tests, loaded in place of a real one: its
// load reports progress in tenths and delivers a 2 x 2 picture (or, for a file whose
// name holds "crash", kills its process, the shape of a module that crashed); its save
// writes a few bytes and then reports a short write, the shape of a full disk (or, for
// a name holding "dies", kills its process with the file half written). For a file
// whose name holds "measure", the load first writes the largest block the pool grants,
// in decimal, to NAME.limit: how the tests see the byte limit a process was given; for
// one whose name holds "whose", it writes its process's id to NAME.pid: how the tests see
// which worker converted it.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/dos.h"
#include "runtime/codec_entry.h"
#include "runtime/export.h"
#include "runtime/picture.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/result_codes.h"

namespace probe {
namespace {

// The largest block the pool grants now, by bisection; large blocks are mapped lazily,
// so asking costs no memory.
uint64_t largest_grant() {
    uint64_t low = 0;
    uint64_t high = uint64_t{1} << 46U;
    while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (void* block = AllocVecPooledPPC(middle)) {
            FreeVecPooledPPC(block);
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

// Writes `value` in decimal to NAME.SUFFIX.
void write_number(const char* name, const char* suffix, unsigned long long value) {
    char path[4096];
    char text[32];
    std::snprintf(path, sizeof path, "%s.%s", name, suffix);
    const int length = std::snprintf(text, sizeof text, "%llu", value);
    const platform::BPTR file = platform::Open(path, platform::MODE_NEWFILE);
    if (file != 0) {
        (void)platform::Write(file, text, length);
        platform::Close(file);
    }
}

int32_t probe_read(const char* name, CodecRequest* request) {
    if (std::strstr(name, "crash") != nullptr) {
        std::raise(SIGKILL);
    }
    if (std::strstr(name, "measure") != nullptr) {
        write_number(name, "limit", largest_grant());
    }
    if (std::strstr(name, "whose") != nullptr) {
        write_number(name, "pid", static_cast<unsigned long long>(::getpid()));
    }
    runtime::clear_loaded_picture(request->Pic);
    for (int32_t percent = 0; percent <= 100; percent += 10) {
        runtime::report_progress(percent);
    }
    runtime::PoolBlock pixels(12);
    if (!pixels) {
        return kOutOfMemory;
    }
    std::memset(pixels.bytes(), 0x40, 12);
    runtime::deliver_picture(request->Pic, pixels.release(), 2, 2, 24);
    return kOk;
}

int32_t probe_save(const char* name, CodecRequest* /*request*/) {
    const platform::BPTR file = platform::Open(name, platform::MODE_NEWFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    (void)platform::Write(file, "partial", 7);
    if (std::strstr(name, "dies") != nullptr) {
        std::raise(SIGKILL);
    }
    platform::Close(file);
    return kShortWrite;
}

constexpr runtime::CodecFrame kFrame{probe_read, probe_save, true, false};

} // namespace
} // namespace probe

extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {
    runtime::run_codec(args, probe::kFrame);
    return 0;
}
