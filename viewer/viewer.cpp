// `orvi view`: the pictures in a window when there is a display, else in the terminal.
#include "viewer/viewer.h"

#include <unistd.h>

#include <cstdlib>

#include "viewer/pictures.h"
#include "viewer/terminal.h"
#include "viewer/window.h"

namespace viewer {
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

int view(orvi::Library& library, const std::vector<std::string>& arguments,
         const ViewOptions& options, const std::function<void(const std::string&)>& complain) {
    std::vector<std::string> problems;
    std::vector<std::string> files = pictures_of(library, arguments, problems);
    for (const std::string& problem : problems) {
        complain(problem);
    }
    if (files.empty()) {
        complain("no pictures to show");
        return 1;
    }
    if (!options.terminal && has_display()) {
        std::string error;
        WindowOptions window;
        window.slideshow_seconds = options.slideshow_seconds;
        window.timings = options.timings;
        if (run_window(library, files, window, error)) {
            return 0;
        }
        complain(error + (::isatty(STDOUT_FILENO) == 1 ? "; drawing in the terminal" : ""));
    }
    const bool sized = options.columns > 0 && options.rows > 0;
    if (::isatty(STDOUT_FILENO) != 1 && !sized) {
        complain("view needs a display (DISPLAY or WAYLAND_DISPLAY) or a terminal on standard "
                 "output (or --size COLUMNSxROWS)");
        return 1;
    }
    TerminalSetup setup =
        terminal_setup(STDOUT_FILENO, options.graphics, options.columns, options.rows);
    setup.memory_limit = library.memory().limit;
    return run_terminal(library, files, setup) ? 0 : 1;
}

} // namespace viewer
