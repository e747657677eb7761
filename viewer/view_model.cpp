#include "viewer/view_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace viewer {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The zooms the keys and the wheel step through.
// Above 1:1 only whole numbers, so that every picture pixel covers as many window pixels.
constexpr std::array<double, 25> kZooms = {
    1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2,
    2.0 / 3,  1.0,      2.0,      3.0,      4.0,     5.0,     6.0,     8.0,     10.0,
    12.0,     16.0,     20.0,     24.0,     32.0,    48.0,    64.0};
constexpr double kMostZoom = 64.0;
// Zooms this close are the same step.
constexpr double kSameZoom = 1e-9;

// The centre on one side: the middle when the picture is narrower than the area, else
// kept where the picture covers the area.
double settled_centre(double centre, double picture, double area, double zoom) {
    if (picture * zoom <= area) {
        return picture / 2;
    }
    const double half = area / 2 / zoom;
    return std::clamp(centre, half, picture - half);
}

} // namespace

bool natural_less(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            while (i < a.size() && a[i] == '0') {
                ++i;
            }
            while (j < b.size() && b[j] == '0') {
                ++j;
            }
            size_t end_a = i;
            size_t end_b = j;
            while (end_a < a.size() && is_digit(a[end_a])) {
                ++end_a;
            }
            while (end_b < b.size() && is_digit(b[end_b])) {
                ++end_b;
            }
            if (end_a - i != end_b - j) {
                return end_a - i < end_b - j;
            }
            const int order = a.substr(i, end_a - i).compare(b.substr(j, end_b - j));
            if (order != 0) {
                return order < 0;
            }
            i = end_a;
            j = end_b;
            continue;
        }
        const char x = folded(a[i]);
        const char y = folded(b[j]);
        if (x != y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size();
    }
    return a < b; // the same to a reader ("a01", "A1"): the byte order decides
}

double fit_zoom(Size picture, Size area) {
    if (picture.width == 0 || picture.height == 0 || area.width == 0 || area.height == 0) {
        return 1.0;
    }
    const double zoom = std::min(static_cast<double>(area.width) / picture.width,
                                 static_cast<double>(area.height) / picture.height);
    return zoom >= 1.0 ? std::min(std::floor(zoom), kMostZoom) : zoom;
}

double zoom_step(double zoom, bool in) {
    if (in) {
        const auto* next = std::find_if(kZooms.begin(), kZooms.end(),
                                        [&](double step) { return step > zoom + kSameZoom; });
        return next == kZooms.end() ? zoom : *next;
    }
    const auto next = std::find_if(kZooms.rbegin(), kZooms.rend(),
                                   [&](double step) { return step < zoom - kSameZoom; });
    return next == kZooms.rend() ? zoom : *next;
}

View fitted(Size picture, Size area) {
    return View{fit_zoom(picture, area), picture.width / 2.0, picture.height / 2.0, true};
}

View settled(const View& view, Size picture, Size area) {
    if (view.fit) {
        return fitted(picture, area);
    }
    View result = view;
    result.centre_x = settled_centre(view.centre_x, picture.width, area.width, view.zoom);
    result.centre_y = settled_centre(view.centre_y, picture.height, area.height, view.zoom);
    return result;
}

View zoomed(const View& view, Size picture, Size area, double zoom, double x, double y) {
    const double offset_x = x - area.width / 2.0;
    const double offset_y = y - area.height / 2.0;
    const double picture_x = view.centre_x + offset_x / view.zoom;
    const double picture_y = view.centre_y + offset_y / view.zoom;
    return settled(View{zoom, picture_x - offset_x / zoom, picture_y - offset_y / zoom, false},
                   picture, area);
}

View panned(const View& view, Size picture, Size area, double dx, double dy) {
    View moved = view;
    moved.centre_x -= dx / view.zoom;
    moved.centre_y -= dy / view.zoom;
    moved.fit = false;
    return settled(moved, picture, area);
}

bool overflows(const View& view, Size picture, Size area) {
    constexpr double kSlack = 0.5;
    return picture.width * view.zoom > area.width + kSlack ||
           picture.height * view.zoom > area.height + kSlack;
}

Origin origin_of(const View& view, Size area) {
    Origin origin{area.width / 2.0 - view.centre_x * view.zoom,
                  area.height / 2.0 - view.centre_y * view.zoom};
    if (view.zoom >= 1.0) {
        origin.x = std::floor(origin.x);
        origin.y = std::floor(origin.y);
    }
    return origin;
}

std::vector<Rect> tiles_of(Size picture, uint32_t most_side) {
    constexpr uint32_t kDefaultSide = 4096;
    const uint32_t side = most_side == 0 ? kDefaultSide : most_side;
    std::vector<Rect> tiles;
    for (uint32_t y = 0; y < picture.height; y += std::min(side, picture.height - y)) {
        const uint32_t height = std::min(side, picture.height - y);
        for (uint32_t x = 0; x < picture.width; x += std::min(side, picture.width - x)) {
            tiles.push_back(Rect{x, y, std::min(side, picture.width - x), height});
        }
    }
    return tiles;
}

std::vector<Piece> visible_pieces(const View& view, Size area, const std::vector<Rect>& tiles) {
    const Origin origin = origin_of(view, area);
    // The picture pixels touched by the area, widened to whole pixels.
    const double first_x = std::max(0.0, std::floor(-origin.x / view.zoom));
    const double first_y = std::max(0.0, std::floor(-origin.y / view.zoom));
    const double end_x = std::ceil((area.width - origin.x) / view.zoom);
    const double end_y = std::ceil((area.height - origin.y) / view.zoom);
    std::vector<Piece> pieces;
    for (size_t index = 0; index < tiles.size(); ++index) {
        const Rect& tile = tiles[index];
        const double left = std::max(first_x, static_cast<double>(tile.x));
        const double top = std::max(first_y, static_cast<double>(tile.y));
        const double right = std::min(end_x, static_cast<double>(tile.x) + tile.width);
        const double bottom = std::min(end_y, static_cast<double>(tile.y) + tile.height);
        if (left >= right || top >= bottom) {
            continue;
        }
        Piece piece;
        piece.tile = index;
        piece.source =
            Rect{static_cast<uint32_t>(left) - tile.x, static_cast<uint32_t>(top) - tile.y,
                 static_cast<uint32_t>(right - left), static_cast<uint32_t>(bottom - top)};
        piece.x = origin.x + left * view.zoom;
        piece.y = origin.y + top * view.zoom;
        piece.width = (right - left) * view.zoom;
        piece.height = (bottom - top) * view.zoom;
        pieces.push_back(piece);
    }
    return pieces;
}

namespace {

// When an arrow does a thing: always, or only while the picture overflows the window (it
// pans then, and steps through the list otherwise).
enum class When : uint8_t { Always, Overflowing, Fitting };

// One key or typed character and what it does.
struct Binding {
    char character = 0; // a typed character, or 0 for `key`
    Key key = Key::Space;
    When when = When::Always;
    Action action = Action::None;
};

constexpr Binding typed(char character, Action action) {
    return {character, Key::Space, When::Always, action};
}
constexpr Binding pressed(Key key, Action action, When when = When::Always) {
    return {0, key, when, action};
}

// The keys, a line of the '?' list each: what it shows, and what each key of it does.
struct KeyLine {
    const char* keys;
    const char* does;
    std::array<Binding, 4> bindings;
};

constexpr KeyLine kKeys[] = {
    {"Space, PageDown, Right, Down",
     "next picture",
     {pressed(Key::Space, Action::Next), pressed(Key::PageDown, Action::Next),
      pressed(Key::Right, Action::Next, When::Fitting),
      pressed(Key::Down, Action::Next, When::Fitting)}},
    {"Backspace, PageUp, Left, Up",
     "previous picture",
     {pressed(Key::Backspace, Action::Previous), pressed(Key::PageUp, Action::Previous),
      pressed(Key::Left, Action::Previous, When::Fitting),
      pressed(Key::Up, Action::Previous, When::Fitting)}},
    {"Home, End",
     "first, last picture",
     {pressed(Key::Home, Action::First), pressed(Key::End, Action::Last)}},
    {"+ and -, mouse wheel",
     "zoom in, out",
     {typed('+', Action::ZoomIn), typed('=', Action::ZoomIn), typed('-', Action::ZoomOut)}},
    {"f, 1", "fit the window, 1:1", {typed('f', Action::Fit), typed('1', Action::Actual)}},
    {"arrows, dragging",
     "move a picture larger than the window",
     {pressed(Key::Left, Action::PanLeft, When::Overflowing),
      pressed(Key::Right, Action::PanRight, When::Overflowing),
      pressed(Key::Up, Action::PanUp, When::Overflowing),
      pressed(Key::Down, Action::PanDown, When::Overflowing)}},
    {"r, R",
     "turn clockwise, anticlockwise",
     {typed('r', Action::RotateClockwise), typed('R', Action::RotateAnticlockwise)}},
    {"h, v",
     "flip left-right, top-bottom",
     {typed('h', Action::FlipLeftRight), typed('v', Action::FlipTopBottom)}},
    {"n, g", "negative, grey", {typed('n', Action::Negate), typed('g', Action::Grey)}},
    {"[ and ]", "gamma down, up", {typed('[', Action::GammaDown), typed(']', Action::GammaUp)}},
    {"{ and }",
     "darker, brighter",
     {typed('{', Action::BrightnessDown), typed('}', Action::BrightnessUp)}},
    {"u", "undo every change", {typed('u', Action::Undo)}},
    {"s", "save as shown, beside the file", {typed('s', Action::Save)}},
    {"Tab", "colour cycling on, off", {pressed(Key::Tab, Action::Cycle)}},
    {"p", "an animation plays, pauses", {typed('p', Action::Play)}},
    {". and ,",
     "an animation's next, previous frame",
     {typed('.', Action::StepForward), typed(',', Action::StepBack)}},
    {"a", "pixels at their shape (Amiga 10:11), square", {typed('a', Action::Aspect)}},
    {"i", "what the file says of the picture", {typed('i', Action::About)}},
    {"?", "these keys", {typed('?', Action::Help)}},
    {"q", "quit", {typed('q', Action::Quit)}},
    {"Escape", "close this list, else quit", {pressed(Key::Escape, Action::Back)}},
};

} // namespace

Action action_for_character(char character) {
    for (const KeyLine& line : kKeys) {
        for (const Binding& binding : line.bindings) {
            if (binding.action != Action::None && binding.character != 0 &&
                binding.character == character) {
                return binding.action;
            }
        }
    }
    return Action::None;
}

Action action_for_key(Key key, bool overflowing) {
    for (const KeyLine& line : kKeys) {
        for (const Binding& binding : line.bindings) {
            const bool now =
                binding.when == When::Always || (binding.when == When::Overflowing) == overflowing;
            if (binding.action != Action::None && binding.character == 0 && binding.key == key &&
                now) {
                return binding.action;
            }
        }
    }
    return Action::None;
}

const std::vector<std::string>& key_help() {
    static const std::vector<std::string> lines = [] {
        constexpr size_t kColumn = 31;
        std::vector<std::string> made;
        for (const KeyLine& line : kKeys) {
            const std::string keys = line.keys;
            made.push_back(keys + std::string(kColumn - std::min(keys.size(), kColumn - 1), ' ') +
                           line.does);
        }
        return made;
    }();
    return lines;
}

std::string save_name(const std::string& original, const std::string& extension) {
    const size_t slash = original.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = original.rfind('.');
    if (dot == std::string::npos || dot <= start) {
        dot = original.size();
    }
    return original.substr(0, dot) + "-orvi." + extension;
}

} // namespace viewer
