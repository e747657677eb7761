// Writer round trips for fuzz targets: a small picture and save options made from the
// input, saved through a module into a memory file, loaded back through the same
// module: the pixels must be the ones saved. Palette pictures are made as the library
// makes them: distinct colours, padded with black to 256 entries.
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "lib/host_pool.h"
#include "platform/seams.h"
#include "runtime/records.h"
#include "runtime/result_codes.h"

extern "C" uint32_t start_prog(CodecArgs* args);

namespace fuzzing {

// A memory file, emptied; its name for opening.
inline std::string empty_memory_file() {
    static int fd = -1;
    if (fd < 0) {
        fd = ::memfd_create("round-trip", 0);
        FUZZ_CHECK(fd >= 0);
    }
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    return "/proc/self/fd/" + std::to_string(fd);
}

// The picture of a round trip: from bytes 4.. of the input, cycled.
struct Made {
    uint32_t width = 1;
    uint32_t height = 1;
    uint32_t depth = 24;                 // 1..8: a palette of 2^depth colours at most
    std::array<uint32_t, 256> palette{}; // 0x00RRGGBB, distinct, then black
    std::vector<uint8_t> indices;        // one a pixel, with a palette depth
    std::vector<uint8_t> samples;        // what the file must load back as, 3 a pixel
    std::vector<uint8_t> stored;         // the Picture's own pixels (1 or 3 bytes a pixel)
    uint32_t bytes_per_pixel = 3;
};

// The Picture a writer is handed for `made`: its stored pixels, the whole of it visible.
inline Picture picture_of(Made& made) {
    return Picture{made.stored.data(),
                   static_cast<int32_t>(made.width),
                   static_cast<int32_t>(made.height),
                   made.bytes_per_pixel,
                   made.width,
                   made.height,
                   8 * made.bytes_per_pixel,
                   0,
                   0,
                   0};
}

// Width and height 1..64 from bytes 0 and 1; the depth is one of `depths` by byte 2;
// `grey` makes a one-byte picture (true colour only).
inline Made make_picture(const uint8_t* data, size_t size, const std::vector<uint32_t>& depths,
                         bool grey) {
    Made made;
    const auto at = [&](size_t i) -> uint8_t { return size > 4 ? data[4 + i % (size - 4)] : 0x5A; };
    made.width = 1 + (size > 0 ? data[0] % 64U : 0U);
    made.height = 1 + (size > 1 ? data[1] % 64U : 0U);
    made.depth = depths[(size > 2 ? data[2] : 0U) % depths.size()];
    const size_t pixels = size_t{made.width} * made.height;
    if (made.depth != 24) {
        const size_t colours = size_t{1} << made.depth;
        size_t used = 0;
        for (size_t i = 0; used < colours && i < 4 * colours; ++i) {
            const uint32_t colour =
                (uint32_t{at(3 * i)} << 16U) | (uint32_t{at(3 * i + 1)} << 8U) | at(3 * i + 2);
            bool fresh = true;
            for (size_t k = 0; k < used; ++k) {
                fresh = fresh && made.palette[k] != colour;
            }
            if (fresh) {
                made.palette[used++] = colour;
            }
        }
        for (size_t p = 0; p < pixels; ++p) {
            const uint8_t index = static_cast<uint8_t>(at(1000 + p) % used);
            made.indices.push_back(index);
            const uint32_t colour = made.palette[index];
            made.samples.insert(made.samples.end(),
                                {static_cast<uint8_t>(colour >> 16U),
                                 static_cast<uint8_t>(colour >> 8U), static_cast<uint8_t>(colour)});
        }
        made.stored = made.samples;
        return made;
    }
    made.bytes_per_pixel = grey ? 1 : 3;
    for (size_t p = 0; p < pixels * made.bytes_per_pixel; ++p) {
        made.stored.push_back(at(p));
    }
    for (size_t p = 0; p < pixels; ++p) {
        for (size_t c = 0; c < 3; ++c) {
            made.samples.push_back(
                made.stored[p * made.bytes_per_pixel + c % made.bytes_per_pixel]);
        }
    }
    return made;
}

// Saves `made` through the linked module with `save_mode` (and its IndexedPicture when
// `indexed_in_request`), loads it back, and checks the pixels and the books.
inline void check_module_round_trip(Made& made, uintptr_t save_mode, bool palette_in_save_mode) {
    orvi::HostPool pool(64U << 20U);
    const std::string file = empty_memory_file();
    Picture picture = picture_of(made);
    IndexedPicture indexed{static_cast<uint16_t>(made.width),
                           static_cast<uint16_t>(made.height),
                           made.depth,
                           0,
                           made.palette.data(),
                           made.indices.data()};
    const bool with_palette = made.depth != 24;
    CodecRequest save{&picture, save_mode, 0, 0, nullptr};
    if (with_palette && palette_in_save_mode) {
        save.SaveMode = reinterpret_cast<uintptr_t>(&indexed);
    } else if (with_palette) {
        save.IndexedPic = &indexed;
    }
    CodecArgs saving{&save, file.c_str(), kCommandSave, 0, pool.handle(), nullptr};
    FUZZ_CHECK(start_prog(&saving) == 0);
    FUZZ_CHECK(saving.Result == kOk);
    FUZZ_CHECK(pool.live_blocks() == 0);
    Picture loaded{};
    CodecRequest load{&loaded, 0, 0, 0, nullptr};
    CodecArgs loading{&load, file.c_str(), kCommandLoad, 0, pool.handle(), nullptr};
    FUZZ_CHECK(start_prog(&loading) == 0);
    FUZZ_CHECK(loading.Result == kOk);
    FUZZ_CHECK(loaded.Width == picture.Width && loaded.Height == picture.Height);
    FUZZ_CHECK(std::memcmp(loaded.Data, made.samples.data(), made.samples.size()) == 0);
    pool.free(loaded.Data);
    FUZZ_CHECK(pool.live_blocks() == 0);
    FUZZ_CHECK(platform::seam::live_dos_objects() == 0);
    FUZZ_CHECK(platform::seam::live_library_openings() == 0);
}

} // namespace fuzzing
