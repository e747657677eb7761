// The ilbm module's entry: the shared codec frame with this module's reader and writer,
// opening the IFF parsing library as well. Both report progress.
#include "ilbm/ilbm_format.h"
#include "runtime/codec_entry.h"

ORVI_CODEC_ENTRY(ilbm::IFF_Read, ilbm::IFF_Save, true, true)
