// Benchmarks for the ppm module's inner loops and whole loads from memory: raw copy,
// scaled raw, 16-bit raw, plain text parsing and writing, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lib/host_pool.h"
#include "platform/seams.h"
#include "ppm/ppm_format.h"
#include "runtime/records.h"

extern "C" uint32_t start_prog(CodecArgs* args);

namespace {

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 12345;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245U + 12345U;
        byte = static_cast<uint8_t>(state >> 16U);
    }
    return bytes;
}

std::vector<uint8_t> plain_text(const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> text(ppm::plain_text_bound(samples.size()));
    text.resize(ppm::encode_plain(samples, 0, samples.size(), text.data()));
    return text;
}

void set_bytes(benchmark::State& state, size_t per_iteration) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(per_iteration));
}

size_t side_pixels(const benchmark::State& state) {
    return static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1));
}

void BM_DecodeRaw8Copy(benchmark::State& state) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> raster = pattern(bytes);
    std::vector<uint8_t> pixels(bytes);
    for (auto _ : state) {
        ppm::decode_raw8(raster, pixels, 255, 3);
        benchmark::DoNotOptimize(pixels.data());
    }
    set_bytes(state, bytes);
}

void BM_DecodeRaw8Scaled(benchmark::State& state) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> raster = pattern(bytes);
    std::vector<uint8_t> pixels(bytes);
    for (auto _ : state) {
        ppm::decode_raw8(raster, pixels, 100, 3);
        benchmark::DoNotOptimize(pixels.data());
    }
    set_bytes(state, bytes);
}

void BM_DecodeRaw16(benchmark::State& state) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> raster = pattern(bytes * 2);
    std::vector<uint8_t> pixels(bytes);
    for (auto _ : state) {
        ppm::decode_raw16(raster, pixels, 65535, 3);
        benchmark::DoNotOptimize(pixels.data());
    }
    set_bytes(state, raster.size());
}

void BM_DecodePlain(benchmark::State& state) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> text = plain_text(pattern(bytes));
    std::vector<uint8_t> pixels(bytes);
    for (auto _ : state) {
        ppm::decode_plain(text, pixels, 255, 3);
        benchmark::DoNotOptimize(pixels.data());
    }
    set_bytes(state, text.size());
}

void BM_EncodePlain(benchmark::State& state) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> samples = pattern(bytes);
    std::vector<uint8_t> text(ppm::plain_text_bound(bytes));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ppm::encode_plain(samples, 0, bytes, text.data()));
    }
    set_bytes(state, bytes);
}

// A whole load through the module entry from a memory file: header, pool, raster.
void load_benchmark(benchmark::State& state, bool plain) {
    const size_t bytes = side_pixels(state) * 3;
    const std::vector<uint8_t> samples = pattern(bytes);
    const std::string header = std::string(plain ? "P3\n" : "P6\n") +
                               std::to_string(state.range(0)) + " " +
                               std::to_string(state.range(1)) + "\n255\n";
    std::vector<uint8_t> file(header.begin(), header.end());
    const std::vector<uint8_t> raster = plain ? plain_text(samples) : samples;
    file.insert(file.end(), raster.begin(), raster.end());
    platform::seam::set_memory_file("bench:file", file.data(), file.size());
    orvi::HostPool pool;
    for (auto _ : state) {
        Picture pic{};
        CodecRequest request{&pic, 0, 0, 0, nullptr};
        CodecArgs args{&request, "bench:file", kCommandLoad, 0, pool.handle(), nullptr};
        start_prog(&args);
        if (args.Result != 0) {
            state.SkipWithError("load failed");
            break;
        }
        pool.free(pic.Data);
    }
    set_bytes(state, file.size());
    platform::seam::reset();
}

void BM_LoadRaw(benchmark::State& state) {
    load_benchmark(state, false);
}
void BM_LoadPlain(benchmark::State& state) {
    load_benchmark(state, true);
}

void sizes(benchmark::internal::Benchmark* bench) {
    bench->Args({256, 256})->Args({1024, 1024})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_DecodeRaw8Copy)->Apply(sizes);
BENCHMARK(BM_DecodeRaw8Scaled)->Apply(sizes);
BENCHMARK(BM_DecodeRaw16)->Apply(sizes);
BENCHMARK(BM_DecodePlain)->Apply(sizes);
BENCHMARK(BM_EncodePlain)->Apply(sizes);
BENCHMARK(BM_LoadRaw)->Apply(sizes);
BENCHMARK(BM_LoadPlain)->Apply(sizes);

BENCHMARK_MAIN();
