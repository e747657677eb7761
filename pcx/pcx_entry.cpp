// The pcx module's entry: the shared codec frame with this module's reader and writer.
// Both report progress.
#include "pcx/pcx_format.h"
#include "runtime/codec_entry.h"

ORVI_CODEC_ENTRY(pcx::PCX_Read, pcx::PCX_Save, true, false)
