// Benchmarks for the ilbm module's ByteRun1 packing and unpacking and its plane
// conversions, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ilbm/ilbm_format.h"

namespace {

// Picture-like plane bytes: runs of 1 to 16 equal bytes.
std::vector<uint8_t> plane_bytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t seed = 11;
    for (size_t i = 0; i < size;) {
        seed = seed * 1103515245U + 12345U;
        const size_t run = 1 + (seed >> 28U);
        for (size_t k = 0; k < run && i < size; ++k) {
            bytes[i++] = static_cast<uint8_t>(seed >> 16U);
        }
    }
    return bytes;
}

constexpr size_t kRowBytes = 1000; // an 8000-pixel plane row

void BM_CompactRow(benchmark::State& state) {
    const std::vector<uint8_t> rows = plane_bytes(kRowBytes * 24);
    std::vector<uint8_t> out(2 * rows.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ilbm::CompactRow(rows.data(), out.data(), kRowBytes, 24));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}

void BM_UnpackRow(benchmark::State& state) {
    const std::vector<uint8_t> rows = plane_bytes(kRowBytes * 24);
    std::vector<uint8_t> packed(2 * rows.size());
    packed.resize(ilbm::CompactRow(rows.data(), packed.data(), kRowBytes, 24));
    std::vector<uint8_t> out(kRowBytes);
    for (auto _ : state) {
        size_t at = 0;
        for (int r = 0; r < 24; ++r) {
            at += static_cast<size_t>(ilbm::unpack_row(packed, at, out));
        }
        benchmark::DoNotOptimize(at);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}

void BM_SpreadPlanes(benchmark::State& state) {
    const std::vector<uint8_t> plane = plane_bytes(kRowBytes);
    std::vector<uint8_t> lane(kRowBytes * 8);
    for (auto _ : state) {
        for (uint32_t p = 0; p < 8; ++p) {
            ilbm::spread_plane(plane, lane.data(), kRowBytes * 8, p);
        }
        benchmark::DoNotOptimize(lane.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kRowBytes * 8));
}

void BM_GatherPlanes(benchmark::State& state) {
    const std::vector<uint8_t> lane = plane_bytes(kRowBytes * 8);
    std::vector<uint8_t> plane(kRowBytes);
    for (auto _ : state) {
        for (uint32_t p = 0; p < 8; ++p) {
            ilbm::gather_plane(lane.data(), plane.data(), kRowBytes * 8, p);
        }
        benchmark::DoNotOptimize(plane.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kRowBytes * 8));
}

} // namespace

BENCHMARK(BM_CompactRow);
BENCHMARK(BM_UnpackRow);
BENCHMARK(BM_SpreadPlanes);
BENCHMARK(BM_GatherPlanes);

BENCHMARK_MAIN();
