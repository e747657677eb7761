// Promise checks for fuzz targets: a broken promise aborts, so the fuzzer keeps the
// input. Also used by the replay build, where it fails the test.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken promise: %s (%s:%d)\n", #condition, __FILE__, __LINE__);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
