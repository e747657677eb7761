// The module globals the interface names. Each module links its own copy of the
// runtime, so each module has its own set; every call sets them anew before use.
#pragma once

#include <cstdint>

#include "platform/exec.h"
#include "platform/host_abi.h"

namespace runtime {

extern platform::ExecBase* SysBase;
extern platform::Library* DOSBase;
extern platform::Library* IFFParseBase;
extern OrviPool* poolHeader;
extern OrviGaugeRoutine gauge_func;

// The whole-file reader's cursor and outcome.
extern int32_t Error;
extern const uint8_t* FileIndex;
extern const uint8_t* FileEnd;

} // namespace runtime
