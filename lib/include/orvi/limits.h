// The limits a Library starts with.
#pragma once

#include <cstdint>

namespace orvi {

// The most pixels a picture read from a file may have unless the options say otherwise:
// 2^28 (268 million, about 805 MB at three bytes a pixel).
inline constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28U;

} // namespace orvi
