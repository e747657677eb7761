// Every frame of an IFF ANIM decoded in order through the library, as `orvi convert
// anim.anim frames/` and the viewer do: the first frame's BODY, then a delta a frame.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "orvi/orvi.h"

namespace {

void BM_AnimFrames(benchmark::State& state) {
    if (!std::filesystem::exists(CORPUS_ANIM)) {
        state.SkipWithError("the corpus animation is absent (../shared is not beside the project)");
        return;
    }
    orvi::Options options;
    options.module_folder = MODULE_DIR;
    orvi::Library library(options);
    orvi::LoadOptions load;
    load.details = false;
    uint64_t frames = 0;
    for (auto _ : state) {
        orvi::Error error;
        std::optional<orvi::Pictures> pictures = library.open(CORPUS_ANIM, error);
        for (uint32_t number = 1; pictures && number <= pictures->count(); ++number) {
            std::optional<orvi::Image> frame = pictures->load(number, error, load);
            benchmark::DoNotOptimize(frame);
            ++frames;
        }
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnimFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
