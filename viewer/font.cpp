#include "viewer/font.h"

#include <algorithm>
#include <array>

namespace viewer {

namespace {

constexpr char kFirst = 0x20;
constexpr char kLast = 0x7E;

using Glyph = std::array<uint8_t, kGlyphHeight>;
constexpr Glyph kGlyphs[] = {
#include "viewer/font_glyphs.inc"
};
static_assert(std::size(kGlyphs) == kLast - kFirst + 1);

} // namespace

std::string drawable(std::string_view line) {
    std::string shown;
    shown.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte >= static_cast<unsigned char>(kFirst) &&
            byte <= static_cast<unsigned char>(kLast)) {
            shown += static_cast<char>(byte);
            continue;
        }
        shown += '?';
        // A lead byte of UTF-8 and its continuation bytes stand for one character.
        if (byte >= 0xC2 && byte <= 0xF4) {
            while (i + 1 < line.size() &&
                   (static_cast<unsigned char>(line[i + 1]) & 0xC0U) == 0x80U) {
                ++i;
            }
        }
    }
    return shown;
}

std::vector<std::string> wrapped(std::string_view text, size_t columns) {
    const std::string shown = drawable(text);
    const size_t width = std::max<size_t>(columns, 1);
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    while (start <= shown.size()) {
        size_t end = shown.find(' ', start);
        end = end == std::string::npos ? shown.size() : end;
        std::string word = shown.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        while (line.size() > width) {
            lines.push_back(line.substr(0, width));
            line.erase(0, width);
        }
        start = end + 1;
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}

TextImage text_image(const std::vector<std::string>& lines, uint32_t ink, uint32_t paper,
                     uint32_t margin) {
    std::vector<std::string> shown;
    size_t longest = 0;
    for (const std::string& line : lines) {
        shown.push_back(drawable(line));
        longest = std::max(longest, shown.back().size());
    }
    TextImage image;
    image.width = static_cast<uint32_t>(longest) * kGlyphWidth + 2 * margin;
    image.height = static_cast<uint32_t>(shown.size()) * kGlyphHeight + 2 * margin;
    image.pixels.assign(static_cast<size_t>(image.width) * image.height, paper);
    for (size_t row = 0; row < shown.size(); ++row) {
        for (size_t column = 0; column < shown[row].size(); ++column) {
            const Glyph& glyph = kGlyphs[shown[row][column] - kFirst];
            const size_t left = margin + column * kGlyphWidth;
            for (uint32_t y = 0; y < kGlyphHeight; ++y) {
                uint32_t* out =
                    &image.pixels[(margin + row * kGlyphHeight + y) * image.width + left];
                for (uint32_t x = 0; x < kGlyphWidth; ++x) {
                    if ((uint32_t{glyph[y]} >> (kGlyphWidth - 1 - x) & 1U) != 0) {
                        out[x] = ink;
                    }
                }
            }
        }
    }
    return image;
}

} // namespace viewer
