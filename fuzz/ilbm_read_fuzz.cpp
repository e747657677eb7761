// Fuzz target: IFF_Read through the module entry, with the promises every reader keeps
// (sides up to 65535).
#include "fuzz/read_promises.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_read_promises(data, size, 65535);
    return 0;
}
