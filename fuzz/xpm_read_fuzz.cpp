// Fuzz target: XPM_Read through the module entry, with the promises every reader keeps.
#include "fuzz/read_promises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_read_promises(data, size, 32767);
    return 0;
}
