// The kernel interface stand-in: the host's pool calls and the call into the host's
// progress routine. Both go through what the host put in the call's block.
#pragma once

#include <cstdint>

#include "platform/host_abi.h"

namespace platform {

// The record for a call into host code: the routine and its one data word.
struct Caos {
    OrviGaugeRoutine caos_Un_Function;
    int32_t d0;
    uint32_t M68kCacheMode;
    uint32_t PPCCacheMode;
};

void* PPCAllocVecPooled(OrviPool* pool, uint64_t size);
void PPCFreeVecPooled(OrviPool* pool, void* block);
// A synchronous call of caos->caos_Un_Function with d0; the result is always 0.
uint32_t PPCCallM68k(Caos* caos);

} // namespace platform
