// The host's pool (zero-filled blocks, limit, failure switch, books) and format
// recognition.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "lib/formats.h"
#include "lib/host_pool.h"

namespace {

TEST(HostPool, BlocksArriveZeroFilledAndAreCounted) {
    orvi::HostPool pool(64ULL << 20);
    for (const uint64_t size : {uint64_t{0}, uint64_t{1}, uint64_t{4096}, uint64_t{3} << 20}) {
        SCOPED_TRACE(size);
        auto* block = static_cast<uint8_t*>(pool.allocate(size));
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(std::all_of(block, block + size, [](uint8_t b) { return b == 0; }));
        std::fill(block, block + size, 0xAB);
        EXPECT_EQ(pool.live_blocks(), 1U);
        EXPECT_EQ(pool.live_bytes(), size);
        pool.free(block);
        EXPECT_EQ(pool.live_blocks(), 0U);
    }
    EXPECT_EQ(pool.peak_bytes(), 3U << 20);
}

TEST(HostPool, AFreedLargeBlockIsReusedZeroFilledByOneOfAboutItsSize) {
    orvi::HostPool pool(2ULL << 30);
    auto* first = static_cast<uint8_t*>(pool.allocate(8ULL << 20));
    ASSERT_NE(first, nullptr);
    std::fill(first, first + (8ULL << 20), 0xAB);
    pool.free(first);
    EXPECT_EQ(pool.spare_bytes(), 8ULL << 20);
    auto* small = static_cast<uint8_t*>(pool.allocate(4ULL << 20));
    EXPECT_NE(small, first) << "half the size does not hold on to the larger mapping";
    auto* again = static_cast<uint8_t*>(pool.allocate((7ULL << 20) + 1));
    ASSERT_EQ(again, first);
    EXPECT_TRUE(std::all_of(again, again + (7ULL << 20) + 1, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(pool.spare_bytes(), 0U);
    pool.free(again);
    pool.free(small);
    // Beyond the bound the oldest spares are given back.
    std::vector<void*> blocks;
    for (uint64_t i = 0; i < orvi::HostPool::kSpareBytes / (64ULL << 20) + 2; ++i) {
        blocks.push_back(pool.allocate(64ULL << 20));
        ASSERT_NE(blocks.back(), nullptr);
    }
    for (void* block : blocks) {
        pool.free(block);
    }
    EXPECT_LE(pool.spare_bytes(), orvi::HostPool::kSpareBytes);
    EXPECT_EQ(pool.live_blocks(), 0U);
}

TEST(HostPool, RefusesBeyondItsLimit) {
    orvi::HostPool pool(1000);
    void* first = pool.allocate(600);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool.allocate(401), nullptr) << "the limit counts live bytes";
    EXPECT_EQ(pool.allocate(UINT64_MAX), nullptr);
    pool.free(first);
    EXPECT_NE(pool.allocate(1000), nullptr);
}

TEST(HostPool, DefaultLimitRefusesTheLargestHeaderButNotTheLargestPpm) {
    orvi::HostPool pool;
    EXPECT_EQ(pool.allocate(65535ULL * 65535ULL * 3ULL), nullptr);
    EXPECT_GE(pool.limit(), 32767ULL * 32767ULL * 3ULL + (1ULL << 20));
}

TEST(HostPool, FailsTheNthAllocationOnce) {
    orvi::HostPool pool(1 << 20);
    pool.fail_allocation(2);
    void* first = pool.allocate(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(pool.allocate(8), nullptr);
    void* third = pool.allocate(8);
    EXPECT_NE(third, nullptr);
    pool.free(first);
    pool.free(third);
}

} // namespace
