// Fuzz target: the ILBM writer at every depth, plain and ByteRun1, round-tripped through
// the reader.
#include "fuzz/write_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Made made = fuzzing::make_picture(data, size, {1, 2, 3, 4, 5, 6, 7, 8, 24}, false);
    const uintptr_t compression = size > 3 ? data[3] & 1U : 0U;
    fuzzing::check_module_round_trip(made, compression, false);
    return 0;
}
