// The ppm module's entry: the shared codec frame with this module's reader and writer.
// The ppm module reports no progress.
#include "ppm/ppm_format.h"
#include "runtime/codec_entry.h"

ORVI_CODEC_ENTRY(ppm::PPM_Read, ppm::PPM_Save, false, false)
