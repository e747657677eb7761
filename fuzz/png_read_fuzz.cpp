// Fuzz target: reading PNG through libpng, from a memory file, with the pool capped
// far below the fuzzer's memory limit. A load either delivers a three-byte picture the
// pool owns, or fails with a sentence and leaves nothing in the pool; a small delivered
// picture, written again, loads back with the same pixels. Every other input also asks
// for the palette and transparency: indices lie in their palette, and what is kept, with
// the picture's pixels as a palette or RGBA picture, loads back the same too.
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz/fuzz_check.h"
#include "png/png_file.h"

namespace {

// A memory file holding `size` bytes of `data`; its name for opening.
std::string memory_file(int& fd, const uint8_t* data, size_t size) {
    if (fd < 0) {
        fd = ::memfd_create("png", 0);
        FUZZ_CHECK(fd >= 0);
    }
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(size == 0 || ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int input_fd = -1;
    static int output_fd = -1;
    constexpr uint64_t kPoolCap = 256ULL << 20;
    constexpr uint64_t kRoundTripPixels = 1U << 16U;
    constexpr uint64_t kMostPixels = 1U << 20U; // larger claims are refused from the header
    orvi::HostPool pool(kPoolCap, kMostPixels);
    Picture picture{};
    orvi::PngHeader header;
    std::string error;
    const std::string input = memory_file(input_fd, data, size);
    OrviExtras kept{};
    kept.transparent = -1;
    OrviExtras* extras = size > 0 && (data[size - 1] & 1U) != 0 ? &kept : nullptr;
    if (!orvi::load_png(pool, input, picture, header, nullptr, error, nullptr, extras)) {
        FUZZ_CHECK(!error.empty() && picture.Data == nullptr && pool.live_blocks() == 0);
        FUZZ_CHECK(kept.indices == nullptr && kept.alpha == nullptr && kept.straight == nullptr);
        return 0;
    }
    uint64_t extra_blocks = 0;
    for (const uint8_t* block : {kept.indices, kept.alpha, kept.straight}) {
        FUZZ_CHECK(block == nullptr || pool.owns(block));
        extra_blocks += block != nullptr ? 1 : 0;
    }
    const uint64_t count =
        uint64_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    if (kept.indices != nullptr) {
        FUZZ_CHECK(kept.palette_count >= 1 && kept.palette_count <= 256);
        FUZZ_CHECK(kept.transparent < static_cast<int32_t>(kept.palette_count));
        for (uint64_t i = 0; i < count; ++i) {
            FUZZ_CHECK(kept.indices[i] < kept.palette_count);
        }
    }
    FUZZ_CHECK((kept.alpha == nullptr) == (kept.straight == nullptr));
    for (uint8_t* block : {kept.indices, kept.alpha, kept.straight}) {
        if (block != nullptr) {
            pool.free(block);
        }
    }
    (void)extra_blocks;
    FUZZ_CHECK(picture.Data != nullptr && pool.owns(picture.Data) && pool.live_blocks() == 1);
    FUZZ_CHECK(picture.BytesPerPixel == 3 && picture.Width >= 1 && picture.Height >= 1);
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    if (pixels <= kRoundTripPixels) {
        const std::string output = memory_file(output_fd, nullptr, 0);
        FUZZ_CHECK(orvi::save_png(pool, output.c_str(), picture, nullptr, error));
        Picture again{};
        FUZZ_CHECK(orvi::load_png(pool, output, again, header, nullptr, error));
        FUZZ_CHECK(again.Width == picture.Width && again.Height == picture.Height);
        FUZZ_CHECK(std::memcmp(again.Data, picture.Data, pixels * 3) == 0);
        pool.free(again.Data);
    }
    pool.free(picture.Data);
    FUZZ_CHECK(pool.live_blocks() == 0);
    return 0;
}
