// What a save writes, decided before any file is touched: the pixels (grey when a grey
// file is asked for, flattened onto a background where the format holds no transparency),
// the palette picture at its depth (the picture's own palette in its order, the exact
// colours at the smallest depth that holds them, or a reduction to the depth asked for),
// and what is carried of transparency and the description.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lib/formats.h"
#include "lib/host_pool.h"
#include "lib/library_inside.h"
#include "lib/palette.h"

namespace orvi {

struct SavePlan {
    Picture picture{};
    PoolArray<uint8_t> pixels; // the pixels written when they are not the image's own
    PoolArray<uint8_t> alpha;  // an opacity made for the format from a transparent index
    std::optional<IndexedImage> indexed;
    Carried carried;
    Description kept; // what of the description the written file keeps
    std::vector<std::string> notes;
};

// The plan for saving `image` in `format`; false with the error when the options ask for
// what cannot be written. `grey` says whether a grey file is asked for.
[[nodiscard]] bool plan_save(HostPool& pool, const Image::State& image, const FormatEntry& format,
                             const SaveOptions& options, bool grey, SavePlan& plan, Error& error);

// The fewest bits that index `entries` palette entries (1 for one or two).
[[nodiscard]] uint32_t bits_for(size_t entries);

} // namespace orvi
