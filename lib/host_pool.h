// The host's memory pool: zero-filled blocks, counts of live blocks and bytes, a byte
// limit, the pixel limit of the pictures read into it, and (for tests) a switch that
// fails the Nth allocation. Large blocks freed are kept mapped for the next large block,
// up to kSpareBytes: a program loading picture after picture then reuses memory the
// system has already given it instead of waiting for new pages. Modules reach it only
// through the OrviPool handle it hands out; the host's own large buffers come from it too
// (PoolAllocator, PoolArray), so the byte limit counts everything a job holds. Its calls
// may come from several threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvi/limits.h"
#include "platform/host_abi.h"

namespace orvi {

class HostPool;

// The handle a module sees: the ABI record first, then the pool it belongs to.
struct PoolHandle {
    OrviPool abi;
    HostPool* owner;
};

class HostPool {
public:
    explicit HostPool(uint64_t limit_bytes = default_limit(),
                      uint64_t max_pixels = kDefaultMaxPixels);
    ~HostPool();
    HostPool(const HostPool&) = delete;
    HostPool& operator=(const HostPool&) = delete;

    // The handle for the `Pool` word.
    [[nodiscard]] OrviPool* handle() { return &handle_.abi; }

    // How a block will be used: a picture or buffer is written all over; a table over
    // every colour is touched in a few places only.
    enum class Use { dense, sparse };
    // A zero-filled block, or nullptr when the limit or the failure switch refuses. A
    // sparse block is mapped in small pages that are filled only when first touched, and
    // its mapping is not kept for reuse (clearing all of it would cost more).
    [[nodiscard]] void* allocate(uint64_t size, Use use = Use::dense);
    void free(void* block);

    [[nodiscard]] uint64_t live_blocks() const {
        const std::lock_guard<std::mutex> held(lock_);
        return blocks_.size();
    }
    [[nodiscard]] uint64_t live_bytes() const {
        const std::lock_guard<std::mutex> held(lock_);
        return live_bytes_;
    }
    [[nodiscard]] uint64_t peak_bytes() const {
        const std::lock_guard<std::mutex> held(lock_);
        return peak_bytes_;
    }
    [[nodiscard]] uint64_t allocations() const {
        const std::lock_guard<std::mutex> held(lock_);
        return allocations_;
    }
    [[nodiscard]] uint64_t limit() const { return limit_; }
    // The pixel limit the readers check before they allocate a picture; 0: none.
    [[nodiscard]] uint64_t max_pixels() const { return handle_.abi.max_pixels; }
    // The threads a job on this pool's handle may work with (1: the caller's alone).
    [[nodiscard]] uint32_t threads() const { return handle_.abi.threads; }
    void set_threads(uint32_t threads) { handle_.abi.threads = std::max<uint32_t>(threads, 1); }
    // What the last job on handle() reported; clear it before a job.
    [[nodiscard]] const OrviJobReport& report() const { return handle_.abi.report; }
    void clear_report() { handle_.abi.report = {}; }
    // A handle of this pool with a report of its own, for one job: jobs of several
    // threads each read their own report.
    [[nodiscard]] PoolHandle job_handle() const {
        PoolHandle job = handle_;
        job.abi.report = {};
        return job;
    }
    // The bytes of freed large blocks kept for reuse (not live, not against the limit).
    [[nodiscard]] uint64_t spare_bytes() const {
        const std::lock_guard<std::mutex> held(lock_);
        uint64_t bytes = 0;
        for (const Block& spare : spares_) {
            bytes += spare.mapped_size;
        }
        return bytes;
    }
    [[nodiscard]] bool owns(const void* block) const {
        const std::lock_guard<std::mutex> held(lock_);
        return blocks_.contains(block);
    }

    // Fails the nth allocation from now (1 = the next one); 0 turns the switch off.
    void fail_allocation(uint64_t nth) { fail_at_ = nth == 0 ? 0 : allocations_ + nth; }

    // Half the machine's memory, at most 8 GiB: large enough for any 32767 x 32767
    // picture, small enough that a hostile header cannot exhaust the machine.
    [[nodiscard]] static uint64_t default_limit();

    // The most bytes of freed large blocks kept for reuse.
    static constexpr uint64_t kSpareBytes = uint64_t{512} << 20U;

private:
    struct Block {
        uint64_t size;
        uint64_t mapped_size; // 0 for heap blocks
        void* mapping;
        bool sparse;
    };

    // A kept mapping of at least `span` bytes and not much more, taken out of the spares.
    [[nodiscard]] void* reuse_spare(uint64_t span, uint64_t& mapped_size);

    PoolHandle handle_;
    mutable std::mutex lock_;
    std::unordered_map<const void*, Block> blocks_;
    std::vector<Block> spares_; // freed large mappings, newest last
    uint64_t limit_;
    uint64_t live_bytes_ = 0;
    uint64_t peak_bytes_ = 0;
    uint64_t allocations_ = 0;
    uint64_t fail_at_ = 0;
};

// Why a picture of `width` x `height` was refused for the pixel limit, naming the
// option that sets it.
[[nodiscard]] std::string too_many_pixels_sentence(uint64_t width, uint64_t height, uint64_t limit);

// A standard allocator over the pool, for the host's containers: a refusal throws
// std::bad_alloc, which the host's jobs turn into a sentence.
template <typename T> class PoolAllocator {
public:
    using value_type = T;
    explicit PoolAllocator(HostPool& pool) : pool_(&pool) {}
    template <typename U> PoolAllocator(const PoolAllocator<U>& other) : pool_(other.pool()) {}

    [[nodiscard]] T* allocate(size_t count, HostPool::Use use = HostPool::Use::dense) {
        const uint64_t bytes = count > UINT64_MAX / sizeof(T) ? UINT64_MAX : count * sizeof(T);
        void* block = pool_->allocate(bytes, use);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(block);
    }
    void deallocate(T* block, size_t /*count*/) { pool_->free(block); }
    [[nodiscard]] HostPool* pool() const { return pool_; }
    template <typename U> bool operator==(const PoolAllocator<U>& other) const {
        return pool_ == other.pool();
    }

private:
    HostPool* pool_;
};

template <typename T> using PoolVector = std::vector<T, PoolAllocator<T>>;

// A fixed array of `count` zero-filled elements in one pool block, freed with its owner.
// Large arrays are mapped lazily, so only the pages that are touched cost memory.
// Throws std::bad_alloc when the pool refuses.
template <typename T> class PoolArray {
public:
    PoolArray() = default;
    PoolArray(HostPool& pool, size_t count, HostPool::Use use = HostPool::Use::dense)
        : pool_(&pool), data_(PoolAllocator<T>(pool).allocate(count == 0 ? 1 : count, use)),
          size_(count) {}
    PoolArray(PoolArray&& other) noexcept
        : pool_(other.pool_), data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
    }
    PoolArray& operator=(PoolArray&& other) noexcept {
        if (this != &other) {
            reset();
            pool_ = other.pool_;
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
        }
        return *this;
    }
    PoolArray(const PoolArray&) = delete;
    PoolArray& operator=(const PoolArray&) = delete;
    ~PoolArray() { reset(); }

    void reset() {
        if (data_ != nullptr) {
            pool_->free(data_);
            data_ = nullptr;
        }
    }
    [[nodiscard]] T* get() const { return data_; }
    [[nodiscard]] size_t size() const { return size_; }
    T& operator[](size_t index) const { return data_[index]; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    HostPool* pool_ = nullptr;
    T* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace orvi
