// Benchmarks for the host's own work: palettes (exact, median cut, nearest colours,
// dithering) and PNG writing, on a 1000 x 750 noisy gradient, in pixels per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "lib/palette.h"
#include "png/png_file.h"

namespace {

constexpr int32_t kWidth = 1000;
constexpr int32_t kHeight = 750;

// A navy-to-orange gradient with noise, like a scanned photograph; `levels` > 0
// posterises each sample to that many levels.
std::vector<uint8_t> gradient(int levels) {
    std::vector<uint8_t> samples(size_t{kWidth} * kHeight * 3);
    uint32_t seed = 11;
    for (size_t p = 0; p < samples.size() / 3; ++p) {
        const double t = static_cast<double>(p % kWidth) / kWidth;
        const double base[3] = {255 * t, 128 * t, 128 * (1 - t)};
        for (size_t c = 0; c < 3; ++c) {
            seed = seed * 1103515245U + 12345U;
            const double noisy = base[c] + static_cast<double>((seed >> 16U) % 41) - 20;
            auto value = static_cast<int>(std::clamp(noisy, 0.0, 255.0));
            if (levels > 0) {
                value = value * levels / 256 * 255 / (levels - 1);
            }
            samples[3 * p + c] = static_cast<uint8_t>(value);
        }
    }
    return samples;
}

Picture picture_of(std::vector<uint8_t>& samples) {
    return {samples.data(), kWidth, kHeight, 3, kWidth, kHeight, 24, 0, 0, 0};
}

orvi::HostPool pool;

void count_pixels(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

void BM_ExactPalette(benchmark::State& state) {
    std::vector<uint8_t> samples = gradient(6); // 216 colours at most
    const Picture picture = picture_of(samples);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orvi::exact_indexed(pool, picture, 256));
    }
    count_pixels(state);
}
BENCHMARK(BM_ExactPalette)->Unit(benchmark::kMillisecond);

void BM_MedianCut(benchmark::State& state) {
    std::vector<uint8_t> samples = gradient(0);
    const Picture picture = picture_of(samples);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            orvi::median_cut(pool, picture, static_cast<size_t>(state.range(0))));
    }
    count_pixels(state);
}
BENCHMARK(BM_MedianCut)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond);

// The whole reduction: median cut, then each pixel's nearest entry or dithered choice.
void BM_Reduce(benchmark::State& state) {
    std::vector<uint8_t> samples = gradient(0);
    const Picture picture = picture_of(samples);
    const bool dither = state.range(1) != 0;
    for (auto _ : state) {
        std::string error;
        benchmark::DoNotOptimize(orvi::build_indexed(
            pool, picture, {static_cast<uint32_t>(state.range(0)), true, dither}, error));
    }
    count_pixels(state);
}
BENCHMARK(BM_Reduce)->Args({4, 0})->Args({8, 0})->Args({8, 1})->Unit(benchmark::kMillisecond);

// PNG writing (zlib level 6) to /dev/null: RGB for the gradient, a palette when posterised.
void BM_SavePng(benchmark::State& state) {
    std::vector<uint8_t> samples = gradient(static_cast<int>(state.range(0)));
    const Picture picture = picture_of(samples);
    for (auto _ : state) {
        std::string error;
        benchmark::DoNotOptimize(orvi::save_png(pool, "/dev/null", picture, nullptr, error));
    }
    count_pixels(state);
}
BENCHMARK(BM_SavePng)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
