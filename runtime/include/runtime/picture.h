// Picture helpers shared by the readers: the cleared state a failed load leaves, and
// the fields a successful load fills.
#pragma once

#include <cstdint>

#include "runtime/records.h"

namespace runtime {

// Clears Extra, Data, Height and Width before a load, so that a failed load leaves no
// stale size or buffer. The buffer Data held is the host's and is not freed.
inline void clear_loaded_picture(Picture* pic) {
    pic->Extra = 0;
    pic->Data = nullptr;
    pic->Height = 0;
    pic->Width = 0;
}

// The whole failed state an ILBM load leaves: no buffer, every size, depth and
// compression 0, and three bytes per pixel. The buffer Data held is not freed.
inline void clear_failed_picture(Picture* pic) {
    clear_loaded_picture(pic);
    pic->LoadedWidth = 0;
    pic->LoadedHeight = 0;
    pic->Depth = 0;
    pic->Compression = 0;
    pic->BytesPerPixel = 3;
}

// Hands a 24-bit pixel buffer to the host and records its size and the file's depth.
inline void deliver_picture(Picture* pic, uint8_t* data, uint32_t width, uint32_t height,
                            uint32_t depth) {
    pic->Data = data;
    pic->Width = static_cast<int32_t>(width);
    pic->Height = static_cast<int32_t>(height);
    pic->BytesPerPixel = 3;
    pic->LoadedWidth = width;
    pic->LoadedHeight = height;
    pic->Depth = depth;
}

} // namespace runtime
