// Colour cycling: the palette of a picture whose colour ranges turn while it is shown, as
// Deluxe Paint shows a waterfall or a fire. The pixels (indices) never change; only the
// colours of the ranges' registers move, each range on its own clock.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "orvi/description.h"
#include "orvi/export.h"

namespace orvi {

class ORVI_API Cycling {
public:
    // The live ranges of `description` (ColourRange::live) over a palette of `colours`
    // entries; a range's registers past the palette are left out. Forward moves each
    // register's colour to the next higher register, the highest's to the lowest; reverse
    // the other way. A DRNG range turns its cells in order: a cell's colour (its fixed
    // colour, or its register's) moves to the next listed cell, and each register takes
    // the colour its cell holds.
    Cycling(const Description& description, size_t colours);

    // Whether any range turns.
    [[nodiscard]] bool moves() const { return !ranges_.empty(); }
    // The palette `seconds` after the picture is first shown: `palette` (three bytes an
    // entry) with each range turned by the steps it has taken by then.
    void palette_at(double seconds, std::span<const uint8_t> palette,
                    std::vector<uint8_t>& out) const;
    // Where each range is at `seconds` (its steps, modulo its length): equal places, equal
    // palettes.
    [[nodiscard]] std::vector<uint32_t> places(double seconds) const;
    // The first time after `seconds` at which some range steps.
    [[nodiscard]] double next_step(double seconds) const;
    // The time after which every range is back where it began, when that is within
    // `most` seconds.
    [[nodiscard]] std::optional<double> period(double most) const;

private:
    // A place colours move through: the register that shows it (or -1: a DRNG cell of a
    // fixed colour alone), and where its first colour comes from.
    struct Place {
        int32_t shown = -1;
        bool fixed = false;
        uint8_t colour[3] = {0, 0, 0}; // a fixed colour
    };
    struct Range {
        std::vector<Place> places;
        // A step every `numerator` / `denominator` microseconds.
        uint64_t numerator = 1;
        uint64_t denominator = 1;
        bool reverse = false;
        [[nodiscard]] uint64_t steps(double seconds) const;
    };
    std::vector<Range> ranges_;
};

} // namespace orvi
