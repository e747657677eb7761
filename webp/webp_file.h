// WebP's writer, through libwebp's animation encoder.
#pragma once

#include "lib/animation.h"

namespace orvi {

// The frames as one lossless WebP that loops for ever, each with its own time in
// thousandths of a second (rounded so that the total stays right).
[[nodiscard]] int32_t save_webp(HostPool& pool, const char* path, const NextFrame& next,
                                const SaveOptions& options, std::vector<std::string>& notes,
                                std::string& error);

} // namespace orvi
