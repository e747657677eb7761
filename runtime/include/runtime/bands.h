// Work split into bands for the threads the host lets a job use. A band is a range of
// items (rows, pixels, bytes) that one thread works through; the first band runs on the
// calling thread, the others on threads started for the call and joined before it
// returns. Work must write only its own band's output, so that a result is the same
// whatever the number of bands.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// The most bands one call is split into.
inline constexpr uint32_t kMostBands = 64;

// The threads the running job may use: the host's word, 1 when it gives none.
[[nodiscard]] uint32_t job_threads();

// How many bands `count` items make when a band must hold at least `least` of them: as
// many as the job has threads, fewer for small work, never fewer than one.
[[nodiscard]] uint32_t band_count(size_t count, size_t least);

// Calls work(context, band, first, end) for each of `bands` equal ranges of [0, count),
// in order of band on the threads; a thread that cannot be started leaves its band to
// the calling thread.
using BandWork = void (*)(void* context, uint32_t band, size_t first, size_t end);
void run_bands(size_t count, uint32_t bands, BandWork work, void* context);

// run_bands with a callable taking (band, first, end).
template <typename Work> void run_bands(size_t count, uint32_t bands, const Work& work) {
    run_bands(
        count, bands,
        [](void* context, uint32_t band, size_t first, size_t end) {
            (*static_cast<const Work*>(context))(band, first, end);
        },
        const_cast<void*>(static_cast<const void*>(&work)));
}

// run_bands over band_count(count, least) bands, with a callable taking (first, end).
template <typename Work> void in_bands(size_t count, size_t least, const Work& work) {
    run_bands(count, band_count(count, least),
              [&work](uint32_t /*band*/, size_t first, size_t end) { work(first, end); });
}

} // namespace runtime
