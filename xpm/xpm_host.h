// XPM's side in the library: read and written by the xpm module.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kXpmFormat;

} // namespace orvi
