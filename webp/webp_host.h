// WebP's side in the library: written by the library itself, through libwebp.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kWebpFormat;

} // namespace orvi
