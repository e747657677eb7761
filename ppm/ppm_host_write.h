// The library's own writers of two portable formats the ppm module does not write: PAM
// (P7, RGB or GRAYSCALE, maxval 255) and PBM (P4 raw, or P1 with --plain), a bitmap
// black where the grey picture is below half, or Floyd-Steinberg with --dither.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "lib/formats.h"
#include "lib/host_pool.h"
#include "lib/palette.h"
#include "orvi/library.h"
#include "runtime/records.h"

namespace orvi {

// One row of grey samples as bitmap bits (1 = black, first pixel in the top bit, the row
// padded to whole bytes): black below 128. With `errors` (width + 2 entries for this row
// and the next, zero at the start), Floyd-Steinberg: each pixel's error goes 7/16 to its
// right, 3/16, 5/16 and 1/16 to the row below.
void bitmap_row(std::span<const uint8_t> grey, std::span<uint8_t> bits, int32_t* errors_here,
                int32_t* errors_below);

int32_t pam_save(HostPool& pool, const char* path, const Picture& picture,
                 const IndexedImage* indexed, const Carried& carried, const orvi::SaveOptions& options,
                 OrviGaugeRoutine gauge, std::string& error);
int32_t pbm_save(HostPool& pool, const char* path, const Picture& picture,
                 const IndexedImage* indexed, const Carried& carried, const orvi::SaveOptions& options,
                 OrviGaugeRoutine gauge, std::string& error);

} // namespace orvi
