// The progress bar the modules drive through the Gauge word: drawn on stderr.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host_abi.h"

namespace host {

// Starts a bar labelled `label`; with `enabled` false nothing is ever drawn.
void progress_start(bool enabled, const std::string& label);
// The routine for the Gauge word, or nullptr when the bar is off.
[[nodiscard]] OrviGaugeRoutine progress_routine();
// Ends the current bar's line, if one was drawn.
void progress_finish();

} // namespace host
