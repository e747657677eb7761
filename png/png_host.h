// PNG's side in the library: read and written through libpng by the library itself.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kPngFormat;

} // namespace orvi
