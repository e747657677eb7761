// Benchmarks for the pcx module's run-length decoder and encoder, and whole loads from
// memory of 24-bit and 8-bit files, in bytes per second of decoded data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "lib/host_pool.h"
#include "pcx/pcx_format.h"
#include "platform/seams.h"
#include "runtime/records.h"

extern "C" uint32_t start_prog(CodecArgs* args);

namespace {

// Picture-like bytes: runs of varying length, some values of 0xC0 and more.
std::vector<uint8_t> picture_bytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t seed = 7;
    for (size_t i = 0; i < size;) {
        seed = seed * 1103515245U + 12345U;
        const size_t run = 1 + (seed >> 28U);
        const auto value = static_cast<uint8_t>(seed >> 16U);
        for (size_t k = 0; k < run && i < size; ++k) {
            bytes[i++] = value;
        }
    }
    return bytes;
}

void BM_EncodeRLE(benchmark::State& state) {
    const auto line = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> bytes = picture_bytes(line * 1000);
    std::vector<uint8_t> out(2 * line);
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += line) {
            benchmark::DoNotOptimize(pcx::EncodeRLE({bytes.data() + at, line}, out.data()));
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_DecodeRLE(benchmark::State& state) {
    const auto line = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> bytes = picture_bytes(line * 1000);
    std::vector<uint8_t> packed(2 * bytes.size());
    size_t length = 0;
    for (size_t at = 0; at < bytes.size(); at += line) {
        length += pcx::EncodeRLE({bytes.data() + at, line}, packed.data() + length);
    }
    std::vector<uint8_t> out(line);
    for (auto _ : state) {
        pcx::RleDecoder stream({packed.data(), length});
        for (size_t at = 0; at < bytes.size(); at += line) {
            benchmark::DoNotOptimize(stream.DecodeRLE(out));
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

// A whole PCX load from memory: 24-bit (3 planes) or 8-bit with a trailer.
void BM_Load(benchmark::State& state) {
    const uint32_t width = 2000;
    const uint32_t height = 1500;
    const bool truecolour = state.range(0) == 24;
    const uint32_t planes = truecolour ? 3 : 1;
    std::vector<uint8_t> file(128, 0);
    file[0] = 10;
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    file[8] = static_cast<uint8_t>((width - 1) & 0xFF);
    file[9] = static_cast<uint8_t>((width - 1) >> 8);
    file[10] = static_cast<uint8_t>((height - 1) & 0xFF);
    file[11] = static_cast<uint8_t>((height - 1) >> 8);
    file[65] = static_cast<uint8_t>(planes);
    file[66] = static_cast<uint8_t>(width & 0xFF);
    file[67] = static_cast<uint8_t>(width >> 8);
    const std::vector<uint8_t> bytes = picture_bytes(size_t{width} * height * planes);
    std::vector<uint8_t> packed(2 * width);
    for (size_t at = 0; at < bytes.size(); at += width) {
        const size_t length = pcx::EncodeRLE({bytes.data() + at, width}, packed.data());
        file.insert(file.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(length));
    }
    if (!truecolour) {
        file.push_back(12);
        file.resize(file.size() + 768, 0x40);
    }
    platform::seam::set_memory_file("bench:pcx", file.data(), file.size());
    orvi::HostPool pool;
    for (auto _ : state) {
        Picture pic{};
        CodecRequest request{&pic, 0, 0, 0, nullptr};
        CodecArgs args{&request, "bench:pcx", kCommandLoad, 0, pool.handle(), nullptr};
        start_prog(&args);
        if (args.Result != 0) {
            state.SkipWithError("load failed");
            break;
        }
        pool.free(pic.Data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    platform::seam::reset();
}

} // namespace

BENCHMARK(BM_EncodeRLE)->Arg(640)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRLE)->Arg(640)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
