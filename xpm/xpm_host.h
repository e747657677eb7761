// XPM's side in the library: read and written by the xpm module.
#pragma once

#include "lib/formats.h"

namespace host {

extern const FormatEntry kXpmFormat;

} // namespace host
