// The viewer's pixel loops on an 8000 x 6000 picture: the reduced copy a large picture is
// first shown from, and rows turned into texture pixels.
#include <benchmark/benchmark.h>

#include <array>
#include <tuple>
#include <vector>

#include "viewer/pixels.h"

namespace {

constexpr viewer::Size kPicture{8000, 6000};

std::vector<uint8_t> picture() {
    std::vector<uint8_t> pixels(size_t{kPicture.width} * kPicture.height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7 + i / 24000);
    }
    return pixels;
}

void BM_ReducedCopy(benchmark::State& state) {
    const orvi::Library library;
    const std::vector<uint8_t> pixels = picture();
    const uint32_t factor = viewer::preview_factor(kPicture);
    for (auto _ : state) {
        viewer::Reduced out = viewer::reduced(library, pixels.data(), kPicture, 3, factor);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pixels.size()));
}
BENCHMARK(BM_ReducedCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextureRows(benchmark::State& state) {
    const orvi::Library library;
    const std::vector<uint8_t> pixels = picture();
    std::vector<uint32_t> out(size_t{kPicture.width} * kPicture.height);
    for (auto _ : state) {
        library.in_bands(kPicture.height, 256, [&](size_t first, size_t end) {
            for (size_t row = first; row < end; ++row) {
                viewer::to_texture_row(pixels.data() + size_t{row} * kPicture.width * 3, 3,
                                       kPicture.width, out.data() + size_t{row} * kPicture.width);
            }
        });
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pixels.size()));
}
BENCHMARK(BM_TextureRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// A frame of colour cycling as the viewer draws it: the palette of the moment (six
// ranges over 32 colours) and every index through it into texture pixels.
void BM_CyclingFrame(benchmark::State& state) {
    const orvi::Library library;
    const auto width = static_cast<uint32_t>(state.range(0));
    const auto height = static_cast<uint32_t>(state.range(1));
    std::vector<uint8_t> indices(size_t{width} * height);
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<uint8_t>((i * 7 + i / width) % 32);
    }
    std::vector<uint8_t> palette(32 * 3);
    for (size_t i = 0; i < palette.size(); ++i) {
        palette[i] = static_cast<uint8_t>(i * 8);
    }
    orvi::Description description;
    for (const auto& [low, high, rate] : {std::tuple{8, 15, 5120},
                                          {4, 7, 2560},
                                          {19, 23, 2560},
                                          {15, 18, 2560},
                                          {29, 31, 2560},
                                          {25, 28, 2560}}) {
        orvi::ColourRange range;
        range.low = static_cast<uint8_t>(low);
        range.high = static_cast<uint8_t>(high);
        range.rate = static_cast<uint32_t>(rate);
        range.active = true;
        description.ranges.push_back(range);
    }
    const orvi::Cycling cycling(description, 32);
    std::vector<uint8_t> colours;
    std::vector<uint32_t> out(indices.size());
    double seconds = 0;
    for (auto _ : state) {
        seconds += 1.0 / 60;
        cycling.palette_at(seconds, palette, colours);
        const std::array<uint32_t, 256> lookup = viewer::palette_lookup(colours, -1);
        library.in_bands(height, 256, [&](size_t first, size_t end) {
            for (size_t row = first; row < end; ++row) {
                viewer::palette_row(indices.data() + row * width, lookup, 0,
                                    static_cast<uint32_t>(row), width, out.data() + row * width);
            }
        });
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_CyclingFrame)
    ->Args({320, 256})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
