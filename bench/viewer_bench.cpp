// The viewer's pixel loops on an 8000 x 6000 picture: the reduced copy a large picture is
// first shown from, and rows turned into texture pixels.
#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
