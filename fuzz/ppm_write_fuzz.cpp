// Fuzz target: the PPM writer raw and plain, colour and grey, round-tripped through the
// reader.
#include "fuzz/write_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t options = size > 3 ? data[3] : 0;
    fuzzing::Made made = fuzzing::make_picture(data, size, {24}, (options & 2U) != 0);
    fuzzing::check_module_round_trip(made, options & 1U, false); // SaveMode 1: raw
    return 0;
}
