// Text drawn with a built-in 8 x 13 bitmap font, for the status line, messages and the
// key list: the window needs no font installed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace viewer {

inline constexpr uint32_t kGlyphWidth = 8;
inline constexpr uint32_t kGlyphHeight = 13;

// Lines of text as pixels, 0xAARRGGBB, `margin` pixels of paper around them. A byte
// outside printable ASCII is drawn as '?', a whole UTF-8 sequence as one '?'.
struct TextImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
};
[[nodiscard]] TextImage text_image(const std::vector<std::string>& lines, uint32_t ink,
                                   uint32_t paper, uint32_t margin);

// The characters the font draws for `line`, one byte each.
[[nodiscard]] std::string drawable(std::string_view line);

// `text` broken at spaces into lines of at most `columns` characters as drawn (a word
// longer than that is cut).
[[nodiscard]] std::vector<std::string> wrapped(std::string_view text, size_t columns);

} // namespace viewer
