// PNG's side in the library: read and written through libpng by the library itself.
#pragma once

#include "lib/formats.h"

namespace host {

extern const FormatEntry kPngFormat;

} // namespace host
