// The PNM family's side in the library: PNM read and written by the ppm module, PAM and PBM written
// by the library's own writers (ppm_host_write.cpp).
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kPnmFormat;
extern const FormatEntry kPamFormat;
extern const FormatEntry kPbmFormat;

} // namespace orvi
