// GIF's side in the library: written by the library itself, through giflib.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kGifFormat;

} // namespace orvi
