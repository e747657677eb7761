// The xpm module's entry: the shared codec frame with this module's reader and writer.
// Both report progress.
#include "runtime/codec_entry.h"
#include "xpm/xpm_format.h"

ORVI_CODEC_ENTRY(xpm::XPM_Read, xpm::XPM_Save, true, false)
