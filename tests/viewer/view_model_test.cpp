// The viewer's pure pieces: name order, zoom, placement, tiles, keys, save names and the
// bitmap font.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

#include "viewer/font.h"
#include "viewer/view_model.h"

namespace viewer {
namespace {

TEST(NaturalOrder, NumbersInNamesCompareAsNumbers) {
    std::vector<std::string> names = {"pic10.iff", "pic2.iff", "Pic1.iff", "pic02.lbm",
                                      "pic1.iff",  "b.pcx",    "a.pcx",    "pic",
                                      "pic9z",     "10.pcx",   "9.pcx"};
    std::sort(names.begin(), names.end(), natural_less);
    const std::vector<std::string> expected = {"9.pcx",     "10.pcx",   "a.pcx",    "b.pcx",
                                               "pic",       "Pic1.iff", "pic1.iff", "pic2.iff",
                                               "pic02.lbm", "pic9z",    "pic10.iff"};
    EXPECT_EQ(names, expected);
    // A strict weak order: never both ways, and equal names neither.
    for (const auto& a : names) {
        EXPECT_FALSE(natural_less(a, a)) << a;
        for (const auto& b : names) {
            EXPECT_FALSE(natural_less(a, b) && natural_less(b, a)) << a << " " << b;
        }
    }
}

TEST(Zoom, FitGrowsByWholeStepsAndShrinksByAnyFraction) {
    struct Case {
        Size picture;
        Size area;
        double zoom;
    };
    const Case cases[] = {
        {{320, 200}, {1024, 640}, 3.0}, // 3.2 and 3.2: whole 3
        {{40, 30}, {1024, 640}, 21.0},  // 25.6 and 21.3
        {{8000, 6000}, {1024, 640}, 640.0 / 6000},
        {{1024, 640}, {1024, 640}, 1.0},
        {{1, 1}, {1024, 640}, 64.0}, // no more than the largest step
        {{0, 0}, {1024, 640}, 1.0},
        {{320, 200}, {0, 0}, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(fit_zoom(c.picture, c.area), c.zoom)
            << c.picture.width << "x" << c.picture.height;
    }
}

TEST(Zoom, StepsAreWholeAbove1To1AndStopAtTheEnds) {
    struct Case {
        double from;
        bool in;
        double to;
    };
    const Case cases[] = {{1.0, true, 2.0},
                          {2.0, true, 3.0},
                          {1.0, false, 2.0 / 3},
                          {0.1, true, 1.0 / 8},
                          {0.1, false, 1.0 / 12},
                          {64.0, true, 64.0},
                          {1.0 / 32, false, 1.0 / 32},
                          {21.0, true, 24.0},
                          {21.0, false, 20.0},
                          {1e-4, true, 1.0 / 32}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(zoom_step(c.from, c.in), c.to) << c.from << (c.in ? " in" : " out");
    }
}

TEST(Placement, ZoomingKeepsThePointUnderThePointer) {
    const Size picture{8000, 6000};
    const Size area{1000, 600};
    const View start = zoomed(fitted(picture, area), picture, area, 1.0, 500, 300);
    const View after = zoomed(start, picture, area, 4.0, 200, 100);
    const double before_x = start.centre_x + (200 - 500) / start.zoom;
    const double before_y = start.centre_y + (100 - 300) / start.zoom;
    EXPECT_NEAR(after.centre_x + (200 - 500) / after.zoom, before_x, 1e-9);
    EXPECT_NEAR(after.centre_y + (100 - 300) / after.zoom, before_y, 1e-9);
    EXPECT_FALSE(after.fit);
}

TEST(Placement, SmallSidesAreCentredAndLargeSidesCoverTheArea) {
    const Size picture{400, 100};
    const Size area{300, 300};
    // Dragged far to the right and down: x stops at the picture's edge, y is centred.
    const View moved = panned(View{1.0, 200, 50, false}, picture, area, 10000, 10000);
    EXPECT_DOUBLE_EQ(moved.centre_x, 150.0);
    EXPECT_DOUBLE_EQ(moved.centre_y, 50.0);
    const Origin origin = origin_of(moved, area);
    EXPECT_DOUBLE_EQ(origin.x, 0.0);
    EXPECT_DOUBLE_EQ(origin.y, 100.0);
    EXPECT_TRUE(overflows(moved, picture, area));
    EXPECT_FALSE(overflows(fitted(picture, area), picture, area));
    // In fit the view follows the area.
    EXPECT_DOUBLE_EQ(settled(fitted(picture, area), picture, Size{800, 800}).zoom, 2.0);
}

TEST(Placement, FromOneToOneUpThePictureSitsOnWholePixels) {
    const Size area{101, 77};
    for (const double zoom : {1.0, 2.0, 3.0}) {
        const Origin origin = origin_of(View{zoom, 10.3, 7.7, false}, area);
        EXPECT_EQ(origin.x, std::floor(origin.x)) << zoom;
        EXPECT_EQ(origin.y, std::floor(origin.y)) << zoom;
    }
}

TEST(Tiles, CoverThePictureOnceWithinTheLargestSide) {
    struct Case {
        Size picture;
        uint32_t most;
        size_t count;
    };
    const Case cases[] = {{{10000, 5000}, 4096, 6},
                          {{4096, 4096}, 4096, 1},
                          {{320, 200}, 0, 1},
                          {{8000, 6000}, 16384, 1},
                          {{1, 9000}, 4096, 3}};
    for (const Case& c : cases) {
        const std::vector<Rect> tiles = tiles_of(c.picture, c.most);
        EXPECT_EQ(tiles.size(), c.count);
        uint64_t covered = 0;
        for (const Rect& tile : tiles) {
            EXPECT_LE(tile.width, c.most == 0 ? 4096U : c.most);
            EXPECT_LE(tile.x + tile.width, c.picture.width);
            EXPECT_LE(tile.y + tile.height, c.picture.height);
            covered += uint64_t{tile.width} * tile.height;
        }
        EXPECT_EQ(covered, uint64_t{c.picture.width} * c.picture.height);
    }
}

TEST(Tiles, OnlyWhatShowsIsDrawn) {
    const Size picture{10000, 5000};
    const Size area{800, 600};
    const std::vector<Rect> tiles = tiles_of(picture, 4096);
    // The whole picture: every tile whole.
    const std::vector<Piece> all = visible_pieces(fitted(picture, area), area, tiles);
    ASSERT_EQ(all.size(), tiles.size());
    for (const Piece& piece : all) {
        EXPECT_EQ(piece.source.width, tiles[piece.tile].width);
        EXPECT_EQ(piece.source.height, tiles[piece.tile].height);
    }
    // 1:1 over the corner where four tiles meet: a piece of each, 800 x 600 pixels in all,
    // each drawn where its pixels belong.
    const View corner{1.0, 4096, 4096, false};
    const std::vector<Piece> pieces = visible_pieces(corner, area, tiles);
    ASSERT_EQ(pieces.size(), 4U);
    uint64_t pixels = 0;
    const Origin origin = origin_of(corner, area);
    for (const Piece& piece : pieces) {
        pixels += uint64_t{piece.source.width} * piece.source.height;
        EXPECT_DOUBLE_EQ(piece.x, origin.x + tiles[piece.tile].x + piece.source.x);
        EXPECT_DOUBLE_EQ(piece.y, origin.y + tiles[piece.tile].y + piece.source.y);
    }
    EXPECT_EQ(pixels, 800U * 600U);
    // Zoomed in at 4x: a fraction of a pixel at an edge still draws the whole pixel.
    const std::vector<Piece> zoomed_in =
        visible_pieces(View{4.0, 1000.1, 1000.1, false}, area, tiles);
    ASSERT_EQ(zoomed_in.size(), 1U);
    EXPECT_GE(zoomed_in[0].width, 800.0);
    EXPECT_LE(zoomed_in[0].x, 0.0);
}

TEST(Keys, CharactersAndKeysDoWhatTheHelpSays) {
    const std::pair<char, Action> characters[] = {{'+', Action::ZoomIn},
                                                  {'-', Action::ZoomOut},
                                                  {'f', Action::Fit},
                                                  {'1', Action::Actual},
                                                  {'r', Action::RotateClockwise},
                                                  {'R', Action::RotateAnticlockwise},
                                                  {'h', Action::FlipLeftRight},
                                                  {'v', Action::FlipTopBottom},
                                                  {'n', Action::Negate},
                                                  {'g', Action::Grey},
                                                  {'[', Action::GammaDown},
                                                  {']', Action::GammaUp},
                                                  {'{', Action::BrightnessDown},
                                                  {'}', Action::BrightnessUp},
                                                  {'u', Action::Undo},
                                                  {'s', Action::Save},
                                                  {'?', Action::Help},
                                                  {'q', Action::Quit},
                                                  {'x', Action::None},
                                                  {'F', Action::None}};
    for (const auto& [typed, action] : characters) {
        EXPECT_EQ(action_for_character(typed), action) << typed;
    }
    struct Case {
        Key key;
        bool overflowing;
        Action action;
    };
    const Case keys[] = {
        {Key::Space, true, Action::Next},         {Key::PageDown, false, Action::Next},
        {Key::Backspace, true, Action::Previous}, {Key::PageUp, false, Action::Previous},
        {Key::Home, false, Action::First},        {Key::End, true, Action::Last},
        {Key::Escape, false, Action::Back},       {Key::Right, false, Action::Next},
        {Key::Right, true, Action::PanRight},     {Key::Left, false, Action::Previous},
        {Key::Left, true, Action::PanLeft},       {Key::Up, true, Action::PanUp},
        {Key::Down, false, Action::Next},         {Key::Down, true, Action::PanDown}};
    for (const Case& c : keys) {
        EXPECT_EQ(action_for_key(c.key, c.overflowing), c.action)
            << static_cast<int>(c.key) << " " << c.overflowing;
    }
    // Every key of the list has its line in the help.
    std::string help;
    for (const std::string& line : key_help()) {
        help += line + "\n";
    }
    for (const char* word : {"Space", "Backspace", "PageUp", "Home", "wheel", "dragging", "r, R",
                             "h, v", "n, g", "[ and ]", "{ and }", "u ", "s ", "?", "Escape"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(Saving, TheNameGoesBesideTheOriginal) {
    const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
        {{"pic.lbm", "lbm"}, "pic-orvi.lbm"},
        {{"/a/b.c/pic.xpm", "png"}, "/a/b.c/pic-orvi.png"},
        {{"/a/b.c/noext", "pcx"}, "/a/b.c/noext-orvi.pcx"},
        {{"dir/.hidden", "png"}, "dir/.hidden-orvi.png"},
        {{"two.dots.iff", "iff"}, "two.dots-orvi.iff"}};
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(save_name(input.first, input.second), expected);
    }
}

TEST(Font, DrawsPrintableAsciiAndOneMarkForAnythingElse) {
    EXPECT_EQ(drawable("ok.iff"), "ok.iff");
    EXPECT_EQ(drawable("caf\xC3\xA9 \xE2\x82\xAC!"), "caf? ?!");
    EXPECT_EQ(drawable("tab\there"), "tab?here");
    EXPECT_EQ(drawable("\xFF\x80"), "??"); // bytes that start no character

    const TextImage text = text_image({"A", "ii"}, 0xFFFFFFFF, 0xFF000000, 2);
    EXPECT_EQ(text.width, 2 * kGlyphWidth + 4);
    EXPECT_EQ(text.height, 2 * kGlyphHeight + 4);
    // The margin is paper; the 'A' has ink somewhere in its cell, the space after it none.
    EXPECT_EQ(text.pixels[0], 0xFF000000U);
    size_t ink_in_a = 0;
    size_t ink_after_a = 0;
    for (uint32_t y = 2; y < 2 + kGlyphHeight; ++y) {
        for (uint32_t x = 2; x < 2 + 2 * kGlyphWidth; ++x) {
            const bool ink = text.pixels[y * text.width + x] == 0xFFFFFFFFU;
            (x < 2 + kGlyphWidth ? ink_in_a : ink_after_a) += ink ? 1 : 0;
        }
    }
    EXPECT_GT(ink_in_a, 10U);
    EXPECT_EQ(ink_after_a, 0U);
}

TEST(Font, LongSentencesWrapAtSpaces) {
    struct Case {
        std::string text;
        size_t columns;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"cannot load 'x.pcx': the file ends early",
         20,
         {"cannot load 'x.pcx':", "the file ends early"}},
        {"short", 20, {"short"}},
        {"", 20, {""}},
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wrapped(c.text, c.columns), c.lines) << c.text;
    }
}

} // namespace
} // namespace viewer

namespace viewer {
namespace {

// The manual's section of keys, as text: roff's font changes dropped, its \- a dash.
std::string manual_keys() {
    std::ifstream page(MANUAL_PAGE);
    std::string text((std::istreambuf_iterator<char>(page)), {});
    const size_t start = text.find(".SH VIEWER KEYS");
    text =
        start == std::string::npos ? "" : text.substr(start, text.find(".SH", start + 3) - start);
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\f") == 0) {
            i += 2;
        } else if (text.compare(i, 2, "\\-") == 0) {
            plain += '-';
            ++i;
        } else {
            plain += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        }
    }
    return plain;
}

TEST(Keys, TheManualDocumentsEveryKeyOfTheHelp) {
    const std::string manual = manual_keys();
    ASSERT_FALSE(manual.empty()) << MANUAL_PAGE;
    for (const std::string& line : key_help()) {
        std::string keys = line.substr(0, line.find("  "));
        for (const char* separator : {", ", " and "}) {
            for (size_t at = keys.find(separator); at != std::string::npos;
                 at = keys.find(separator)) {
                keys.replace(at, std::string(separator).size(), "|");
            }
        }
        std::stringstream split(keys);
        for (std::string key; std::getline(split, key, '|');) {
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            EXPECT_NE(manual.find(key), std::string::npos) << key << " (" << line << ")";
        }
    }
}

} // namespace
} // namespace viewer
