// The progress bar a load or save drives: drawn on stderr.
#pragma once

#include <cstdint>
#include <string>

#include "orvi/library.h"

namespace cli {

// Starts a bar labelled `label`; with `enabled` false nothing is ever drawn.
void progress_start(bool enabled, const std::string& label);
// The progress routine for the library, or none when the bar is off.
[[nodiscard]] orvi::Progress progress_routine();
// Ends the current bar's line, if one was drawn.
void progress_finish();

} // namespace cli
