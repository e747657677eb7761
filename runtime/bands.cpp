// Bands of work on threads started with pthread_create, whose failures are codes: a
// module has no exceptions to throw.
#include "runtime/bands.h"

#include <algorithm>
#include <pthread.h>

#include "runtime/globals.h"

namespace runtime {
namespace {

struct Band {
    BandWork work;
    void* context;
    uint32_t index;
    size_t first;
    size_t end;
};

void* run_band(void* argument) {
    const Band* band = static_cast<const Band*>(argument);
    band->work(band->context, band->index, band->first, band->end);
    return nullptr;
}

} // namespace

uint32_t job_threads() {
    return poolHeader != nullptr && poolHeader->threads > 1 ? poolHeader->threads : 1U;
}

uint32_t band_count(size_t count, size_t least) {
    const size_t most = std::max<size_t>(1, count / std::max<size_t>(least, 1));
    return static_cast<uint32_t>(std::min<size_t>({job_threads(), most, kMostBands}));
}

void run_bands(size_t count, uint32_t bands, BandWork work, void* context) {
    bands = std::clamp<uint32_t>(bands, 1, kMostBands);
    Band parts[kMostBands];
    pthread_t threads[kMostBands];
    bool started[kMostBands] = {};
    for (uint32_t b = 0; b < bands; ++b) {
        parts[b] = {work, context, b, count * b / bands, count * (b + 1) / bands};
    }
    for (uint32_t b = 1; b < bands; ++b) {
        started[b] = pthread_create(&threads[b], nullptr, run_band, &parts[b]) == 0;
    }
    run_band(&parts[0]);
    for (uint32_t b = 1; b < bands; ++b) {
        if (started[b]) {
            pthread_join(threads[b], nullptr);
        } else {
            run_band(&parts[b]);
        }
    }
}

} // namespace runtime
