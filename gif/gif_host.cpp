// GIF in the format table: animations and stills, written (not read) through giflib.
#include "gif/gif_host.h"

#include "gif/gif_file.h"

namespace orvi {

const FormatEntry kGifFormat{
    .name = "GIF",
    .extensions = {"gif", nullptr, nullptr, nullptr},
    .writes = true,
    .most_side = 65535,
    .save_frames = save_gif,
};

} // namespace orvi
