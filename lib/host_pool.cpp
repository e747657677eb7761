// The host's pool. Large blocks come from anonymous mappings aligned to 2 MiB and
// advised for huge pages: they arrive zero-filled, so nothing clears them, and large
// pictures take a quarter of the page faults. Small blocks come from calloc.
#include "lib/host_pool.h"

#include <algorithm>
#include <cstdlib>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

namespace host {
namespace {

constexpr uint64_t kMappedFrom = 1U << 20;
constexpr uint64_t kHugePage = 2U << 20;
constexpr uint64_t kMaxDefaultLimit = 8ULL << 30;

void* pool_alloc(OrviPool* pool, uint64_t size);
void pool_free(OrviPool* pool, void* block);

} // namespace

HostPool::HostPool(uint64_t limit_bytes, uint64_t max_pixels)
    : handle_{{kOrviPoolAbi, 0, pool_alloc, pool_free, max_pixels, {}}, this}, limit_(limit_bytes) {
}

HostPool::~HostPool() {
    for (auto& [address, block] : blocks_) {
        if (block.mapping != nullptr) {
            ::munmap(block.mapping, block.mapped_size);
        } else {
            std::free(const_cast<void*>(address));
        }
    }
}

uint64_t HostPool::default_limit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page_size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) {
        return kMaxDefaultLimit;
    }
    const uint64_t half = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) / 2;
    return std::min(half, kMaxDefaultLimit);
}

void* HostPool::allocate(uint64_t size) {
    const std::lock_guard<std::mutex> held(lock_);
    ++allocations_;
    if (fail_at_ != 0 && allocations_ == fail_at_) {
        return nullptr;
    }
    if (size > limit_ || live_bytes_ + size > limit_) {
        return nullptr;
    }
    Block block{size, 0, nullptr};
    void* data = nullptr;
    if (size >= kMappedFrom) {
        // Map a huge page more than needed, then trim to a 2 MiB-aligned span.
        const uint64_t span = (size + kHugePage - 1) / kHugePage * kHugePage;
        void* raw = ::mmap(nullptr, span + kHugePage, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (raw == MAP_FAILED) {
            return nullptr;
        }
        const auto start = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
        if (aligned > start) {
            ::munmap(raw, aligned - start);
        }
        const uintptr_t tail = start + span + kHugePage - (aligned + span);
        if (tail > 0) {
            ::munmap(reinterpret_cast<void*>(aligned + span), tail);
        }
        data = reinterpret_cast<void*>(aligned);
        ::madvise(data, span, MADV_HUGEPAGE);
        block.mapped_size = span;
        block.mapping = data;
    } else {
        data = std::calloc(1, std::max<uint64_t>(size, 1));
        if (data == nullptr) {
            return nullptr;
        }
    }
    blocks_.emplace(data, block);
    live_bytes_ += size;
    peak_bytes_ = std::max(peak_bytes_, live_bytes_);
    return data;
}

void HostPool::free(void* block) {
    const std::lock_guard<std::mutex> held(lock_);
    const auto found = blocks_.find(block);
    if (found == blocks_.end()) {
        std::abort(); // a block this pool never gave out: memory is already corrupt
    }
    live_bytes_ -= found->second.size;
    if (found->second.mapping != nullptr) {
        ::munmap(found->second.mapping, found->second.mapped_size);
    } else {
        std::free(block);
    }
    blocks_.erase(found);
}

std::string too_many_pixels_sentence(uint64_t width, uint64_t height, uint64_t limit) {
    return "it declares " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than the limit of " + std::to_string(limit) +
           " (--max-pixels N sets the limit, 0 for none)";
}

namespace {

static_assert(std::is_standard_layout_v<PoolHandle>);

HostPool& owner_of(OrviPool* pool) {
    // The ABI record is the first member of the standard-layout PoolHandle.
    return *reinterpret_cast<PoolHandle*>(pool)->owner;
}

void* pool_alloc(OrviPool* pool, uint64_t size) {
    return owner_of(pool).allocate(size);
}

void pool_free(OrviPool* pool, void* block) {
    owner_of(pool).free(block);
}

} // namespace
} // namespace host
