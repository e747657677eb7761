// `orvi view`: the pictures in a window when there is a display, else in the terminal.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "viewer/pictures.h"
#include "viewer/terminal.h"
#include "viewer/window.h"

namespace cli {

namespace {

bool has_display() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

int view(const ViewOptions& options) {
    orvi::Library library(library_options(options.max_pixels, 0));
    std::vector<std::string> problems;
    std::vector<std::string> files = viewer::pictures_of(library, options.arguments, problems);
    for (const std::string& problem : problems) {
        complain(problem);
    }
    if (files.empty()) {
        complain("no pictures to show");
        return kExitFailed;
    }
    if (!options.terminal && has_display()) {
        std::string error;
        viewer::WindowOptions window;
        window.slideshow_seconds = options.slideshow_seconds;
        window.timings = options.timings;
        if (viewer::run_window(library, files, window, error)) {
            return kExitOk;
        }
        complain(error + (::isatty(STDOUT_FILENO) == 1 ? "; drawing in the terminal" : ""));
    }
    const bool sized = options.columns > 0 && options.rows > 0;
    if (::isatty(STDOUT_FILENO) != 1 && !sized) {
        complain("view needs a display (DISPLAY or WAYLAND_DISPLAY) or a terminal on standard "
                 "output (or --size COLUMNSxROWS)");
        return kExitFailed;
    }
    viewer::TerminalSetup setup =
        viewer::terminal_setup(STDOUT_FILENO, options.graphics, options.columns, options.rows);
    setup.memory_limit = library.memory().limit;
    return viewer::run_terminal(library, files, setup) ? kExitOk : kExitFailed;
}

} // namespace cli
