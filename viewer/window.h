// The viewer's window (SDL2): one picture at a time, fitted, zoomed and moved, changed
// through the ops module and saved beside its file.
#pragma once

#include <string>
#include <vector>

#include "orvi/orvi.h"

namespace viewer {

struct WindowOptions {
    double slideshow_seconds = 0; // above 0: step to the next picture by itself
    std::string timings;          // a file to write what each frame cost to, for measuring
};

// Shows `files` until the user quits; false when no window can be opened, with why in
// `error`.
[[nodiscard]] bool run_window(orvi::Library& library, std::vector<std::string> files,
                              const WindowOptions& options, std::string& error);

} // namespace viewer
