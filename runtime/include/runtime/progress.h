// Progress reports into the host's routine through the kernel interface.
#pragma once

#include <cstdint>

namespace runtime {

// Calls the host's progress routine with `percent` when the call carried one.
void report_progress(int32_t percent);

// The rows between two reports: a tenth of the height, rounded to the nearest.
[[nodiscard]] constexpr uint32_t progress_step(uint32_t height) {
    return (height + 5) / 10;
}

// Before row `y` of `height`: every step-th row from row 0 (row 0 alone when the step is
// 0) reports the share of rows done before it, in percent (PCX, XPM).
void report_before_row(uint32_t y, uint32_t height);

// After row `y`: every step-th row reports the rows done in tenths of the step (ILBM).
// deliberate: for heights whose step does not divide them evenly the figure passes 100.
void report_after_row(uint32_t y, uint32_t height);

} // namespace runtime
