// GIF's writer, through giflib.
#pragma once

#include "lib/animation.h"

namespace orvi {

// The frames as one GIF that loops for ever, each with its own time in hundredths of a
// second (rounded so that the total stays right).
[[nodiscard]] int32_t save_gif(HostPool& pool, const char* path, const NextFrame& next,
                               const SaveOptions& options, std::vector<std::string>& notes,
                               std::string& error);

} // namespace orvi
