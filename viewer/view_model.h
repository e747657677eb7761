// What the viewer shows and how keys move it, as pure functions: the order of a folder's
// names, the zoom steps, where the picture sits in the window, which parts of which
// texture tiles are drawn, what a key does, and the name a shown picture is saved under.
// The window and the terminal only carry these out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace viewer {

// Names compared as people read them: runs of digits as numbers ("pic2" before
// "pic10"), other bytes as they are, ties broken by the plain byte order.
[[nodiscard]] bool natural_less(std::string_view a, std::string_view b);

// ---- Geometry: window pixels and picture pixels, as doubles where they may be fractions.

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};

// Where the picture is looked at: the zoom (window pixels per picture pixel) and the
// picture point at the middle of the window. `fit` keeps the whole picture in view
// whatever the window's size.
struct View {
    double zoom = 1.0;
    double centre_x = 0.0;
    double centre_y = 0.0;
    bool fit = true;
};

// The zoom that shows the whole picture in the area: whole multiples when it grows (so
// every pixel stays the same size), any fraction when it shrinks.
[[nodiscard]] double fit_zoom(Size picture, Size area);

// The next zoom step above or below `zoom` (1/32 .. 64: fractions below 1:1, whole
// numbers above it); the same zoom at either end.
[[nodiscard]] double zoom_step(double zoom, bool in);

// A view of the whole picture in the area.
[[nodiscard]] View fitted(Size picture, Size area);

// The view after zooming to `zoom` keeping the picture point under the window point
// (x, y) where it is; the view leaves fit.
[[nodiscard]] View zoomed(const View& view, Size picture, Size area, double zoom, double x,
                          double y);

// The view moved by (dx, dy) window pixels (the picture follows the pointer).
[[nodiscard]] View panned(const View& view, Size picture, Size area, double dx, double dy);

// The view kept sensible: a side smaller than the area is centred, a larger side
// covers the area (no empty band where the picture could be); refitted in fit.
[[nodiscard]] View settled(const View& view, Size picture, Size area);

// Whether the picture at this view is larger than the area on a side, so arrows pan.
[[nodiscard]] bool overflows(const View& view, Size picture, Size area);

// The window point of the picture's top-left corner, on whole pixels from 1:1 up so
// that every picture pixel covers the same window pixels.
struct Origin {
    double x = 0.0;
    double y = 0.0;
};
[[nodiscard]] Origin origin_of(const View& view, Size area);

struct Rect {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The picture cut into tiles no side larger than `most_side`, row by row.
[[nodiscard]] std::vector<Rect> tiles_of(Size picture, uint32_t most_side);

// A piece of a tile to draw: whole picture pixels of the tile (relative to it) and the
// window rectangle they cover.
struct Piece {
    size_t tile = 0;
    Rect source;
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// The pieces of the tiles that show in the area at this view, so that a frame touches
// only what is seen however large the picture is.
[[nodiscard]] std::vector<Piece> visible_pieces(const View& view, Size area,
                                                const std::vector<Rect>& tiles);

// ---- Keys

enum class Action : uint8_t {
    None,
    Next,
    Previous,
    First,
    Last,
    ZoomIn,
    ZoomOut,
    Fit,
    Actual,
    PanLeft,
    PanRight,
    PanUp,
    PanDown,
    RotateClockwise,
    RotateAnticlockwise,
    FlipLeftRight,
    FlipTopBottom,
    Negate,
    Grey,
    GammaDown,
    GammaUp,
    BrightnessDown,
    BrightnessUp,
    Undo,
    Save,
    Cycle,       // colour cycling on or off
    Play,        // an animation plays or pauses
    StepForward, // an animation's next frame, paused
    StepBack,    // its frame before
    Aspect,      // pixels at the shape the file gives them, or square
    About,       // what the file says of the picture
    Help,
    Back, // closes the list of keys when it is shown, else quits
    Quit,
};

// The keys that are not characters.
enum class Key : uint8_t {
    Space,
    Backspace,
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    Escape,
    Tab,
};

// What a typed character does ('+', 'r', 'R', '?', '[', ...), whatever keys made it.
[[nodiscard]] Action action_for_character(char typed);

// What a key does; arrows pan when the picture overflows the window, else step.
[[nodiscard]] Action action_for_key(Key key, bool overflowing);

// One line per key for the `?` overlay and the manual: "KEYS  what they do".
[[nodiscard]] const std::vector<std::string>& key_help();

// ---- Saving

// The name the shown picture of `original` is saved under: beside it, "-orvi" after
// its stem, with the extension `extension` ("pic.lbm" -> "pic-orvi.lbm").
[[nodiscard]] std::string save_name(const std::string& original, const std::string& extension);

} // namespace viewer
