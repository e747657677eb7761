// The binary contract between the host and the modules besides the records: the
// layout of the pool handle carried in the `Pool` word and the type of the progress
// routine carried in the `Gauge` word. Modules call through these; they never link
// a host symbol.
#pragma once

#include <cstdint>

extern "C" {

struct OrviPool;

// Returns a zero-filled block of `size` bytes, or nullptr when the pool refuses.
using OrviPoolAlloc = void* (*)(OrviPool* pool, uint64_t size);
// Returns a block obtained from `alloc` to the pool.
using OrviPoolFree = void (*)(OrviPool* pool, void* block);
// Receives the progress of the running job in percent.
using OrviGaugeRoutine = void (*)(int32_t percent);

struct OrviPool {
    uint32_t abi_version;
    uint32_t reserved;
    OrviPoolAlloc alloc;
    OrviPoolFree free;
};
}

inline constexpr uint32_t kOrviPoolAbi = 1;
