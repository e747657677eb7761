// Benchmarks for every operation of the ops module through start_of_program, on
// three-byte pictures of 1000 x 750, 4000 x 3000 and 8000 x 6000 on one thread, and of
// 8000 x 6000 on two, in bytes per second of source picture.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "lib/host_pool.h"
#include "runtime/op_records.h"

extern "C" uint32_t start_of_program(OpArgs* args);

namespace {

struct Picture3 {
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> dest;
};

Picture3 make_picture(const benchmark::State& state) {
    Picture3 picture{
        static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), {}, {}};
    picture.pixels.resize(size_t{picture.width} * picture.height * 3);
    uint32_t seed = 1;
    for (uint8_t& byte : picture.pixels) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<uint8_t>(seed >> 16U);
    }
    picture.dest.resize(picture.pixels.size() * 4); // room for doubling
    return picture;
}

void run_op(benchmark::State& state, uint32_t code, int32_t p1 = 0, int32_t p2 = 0,
            int32_t p3 = 0) {
    Picture3 picture = make_picture(state);
    orvi::HostPool pool;
    pool.set_threads(static_cast<uint32_t>(state.range(2)));
    OpArgs args{};
    args.Operation = code;
    args.Source = picture.pixels.data();
    args.Width = picture.width;
    args.Height = picture.height;
    args.BytesPerPixel = 3;
    args.Count = static_cast<uint32_t>(code == kOpRgbToGray ? picture.pixels.size() / 3
                                                            : picture.pixels.size());
    args.Param1 = p1;
    args.Param2 = p2;
    args.Param3 = p3;
    args.Dest = picture.dest.data();
    args.Pool = pool.handle();
    for (auto _ : state) {
        start_of_program(&args);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(picture.pixels.size()));
}

void run_convolve(benchmark::State& state, std::vector<int32_t> weights, int32_t divisor) {
    Picture3 picture = make_picture(state);
    const auto row = static_cast<int32_t>(picture.width * 3);
    ImageView source{picture.pixels.data(), row, static_cast<int32_t>(picture.width),
                     static_cast<int32_t>(picture.height), 3};
    ImageView dest{picture.dest.data(), row, source.Width, source.Height, 3};
    orvi::HostPool pool;
    pool.set_threads(static_cast<uint32_t>(state.range(2)));
    OpArgs args{};
    args.Operation = kOpConvolve;
    args.Pool = pool.handle();
    args.Source = reinterpret_cast<uint8_t*>(&source);
    args.Dest = reinterpret_cast<uint8_t*>(&dest);
    args.Height = static_cast<uint32_t>(divisor);
    args.Count = weights.size() == 25 ? 5 : 3;
    args.Matrix = weights.data();
    for (auto _ : state) {
        start_of_program(&args);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(picture.pixels.size()));
}

void BM_Gamma(benchmark::State& state) {
    run_op(state, kOpSetGamma, 150);
}
void BM_Brightness(benchmark::State& state) {
    run_op(state, kOpSetBrightness, 20);
}
void BM_SetRgb(benchmark::State& state) {
    run_op(state, kOpSetRgb, 10, -5, 3);
}
void BM_Contrast(benchmark::State& state) {
    run_op(state, kOpSetContrast, 40);
}
void BM_Gray(benchmark::State& state) {
    run_op(state, kOpRgbToGray);
}
void BM_Negate(benchmark::State& state) {
    run_op(state, kOpNegate);
}
void BM_RotateCw(benchmark::State& state) {
    run_op(state, kOpRotateClockwise);
}
void BM_RotateCcw(benchmark::State& state) {
    run_op(state, kOpRotateAnticlockwise);
}
void BM_XFlip(benchmark::State& state) {
    run_op(state, kOpXFlip);
}
void BM_YFlip(benchmark::State& state) {
    run_op(state, kOpYFlip);
}
void BM_ResizeHalf(benchmark::State& state) {
    run_op(state, kOpResize, static_cast<int32_t>(state.range(0) / 2),
           static_cast<int32_t>(state.range(1) / 2));
}
void BM_ResizeDouble(benchmark::State& state) {
    run_op(state, kOpResize, static_cast<int32_t>(state.range(0) * 2),
           static_cast<int32_t>(state.range(1) * 2));
}
void BM_ResizeGeneral(benchmark::State& state) {
    run_op(state, kOpResize, static_cast<int32_t>(state.range(0) * 7 / 10),
           static_cast<int32_t>(state.range(1) * 7 / 10));
}
void BM_Copy(benchmark::State& state) {
    run_op(state, kOpCopy);
}
void BM_Fill(benchmark::State& state) {
    run_op(state, kOpFill, 1, 2, 3);
}
void BM_Convolve3(benchmark::State& state) {
    run_convolve(state, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16);
}
void BM_Convolve5(benchmark::State& state) {
    run_convolve(state, {1, 2, 3, 2, 1, 2, 4, 6, 4, 2, 3, 6, 9, 6, 3, 2, 4, 6, 4, 2, 1, 2, 3, 2, 1},
                 81);
}

void sizes(benchmark::internal::Benchmark* bench) {
    bench->Args({1000, 750, 1})
        ->Args({4000, 3000, 1})
        ->Args({8000, 6000, 1})
        ->Args({8000, 6000, 2})
        ->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Gamma)->Apply(sizes);
BENCHMARK(BM_Brightness)->Apply(sizes);
BENCHMARK(BM_SetRgb)->Apply(sizes);
BENCHMARK(BM_Contrast)->Apply(sizes);
BENCHMARK(BM_Gray)->Apply(sizes);
BENCHMARK(BM_Negate)->Apply(sizes);
BENCHMARK(BM_RotateCw)->Apply(sizes);
BENCHMARK(BM_RotateCcw)->Apply(sizes);
BENCHMARK(BM_XFlip)->Apply(sizes);
BENCHMARK(BM_YFlip)->Apply(sizes);
BENCHMARK(BM_ResizeHalf)->Apply(sizes);
BENCHMARK(BM_ResizeDouble)->Apply(sizes);
BENCHMARK(BM_ResizeGeneral)->Apply(sizes);
BENCHMARK(BM_Copy)->Apply(sizes);
BENCHMARK(BM_Fill)->Apply(sizes);
BENCHMARK(BM_Convolve3)->Apply(sizes);
BENCHMARK(BM_Convolve5)->Apply(sizes);

BENCHMARK_MAIN();
