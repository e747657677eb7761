// The host's pool (zero-filled blocks, limit, failure switch, books) and format
// recognition.
#include <gtest/gtest.h>

#include <algorithm>

#include "lib/formats.h"
#include "lib/host_pool.h"

namespace {

TEST(HostPool, BlocksArriveZeroFilledAndAreCounted) {
    host::HostPool pool(64ULL << 20);
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

TEST(HostPool, RefusesBeyondItsLimit) {
    host::HostPool pool(1000);
    void* first = pool.allocate(600);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool.allocate(401), nullptr) << "the limit counts live bytes";
    EXPECT_EQ(pool.allocate(UINT64_MAX), nullptr);
    pool.free(first);
    EXPECT_NE(pool.allocate(1000), nullptr);
}

TEST(HostPool, DefaultLimitRefusesTheLargestHeaderButNotTheLargestPpm) {
    host::HostPool pool;
    EXPECT_EQ(pool.allocate(65535ULL * 65535ULL * 3ULL), nullptr);
    EXPECT_GE(pool.limit(), 32767ULL * 32767ULL * 3ULL + (1ULL << 20));
}

TEST(HostPool, FailsTheNthAllocationOnce) {
    host::HostPool pool(1 << 20);
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
