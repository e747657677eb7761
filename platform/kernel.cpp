// Kernel-interface stand-in: pool calls forwarded through the host's pool handle and
// the synchronous call of the host's progress routine.
#include "platform/kernel.h"

namespace platform {

void* PPCAllocVecPooled(OrviPool* pool, uint64_t size) {
    return pool->alloc(pool, size);
}

void PPCFreeVecPooled(OrviPool* pool, void* block) {
    pool->free(pool, block);
}

uint32_t PPCCallM68k(Caos* caos) {
    if (caos->caos_Un_Function != nullptr) {
        caos->caos_Un_Function(caos->d0);
    }
    return 0;
}

} // namespace platform
