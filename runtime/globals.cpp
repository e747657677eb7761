// The module globals and the pool wrappers. Each module links its own copy.
#include "runtime/globals.h"

#include <algorithm>

#include "platform/kernel.h"
#include "runtime/pool.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace runtime {

platform::ExecBase* SysBase = nullptr;
platform::Library* DOSBase = nullptr;
platform::Library* IFFParseBase = nullptr;
OrviPool* poolHeader = nullptr;
OrviGaugeRoutine gauge_func = nullptr;
int32_t Error = 0;
const uint8_t* FileIndex = nullptr;
const uint8_t* FileEnd = nullptr;

int32_t check_pixel_limit(uint64_t width, uint64_t height) {
    OrviPool* pool = poolHeader;
    if (pool == nullptr || pool->max_pixels == 0 || size_mul(width, height) <= pool->max_pixels) {
        return kOk;
    }
    constexpr uint64_t kMost = UINT32_MAX;
    pool->report.declared_width = static_cast<uint32_t>(std::min(width, kMost));
    pool->report.declared_height = static_cast<uint32_t>(std::min(height, kMost));
    return kTooManyPixels;
}

void report_missing_pixels(uint64_t count) {
    if (poolHeader != nullptr) {
        poolHeader->report.pixels_missing = count;
    }
}

void report_pixels_past_palette(uint64_t count) {
    if (poolHeader != nullptr) {
        poolHeader->report.pixels_past_palette = count;
    }
}

void report_short_line_palettes(uint32_t rows_given) {
    if (poolHeader != nullptr) {
        poolHeader->report.line_palette_rows = rows_given;
        poolHeader->report.line_palettes_short = 1;
    }
}

void report_unknown_colours(uint32_t colours, uint32_t codes) {
    if (poolHeader != nullptr) {
        poolHeader->report.unknown_colours = colours;
        poolHeader->report.unknown_codes = codes;
    }
}

OrviExtras* wanted_extras() {
    return poolHeader != nullptr ? poolHeader->extras : nullptr;
}

OrviFrames* animation_frames() {
    return poolHeader != nullptr ? poolHeader->frames : nullptr;
}

} // namespace runtime

extern "C" {

void* AllocVecPooledPPC(uint64_t size) {
    if (runtime::poolHeader == nullptr) {
        return nullptr;
    }
    return platform::PPCAllocVecPooled(runtime::poolHeader, size);
}

void FreeVecPooledPPC(void* block) {
    if (runtime::poolHeader != nullptr) {
        platform::PPCFreeVecPooled(runtime::poolHeader, block);
    }
}
}
