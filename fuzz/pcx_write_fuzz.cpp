// Fuzz target: the PCX writer at every depth, round-tripped through the reader. A
// one-bit picture is black and white, as PCX readers show one.
#include "fuzz/write_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Made made = fuzzing::make_picture(data, size, {1, 2, 4, 8, 24}, false);
    if (made.depth == 1) {
        const uint32_t first = made.palette[0];
        made.palette[0] = 0;
        made.palette[1] = 0xFFFFFF;
        for (size_t p = 0; p < made.indices.size(); ++p) {
            const uint8_t value = made.indices[p] == 0 && first != 0xFFFFFF ? 0 : 255;
            made.indices[p] = value == 0 ? 0 : 1;
            std::memset(made.samples.data() + 3 * p, value, 3);
        }
        made.stored = made.samples;
    }
    fuzzing::check_module_round_trip(made, 0, true); // the IndexedPicture rides in SaveMode
    return 0;
}
