// Fuzz target: the PNG writer, true colour, grey and at every palette depth, round-tripped
// through the reader.
#include "fuzz/write_round_trip.h"
#include "lib/palette.h"
#include "png/png_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool grey = size > 3 && (data[3] & 1U) != 0;
    fuzzing::Made made =
        fuzzing::make_picture(data, size, {1, 2, 3, 4, 5, 6, 7, 8, 24, 24, 24}, grey);
    orvi::HostPool pool(64U << 20U);
    const std::string file = fuzzing::empty_memory_file();
    const Picture picture = fuzzing::picture_of(made);
    std::string error;
    {
        std::optional<orvi::IndexedImage> indexed;
        if (made.depth != 24) {
            indexed =
                orvi::build_indexed(pool, picture, {made.depth, false, false}, error);
            FUZZ_CHECK(indexed.has_value());
        }
        FUZZ_CHECK(orvi::save_png(pool, file.c_str(), picture, nullptr, error,
                                  indexed ? &*indexed : nullptr));
    }
    Picture loaded{};
    orvi::PngHeader header;
    FUZZ_CHECK(orvi::load_png(pool, file, loaded, header, nullptr, error));
    FUZZ_CHECK(loaded.Width == picture.Width && loaded.Height == picture.Height);
    FUZZ_CHECK(std::memcmp(loaded.Data, made.samples.data(), made.samples.size()) == 0);
    pool.free(loaded.Data);
    FUZZ_CHECK(pool.live_blocks() == 0);
    return 0;
}
