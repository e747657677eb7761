// Fuzz target: the XPM writer, true colour or grey (the picture's own colours) and every
// palette depth, colours as #RRGGBB or by name, round-tripped through the reader.
#include "fuzz/write_round_trip.h"
#include "xpm/xpm_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool grey = size > 3 && (data[3] & 2U) != 0;
    fuzzing::Made made = fuzzing::make_picture(data, size, {1, 2, 4, 8, 24}, grey);
    const uintptr_t names = size > 3 && (data[3] & 1U) != 0 ? xpm::kSaveNames : 0;
    fuzzing::check_module_round_trip(made, names, false);
    return 0;
}
