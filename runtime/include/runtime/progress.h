// Progress reports into the host's routine through the kernel interface.
#pragma once

#include <cstdint>

namespace runtime {

// Calls the host's progress routine with `percent` when the call carried one.
void report_progress(int32_t percent);

} // namespace runtime
