// What a file says about its picture beyond the pixels: texts, resolution, the pixel's
// shape, a hot spot, the display mode and the colour ranges, each typed, as the library
// reads them from one format and writes them to another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvi {

// A text of the file: what it is ("name", "author", "copyright", "annotation", "version",
// "software", "description", or another PNG keyword as it stands) and its words in UTF-8.
struct Text {
    std::string key;
    std::string value;
    bool operator==(const Text&) const = default;
};

// A run of palette registers whose colours rotate while the picture is shown.
struct ColourRange {
    enum class Kind : uint8_t {
        crng, // Deluxe Paint's CRNG
        ccrt, // Graphicraft's CCRT
        drng, // Deluxe Paint IV's DRNG, with its cells
    };
    Kind kind = Kind::crng;
    uint8_t low = 0;  // the first register
    uint8_t high = 0; // the last register
    bool active = false;
    bool reverse = false;
    // CRNG and DRNG: the rate word (16384 is 60 steps a second); CCRT: the delay between
    // steps in microseconds.
    uint32_t rate = 0;
    // DRNG: its cells as stored after the flags (ntrue, nregs, the true colours and the
    // registers), so that the range is written back as it was read.
    std::vector<uint8_t> cells;
    // The steps a second at which the range turns (0: it does not).
    [[nodiscard]] double steps_a_second() const {
        if (kind == Kind::ccrt) {
            return rate == 0 ? 0.0 : 1e6 / rate;
        }
        return rate * 60.0 / 16384.0;
    }
    // Whether the range turns when shown: active, a rate, and more than one register.
    [[nodiscard]] bool live() const { return active && rate > 0 && low < high; }
    bool operator==(const ColourRange&) const = default;
};

struct Pair {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Pair&) const = default;
};

struct Description {
    std::vector<Text> texts;
    std::optional<Pair> dpi;      // dots an inch, across and down
    std::optional<Pair> aspect;   // the pixel's width : height (10:11 for most Amiga pictures)
    std::optional<Pair> hot_spot; // a brush's or cursor's point, from the top left
    std::optional<uint32_t> display_mode; // the Amiga's CAMG word
    std::vector<ColourRange> ranges;
    // IFF chunks kept as they were for an IFF file written from one (DEST, SPRT): id and data.
    struct Chunk {
        std::string id;
        std::vector<uint8_t> data;
        bool operator==(const Chunk&) const = default;
    };
    std::vector<Chunk> iff_chunks;

    [[nodiscard]] bool empty() const {
        return texts.empty() && !dpi && !aspect && !hot_spot && !display_mode && ranges.empty() &&
               iff_chunks.empty();
    }
    // The first text of a key, or nullptr.
    [[nodiscard]] const Text* text(const std::string& key) const {
        for (const Text& text : texts) {
            if (text.key == key) {
                return &text;
            }
        }
        return nullptr;
    }
    bool operator==(const Description&) const = default;
};

} // namespace orvi
