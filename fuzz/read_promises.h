// The promises every codec reader keeps, checked on one input: the module's load runs
// from a memory file with the pool capped far below the fuzzer's memory limit; the code
// is in the table, a failed load leaves the picture cleared, a successful one has sizes
// in range, and no pool block, dos object or library is left over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "lib/host_pool.h"
#include "platform/seams.h"
#include "runtime/records.h"
#include "runtime/result_codes.h"

extern "C" uint32_t start_prog(CodecArgs* args);

inline void check_read_promises(const uint8_t* data, size_t size, int32_t max_side) {
    constexpr uint64_t kPoolCap = 256ULL << 20;
    host::HostPool pool(kPoolCap);
    platform::seam::set_memory_file("fuzz:input", data, size);
    Picture pic{};
    CodecRequest request{&pic, 0, 0, 0, nullptr};
    CodecArgs args{&request, "fuzz:input", kCommandLoad, 0, pool.handle(), nullptr};
    FUZZ_CHECK(start_prog(&args) == 0);
    FUZZ_CHECK(result_code_text(args.Result) != nullptr);
    if (args.Result == kOk) {
        FUZZ_CHECK(pic.Data != nullptr && pool.owns(pic.Data));
        FUZZ_CHECK(pic.Width >= 1 && pic.Width <= max_side && pic.Height >= 1 &&
                   pic.Height <= max_side);
        FUZZ_CHECK(pic.BytesPerPixel == 3 && pool.live_blocks() == 1);
        pool.free(pic.Data);
    } else {
        FUZZ_CHECK(pic.Data == nullptr && pic.Width == 0 && pic.Height == 0 && pic.Extra == 0);
    }
    FUZZ_CHECK(pool.live_blocks() == 0);
    FUZZ_CHECK(platform::seam::live_dos_objects() == 0);
    FUZZ_CHECK(platform::seam::live_library_openings() == 0);
    platform::seam::reset();
}
