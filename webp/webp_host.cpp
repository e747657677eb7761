// WebP in the format table: lossless animations and stills, written (not read) through
// libwebp.
#include "webp/webp_host.h"

#include "webp/webp_file.h"

namespace orvi {

const FormatEntry kWebpFormat{
    .name = "WebP",
    .extensions = {"webp", nullptr, nullptr, nullptr},
    .writes = true,
    .most_side = 16383,
    .save_frames = save_webp,
};

} // namespace orvi
