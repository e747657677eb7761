// The promises every codec reader keeps, checked on one input: the module's load runs
// from a memory file with the pool capped far below the fuzzer's memory limit and
// pictures capped at a million pixels (a larger claim is refused from the header, so
// runs go to the decoders, not to allocating); the input's last byte chooses the
// request's switches and whether the host asks for what a picture carries beside its
// pixels. The code is in the table, a failed load leaves the picture cleared and the
// extras untouched, a successful one has sizes in range, reports no more missing pixels
// than it has, and hands over extras whose indices all lie in their palette, and no pool
// block, dos object or library is left over.
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
    constexpr uint64_t kMostPixels = 1U << 16U;
    orvi::HostPool pool(kPoolCap, kMostPixels);
    platform::seam::set_memory_file("fuzz:input", data, size);
    Picture pic{};
    // The ILBM reader's transparency switch; the other readers ignore it.
    const uint32_t switches = size > 0 ? data[size - 1] & 1U : 0U;
    OrviExtras extras{};
    extras.transparent = -1;
    pool.handle()->extras = size > 0 && (data[size - 1] & 2U) != 0 ? &extras : nullptr;
    CodecRequest request{&pic, 0, switches, 0, nullptr};
    CodecArgs args{&request, "fuzz:input", kCommandLoad, 0, pool.handle(), nullptr};
    FUZZ_CHECK(start_prog(&args) == 0);
    FUZZ_CHECK(result_code_text(args.Result) != nullptr);
    pool.handle()->extras = nullptr;
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(pic.Width)} * static_cast<uint32_t>(pic.Height);
    uint64_t extra_blocks = 0;
    for (uint8_t* block : {extras.indices, extras.alpha, extras.straight}) {
        FUZZ_CHECK(block == nullptr || (args.Result == kOk && pool.owns(block)));
        extra_blocks += block != nullptr ? 1 : 0;
    }
    if (extras.indices != nullptr) {
        FUZZ_CHECK(extras.palette_count >= 1 && extras.palette_count <= 256);
        FUZZ_CHECK(extras.transparent < static_cast<int32_t>(extras.palette_count));
        for (uint64_t i = 0; i < pixels; ++i) {
            FUZZ_CHECK(extras.indices[i] < extras.palette_count);
        }
    }
    for (uint8_t* block : {extras.indices, extras.alpha, extras.straight}) {
        if (block != nullptr) {
            pool.free(block);
        }
    }
    if (args.Result == kOk) {
        FUZZ_CHECK(pic.Data != nullptr && pool.owns(pic.Data));
        FUZZ_CHECK(pic.Width >= 1 && pic.Width <= max_side && pic.Height >= 1 &&
                   pic.Height <= max_side);
        FUZZ_CHECK(pic.BytesPerPixel == 3 && pool.live_blocks() == 1);
        (void)extra_blocks;
        FUZZ_CHECK(uint64_t{static_cast<uint32_t>(pic.Width)} * static_cast<uint32_t>(pic.Height) <=
                   kMostPixels);
        FUZZ_CHECK(pool.report().pixels_missing <=
                   uint64_t{static_cast<uint32_t>(pic.Width)} * static_cast<uint32_t>(pic.Height));
        pool.free(pic.Data);
    } else {
        FUZZ_CHECK(pic.Data == nullptr && pic.Width == 0 && pic.Height == 0 && pic.Extra == 0);
    }
    FUZZ_CHECK(pool.live_blocks() == 0);
    FUZZ_CHECK(platform::seam::live_dos_objects() == 0);
    FUZZ_CHECK(platform::seam::live_library_openings() == 0);
    platform::seam::reset();
}
