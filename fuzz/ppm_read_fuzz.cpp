// Fuzz target: PPM_Read through the module entry, with the promises every reader keeps
// (a P1-P6 file yields 24 bits per pixel and sides of at most 32767).
#include "fuzz/read_promises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_read_promises(data, size, 32767);
    return 0;
}
