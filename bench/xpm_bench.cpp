// Benchmarks for the xpm module's scanner and pixel decoding, and whole loads from
// memory at 1, 2 and 3 characters per pixel, in bytes of file per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "lib/host_pool.h"
#include "platform/seams.h"
#include "runtime/records.h"
#include "xpm/xpm_format.h"

extern "C" uint32_t start_prog(CodecArgs* args);

namespace {

// A width x height XPM with `colours` hexadecimal colours of `cpp` characters.
std::string make_xpm(int width, int height, int cpp, int colours) {
    std::vector<std::string> codes;
    for (int i = 0; i < colours; ++i) {
        std::string code;
        for (int c = 0, n = i; c < cpp; ++c, n /= 90) {
            code += static_cast<char>(35 + n % 90 + (35 + n % 90 >= 92 ? 1 : 0));
        }
        codes.push_back(code);
    }
    std::string text = "/* XPM */\nstatic char *p[] = {\n\"" + std::to_string(width) + " " +
                       std::to_string(height) + " " + std::to_string(colours) + " " +
                       std::to_string(cpp) + "\",\n";
    for (int i = 0; i < colours; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X",
                      (static_cast<unsigned>(i) * 2654435761U) & 0xFFFFFFU);
        text += "\"" + codes[static_cast<size_t>(i)] + " c #" + hex + "\",\n";
    }
    for (int y = 0; y < height; ++y) {
        text += "\"";
        for (int x = 0; x < width; ++x) {
            text += codes[static_cast<size_t>((x * 7 + y * 13) % colours)];
        }
        text += "\",\n";
    }
    return text + "};\n";
}

// A 400 x 400 XPM with 32766 five-character codes that a multiplicative hash of the
// code's bytes (the long-code lookup this reader once had) sends to the same 64 of its
// 65536 slots: with linear probing, each lookup walked the whole crowd.
std::string make_crowded_xpm() {
    constexpr int kColours = 32766;
    std::vector<std::string> codes;
    for (uint64_t n = 0; codes.size() < kColours; ++n) {
        std::string code;
        uint64_t key = 0;
        for (uint64_t c = 0, rest = n; c < 5; ++c, rest /= 90) {
            const auto ch = static_cast<char>(35 + rest % 90 + (35 + rest % 90 >= 92 ? 1 : 0));
            code += ch;
            key = (key << 8U) | static_cast<uint8_t>(ch);
        }
        if ((((key * 0x9E3779B97F4A7C15ULL) >> 24U) & 0xFFFFU) < 64) {
            codes.push_back(code);
        }
    }
    std::string text = "/* XPM */\nstatic char *p[] = {\n\"400 400 32766 5\",\n";
    for (size_t i = 0; i < codes.size(); ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%06zX", i);
        text += "\"" + codes[i] + " c #" + hex + "\",\n";
    }
    for (size_t y = 0; y < 400; ++y) {
        text += "\"";
        for (size_t x = 0; x < 400; ++x) {
            text += codes[(y * 400 + x) % codes.size()];
        }
        text += "\",\n";
    }
    return text + "};\n";
}

void BM_ScanStrings(benchmark::State& state) {
    const std::string file = make_xpm(1000, 1000, 2, 256);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.data()),
                                         file.size());
    for (auto _ : state) {
        xpm::StringScanner scanner(bytes);
        std::span<const uint8_t> string;
        size_t count = 0;
        while (scanner.next(string)) {
            count += string.size();
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

void load_from_memory(benchmark::State& state, const std::string& file) {
    platform::seam::set_memory_file("bench:xpm", reinterpret_cast<const uint8_t*>(file.data()),
                                    file.size());
    orvi::HostPool pool;
    for (auto _ : state) {
        Picture pic{};
        CodecRequest request{&pic, 0, 0, 0, nullptr};
        CodecArgs args{&request, "bench:xpm", kCommandLoad, 0, pool.handle(), nullptr};
        start_prog(&args);
        if (args.Result != 0) {
            state.SkipWithError("load failed");
            break;
        }
        pool.free(pic.Data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
    platform::seam::reset();
}

void BM_Load(benchmark::State& state) {
    const int cpp = static_cast<int>(state.range(0));
    load_from_memory(state, make_xpm(2000, 2000, cpp, cpp == 1 ? 64 : (cpp == 2 ? 256 : 1000)));
}

void BM_LoadCrowdedCodes(benchmark::State& state) {
    load_from_memory(state, make_crowded_xpm());
}

} // namespace

BENCHMARK(BM_ScanStrings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCrowdedCodes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
