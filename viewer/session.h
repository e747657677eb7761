// What the viewer shows and what its keys do, without a window: the list and the place in
// it, the picture shown (as loaded, or changed by keys), the view of it, the message, the
// save rules and the replace that waits for a second press. The window draws a session
// and feeds it what the user does; tests drive one directly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvi/orvi.h"
#include "viewer/motion.h"
#include "viewer/pictures.h"
#include "viewer/view_model.h"

namespace viewer {

class Session {
public:
    // What the window must do after the session changed.
    struct Effect {
        bool redraw = false;      // draw a frame
        bool new_picture = false; // the picture shown is another one: make its textures
        bool moved = false;       // the place in the list changed (the title says it)
        bool quit = false;
        bool refill = false; // the same picture in other pixels: fill its textures again
    };
    // Seconds on a steady clock, for what moves.
    using Clock = std::function<double()>;

    Session(orvi::Library& library, Loader& loader, Clock clock = steady_seconds);
    [[nodiscard]] static double steady_seconds();

    [[nodiscard]] size_t index() const { return index_; }
    [[nodiscard]] size_t count() const { return loader_.files().size(); }
    [[nodiscard]] const std::string& path() const { return loader_.files()[index_]; }
    // The load of the picture in focus, once it is there.
    [[nodiscard]] const std::shared_ptr<const Loaded>& entry() const { return entry_; }
    // The picture shown: the changed copy, the frame of an animation playing, or the
    // loaded picture; null while loading or when it failed.
    [[nodiscard]] const orvi::Image* shown() const;
    // The palette the shown picture's indices are drawn with while its colours cycle, or
    // null: its pixels as they are.
    [[nodiscard]] const std::vector<uint8_t>* colours() const { return motion_.colours(); }
    // Moves what moves to the clock's now: another frame, other colours.
    Effect tick();
    // The seconds until the next tick has something to do (infinity: nothing moves).
    [[nodiscard]] double wait() const;
    [[nodiscard]] bool changed() const { return changed_.has_value(); }
    // The reduced copy of the picture shown, when it is large (made from the changed
    // copy when there is one).
    [[nodiscard]] const Reduced& preview() const;
    [[nodiscard]] const View& view() const { return view_; }
    [[nodiscard]] Size picture_size() const { return picture_; }
    [[nodiscard]] const std::string& message() const { return message_; }
    [[nodiscard]] bool help() const { return help_; }
    // Whether what the file says of the picture is shown, and its lines.
    [[nodiscard]] bool about() const { return about_; }
    [[nodiscard]] std::vector<std::string> about_lines() const;
    // How much taller than wide a pixel is drawn: the file's aspect (y / x) when `a` asked
    // for it, else 1. The view is of a picture that many times shorter.
    [[nodiscard]] double stretch() const;

    // Goes to picture `index` of the list (the last when past it).
    Effect go(size_t index);
    // The loader finished something: the picture in focus may be there now.
    Effect loaded();
    // Carries out a key's action, the picture shown in `area` window pixels.
    Effect act(Action action, Size area);
    // The view after the wheel (zoom in or out about the window point x, y), a drag by
    // (dx, dy), or a new window size.
    Effect zoom_about(bool in, double x, double y, Size area);
    Effect pan_by(double dx, double dy, Size area);
    Effect resized(Size area);
    // A message from the window itself ("cannot show the picture: ...").
    void tell(std::string message) { message_ = std::move(message); }

    // The place in the list, what the file is and the zoom, in `columns` characters: the
    // details are cut when it is longer, never the place or the zoom.
    [[nodiscard]] std::string status(size_t columns) const;
    // What a failed load shows in the middle of the window, or a loading note.
    [[nodiscard]] std::string centre_text() const;
    // The name and format a save of the picture shown takes: its file's own kind where
    // orvi writes it (its extension kept when that names the same format), else PNG.
    [[nodiscard]] std::string save_target() const;

private:
    Effect new_picture();
    bool change(Action action);
    void save();

    orvi::Library& library_;
    Loader& loader_;
    Clock clock_;
    Motion motion_;
    size_t index_ = 0;
    std::shared_ptr<const Loaded> entry_;
    std::optional<orvi::Image> changed_;
    Reduced changed_preview_;
    Size picture_;
    View view_;
    std::string message_;
    std::string pending_replace_;
    bool help_ = false;
    bool about_ = false;
    bool aspect_ = false;
};

} // namespace viewer
