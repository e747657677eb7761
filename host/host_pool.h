// The host's memory pool: zero-filled blocks, counts of live blocks and bytes, a byte
// limit, and (for tests) a switch that fails the Nth allocation. Modules reach it
// only through the OrviPool handle it hands out.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/host_abi.h"

namespace host {

class HostPool;

// The handle a module sees: the ABI record first, then the pool it belongs to.
struct PoolHandle {
    OrviPool abi;
    HostPool* owner;
};

class HostPool {
public:
    explicit HostPool(uint64_t limit_bytes = default_limit());
    ~HostPool();
    HostPool(const HostPool&) = delete;
    HostPool& operator=(const HostPool&) = delete;

    // The handle for the `Pool` word.
    [[nodiscard]] OrviPool* handle() { return &handle_.abi; }

    // A zero-filled block, or nullptr when the limit or the failure switch refuses.
    [[nodiscard]] void* allocate(uint64_t size);
    void free(void* block);

    [[nodiscard]] uint64_t live_blocks() const { return blocks_.size(); }
    [[nodiscard]] uint64_t live_bytes() const { return live_bytes_; }
    [[nodiscard]] uint64_t peak_bytes() const { return peak_bytes_; }
    [[nodiscard]] uint64_t allocations() const { return allocations_; }
    [[nodiscard]] uint64_t limit() const { return limit_; }
    [[nodiscard]] bool owns(const void* block) const { return blocks_.contains(block); }

    // Fails the nth allocation from now (1 = the next one); 0 turns the switch off.
    void fail_allocation(uint64_t nth) { fail_at_ = nth == 0 ? 0 : allocations_ + nth; }

    // Half the machine's memory, at most 8 GiB: large enough for any 32767 x 32767
    // picture, small enough that a hostile header cannot exhaust the machine.
    [[nodiscard]] static uint64_t default_limit();

private:
    struct Block {
        uint64_t size;
        uint64_t mapped_size; // 0 for heap blocks
        void* mapping;
    };

    PoolHandle handle_;
    std::unordered_map<const void*, Block> blocks_;
    uint64_t limit_;
    uint64_t live_bytes_ = 0;
    uint64_t peak_bytes_ = 0;
    uint64_t allocations_ = 0;
    uint64_t fail_at_ = 0;
};

} // namespace host
