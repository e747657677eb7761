// A module that lacks the codec entry, for the command's refusal test.
#include <cstdint>

#include "runtime/export.h"

extern "C" ORVI_EXPORT uint32_t not_the_entry(void*) {
    return 0;
}
