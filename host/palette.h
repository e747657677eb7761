// Building the IndexedPicture the palette writers need: an exact palette of the
// picture's colours in order of first appearance, padded to 256 entries.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/records.h"

namespace host {

struct IndexedImage {
    std::vector<uint32_t> palette;      // 256 entries, 0x00RRGGBB
    std::unique_ptr<uint8_t[]> indices; // one per pixel (left uninitialised: all are written)
    IndexedPicture record{};            // points into the two vectors
};

// The picture at `depth` (1, 2, 4 or 8 bits). Fails with a sentence that says how many
// colours there are when they do not fit. At depth 1 the darker colour takes index 0;
// `warning` is set when the two colours are not black and white.
[[nodiscard]] std::optional<IndexedImage> build_indexed(const Picture& picture, uint32_t depth,
                                                        std::string& error, std::string& warning);

} // namespace host
