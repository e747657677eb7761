// The host's pool. Large blocks come from anonymous mappings aligned to 2 MiB and
// advised for huge pages: they arrive zero-filled, so nothing clears them, and large
// pictures take a quarter of the page faults. A freed large block's mapping is kept (up
// to kSpareBytes) and cleared when a block of about its size is asked for again: clearing
// memory already in place is faster than taking the page faults of a new mapping. Sparse
// blocks (tables over every colour) are mapped in small pages and never kept. Small
// blocks come from calloc.
#include "lib/host_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

namespace orvi {
namespace {

constexpr uint64_t kMappedFrom = 1U << 20;
constexpr uint64_t kHugePage = 2U << 20;
constexpr uint64_t kMaxDefaultLimit = 8ULL << 30;

void* pool_alloc(OrviPool* pool, uint64_t size);
void pool_free(OrviPool* pool, void* block);

} // namespace

HostPool::HostPool(uint64_t limit_bytes, uint64_t max_pixels)
    : handle_{{kOrviPoolAbi, 0, pool_alloc, pool_free, max_pixels, {}, 1, nullptr, 0, nullptr, nullptr}, this},
      limit_(limit_bytes) {}

HostPool::~HostPool() {
    for (const Block& spare : spares_) {
        ::munmap(spare.mapping, spare.mapped_size);
    }
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

void* HostPool::allocate(uint64_t size, Use use) {
    const std::lock_guard<std::mutex> held(lock_);
    ++allocations_;
    if (fail_at_ != 0 && allocations_ == fail_at_) {
        return nullptr;
    }
    if (size > limit_ || live_bytes_ + size > limit_) {
        return nullptr;
    }
    Block block{size, 0, nullptr, use == Use::sparse};
    void* data = nullptr;
    const uint64_t span = (size + kHugePage - 1) / kHugePage * kHugePage;
    if (size >= kMappedFrom && !block.sparse &&
        (data = reuse_spare(span, block.mapped_size)) != nullptr) {
        std::memset(data, 0, size);
        block.mapping = data;
    } else if (size >= kMappedFrom) {
        // Map a huge page more than needed, then trim to a 2 MiB-aligned span.
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
        ::madvise(data, span, block.sparse ? MADV_NOHUGEPAGE : MADV_HUGEPAGE);
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
    if (found->second.mapping != nullptr && found->second.sparse) {
        ::munmap(found->second.mapping, found->second.mapped_size);
    } else if (found->second.mapping != nullptr) {
        spares_.push_back(found->second);
        // The oldest spares go back to the system beyond the bound.
        uint64_t kept = 0;
        size_t first_kept = spares_.size();
        while (first_kept > 0 && kept + spares_[first_kept - 1].mapped_size <= kSpareBytes) {
            kept += spares_[--first_kept].mapped_size;
        }
        for (size_t i = 0; i < first_kept; ++i) {
            ::munmap(spares_[i].mapping, spares_[i].mapped_size);
        }
        spares_.erase(spares_.begin(), spares_.begin() + static_cast<ptrdiff_t>(first_kept));
    } else {
        std::free(block);
    }
    blocks_.erase(found);
}

void* HostPool::reuse_spare(uint64_t span, uint64_t& mapped_size) {
    // A spare at most a quarter larger than asked for: a small block does not hold on to
    // a picture's worth of memory.
    for (size_t i = spares_.size(); i > 0; --i) {
        const Block spare = spares_[i - 1];
        if (spare.mapped_size >= span && spare.mapped_size - span <= span / 4) {
            spares_.erase(spares_.begin() + static_cast<ptrdiff_t>(i - 1));
            mapped_size = spare.mapped_size;
            return spare.mapping;
        }
    }
    return nullptr;
}

std::string too_many_pixels_sentence(uint64_t width, uint64_t height, uint64_t limit) {
    return "it declares " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than the limit of " + std::to_string(limit);
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
} // namespace orvi
