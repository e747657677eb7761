// PNG through libpng: the one format the host reads and writes itself, since it is how
// pictures are looked at and shared today.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "lib/formats.h"
#include "lib/host_pool.h"
#include "lib/palette.h"
#include "platform/host_abi.h"
#include "runtime/records.h"

namespace orvi {

// What a PNG file's header says, for `orvi info`.
struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int bit_depth = 0;
    int colour_type = 0; // the PNG_COLOR_TYPE_* value
    bool interlaced = false;
    bool transparency = false; // an alpha channel or a tRNS chunk
};

// The colour type's name: "grey", "RGB", "palette", "grey + alpha", "RGBA".
[[nodiscard]] const char* png_colour_type_name(int colour_type);

// Loads any PNG as a three-byte picture from `pool`: 16-bit samples scaled to 8,
// palettes and grey expanded, transparency composed onto black. libpng's own memory
// comes from the pool too, and a picture above the pool's pixel limit is refused from
// its header. False with a sentence on failure, with nothing left in the pool, and in
// `code` (when given) the result code: 13 for the pixel limit, 7 for memory, the
// library's kCannotRead or kDamagedPng. With `extras`, a palette file's palette, indices
// and transparency are kept there too, and another file's opacity and the colours under
// it, in blocks of `pool` handed over with the picture.
[[nodiscard]] bool load_png(HostPool& pool, const std::string& path, Picture& picture,
                            PngHeader& header, OrviGaugeRoutine gauge, std::string& error,
                            int32_t* code = nullptr, OrviExtras* extras = nullptr);
// The same for a PNG file's bytes in memory.
[[nodiscard]] bool load_png(HostPool& pool, std::span<const uint8_t> file, Picture& picture,
                            PngHeader& header, OrviGaugeRoutine gauge, std::string& error,
                            int32_t* code = nullptr, OrviExtras* extras = nullptr);

// Writes a one- or three-byte picture as a PNG: 8-bit grey when every pixel is grey,
// a palette (1, 2, 4 or 8 bits an index) when it has at most 256 colours, 8-bit RGB
// otherwise; every pixel loads back as it was. With `palette` (a picture built for a
// chosen depth), its indices and colours are written instead. Its tables and libpng's
// memory come from `pool`. False with a sentence on failure.
// `out_of_memory`, when given, says whether a failure was the pool's refusal.
// `carried`, when given, adds its opacity (tRNS where each palette entry's pixels agree,
// RGBA otherwise) or its transparent index (tRNS), and its description.
[[nodiscard]] bool save_png(HostPool& pool, const char* path, const Picture& picture,
                            OrviGaugeRoutine gauge, std::string& error,
                            const IndexedImage* palette = nullptr, bool* out_of_memory = nullptr,
                            const Carried* carried = nullptr);

// Turns `count` four-byte RGBA pixels into three-byte pixels composed onto black
// (each sample times alpha / 255, rounded), in place.
void compose_onto_black(uint8_t* pixels, uint64_t count);

} // namespace orvi
