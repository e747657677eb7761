// The module globals and the pool wrappers. Each module links its own copy.
#include "runtime/globals.h"

#include "platform/kernel.h"
#include "runtime/pool.h"

namespace runtime {

platform::ExecBase* SysBase = nullptr;
platform::Library* DOSBase = nullptr;
platform::Library* IFFParseBase = nullptr;
OrviPool* poolHeader = nullptr;
OrviGaugeRoutine gauge_func = nullptr;
int32_t Error = 0;
const uint8_t* FileIndex = nullptr;
const uint8_t* FileEnd = nullptr;

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
