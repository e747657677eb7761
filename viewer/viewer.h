// `orvi view` as the command reaches it: the options it takes and the one call that shows
// the pictures, in a window when there is a display, else in the terminal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "orvi/orvi.h"

namespace viewer {

enum class Graphics : uint8_t { Automatic, Symbols, Sixels, Kitty };

// The largest terminal drawn on, in character cells (a 4K screen of a small font), and
// the largest cell, in pixels.
inline constexpr uint32_t kMostColumns = 1000;
inline constexpr uint32_t kMostRows = 500;
inline constexpr uint32_t kMostCellSide = 64;

struct ViewOptions {
    bool terminal = false;                   // draw in the terminal even with a display
    double slideshow_seconds = 0;            // above 0: step on by itself
    std::string timings;                     // where the window writes frame times
    Graphics graphics = Graphics::Automatic; // how the terminal is drawn on
    uint32_t columns = 0;                    // the terminal's size, or 0 to ask it
    uint32_t rows = 0;
};

// Shows the pictures `arguments` name (files, and the pictures of folders) until the
// user is done; each problem (a name that is not a file, a window that cannot open) is
// told through `complain`. The exit status: 0 when every picture was shown, else 1.
[[nodiscard]] int view(orvi::Library& library, const std::vector<std::string>& arguments,
                       const ViewOptions& options,
                       const std::function<void(const std::string&)>& complain);

} // namespace viewer
