// What a PNG file says about its picture beyond the pixels, read from its chunks (tEXt,
// zTXt, iTXt, pHYs and our private ilBM), and the pieces its writer shares.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "orvi/description.h"
#include "orvi/image.h"

namespace orvi {

// Our texts' keys and PNG's keywords for them.
inline constexpr std::pair<const char*, const char*> kPngKeywords[] = {
    {"name", "Title"},       {"author", "Author"},           {"copyright", "Copyright"},
    {"annotation", "Comment"}, {"software", "Software"},     {"description", "Description"},
    {"version", "Version"},
};

// The private ancillary chunk (not safe to copy: its ranges name palette registers) in
// which a PNG keeps what the IFF family says and PNG has no chunk for: the colour ranges,
// the hot spot (GRAB), DEST, SPRT, the display mode (CAMG) and the pixel's aspect. It holds
// IFF chunks, one after another. Empty when there is nothing to keep.
[[nodiscard]] std::vector<uint8_t> iff_private_chunk(const Description& description);

// The description a PNG file's chunks give; damaged or unknown chunks are passed over.
void png_describe(std::span<const uint8_t> file, Description& description);

// Every chunk of a PNG file, in file order, up to IEND or the first that runs past the end.
void png_list_chunks(std::span<const uint8_t> file, std::vector<FileChunk>& chunks);

} // namespace orvi
