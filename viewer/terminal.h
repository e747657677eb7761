// The viewer in a terminal (libchafa): each picture drawn to fit the terminal, as
// sixels or kitty graphics where the terminal shows them, else as coloured character
// cells, with its name under it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orvi/orvi.h"
#include "viewer/viewer.h"

namespace viewer {

struct TerminalSetup {
    uint32_t columns = 80;
    uint32_t rows = 24;
    uint32_t cell_width = 10; // pixels, for sixels and kitty graphics
    uint32_t cell_height = 20;
    Graphics graphics = Graphics::Automatic; // as asked; settled by terminal_setup
    bool direct_colour = true;               // 24-bit colours, else 240 of the 256
    // The most bytes a drawing's canvas may take (sixels and kitty graphics draw on one
    // of the terminal's pixels): a larger one is drawn smaller.
    uint64_t memory_limit = uint64_t{256} << 20U;
};

// The terminal on `fd` as its size and $TERM, $COLORTERM and the like say: `asked` when
// not Automatic, else the best graphics it shows. `columns` and `rows` above 0 are used
// instead of the terminal's size.
[[nodiscard]] TerminalSetup terminal_setup(int fd, Graphics asked, uint32_t columns, uint32_t rows);

// The bytes that draw `image` on such a terminal, fitted into its columns and all but
// two of its rows (the name and the prompt keep theirs), ending with a new line.
[[nodiscard]] std::string terminal_picture(const orvi::Image& image, const TerminalSetup& setup);

// Prints each file's picture and its name on standard output, a failure on standard
// error; false when any failed.
[[nodiscard]] bool run_terminal(orvi::Library& library, const std::vector<std::string>& files,
                                const TerminalSetup& setup);

} // namespace viewer
