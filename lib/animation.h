// What the writers of animations (GIF, WebP) share: the frames they are given, one at a
// time, and the rounding of the frames' times into the ticks of their format.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lib/host_pool.h"
#include "orvi/image.h"
#include "orvi/library.h"
#include "runtime/result_codes.h"

namespace orvi {

// The next frame, valid until the following call; nullptr when there are no more. Every
// frame has the first one's size and fits the format (the library sees to both).
using NextFrame = std::function<const Image*()>;

// Writes the frames `next` gives into `path` as one animation that loops for ever; 0, or
// a result code with the reason in `error`. `notes` receives what is worth telling.
using FramesFunction = int32_t (*)(HostPool& pool, const char* path, const NextFrame& next,
                                   const SaveOptions& options, std::vector<std::string>& notes,
                                   std::string& error);

// The times at which frames start, in ticks (`per_second` a second), each rounded from
// the exact sum of the frames before it, so that the rounding never adds up: frames of
// 4/60 s in hundredths are 7, 7, 6, 7, 7, 6, ...
class Timeline {
public:
    explicit Timeline(double per_second) : per_second_(per_second) {}
    // The ticks of a frame shown for `seconds` after those before it.
    uint64_t next(double seconds) {
        const auto start = static_cast<uint64_t>(std::llround(elapsed_ * per_second_));
        elapsed_ += seconds;
        return static_cast<uint64_t>(std::llround(elapsed_ * per_second_)) - start;
    }
    [[nodiscard]] uint64_t now() const {
        return static_cast<uint64_t>(std::llround(elapsed_ * per_second_));
    }

private:
    double per_second_;
    double elapsed_ = 0;
};

// A frame's time: a still, or a frame of no time, is shown for a tenth of a second.
[[nodiscard]] inline double frame_seconds(const Image& image) {
    return image.duration() > 0 ? image.duration() : 0.1;
}

} // namespace orvi
