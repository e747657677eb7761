// What moves in a picture the viewer shows: an animation's frames, played at their own
// times and looped, and colour cycling. Times are seconds on any steady clock the caller
// keeps; nothing here waits or draws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvi/orvi.h"

namespace viewer {

class Motion {
public:
    // What an advance changed: another frame to draw, or the same one in new colours.
    struct Change {
        bool frame = false;
        bool colours = false;
        bool stopped = false; // a frame could not be drawn: problem() says why
        [[nodiscard]] bool any() const { return frame || colours; }
    };

    // Starts over on a picture just shown at `now`: `loaded` (the still, or an animation's
    // first frame) of the file `path`. Its frames play and its live ranges cycle.
    void start(orvi::Library& library, const std::string& path, const orvi::Image& loaded,
               double now);
    // Nothing moves any more (another picture, or a changed copy of this one).
    void stop();

    // Catches up with `now`: at most one frame further, and the colours of the moment.
    Change advance(double now);
    // The seconds from `now` to the next change, or infinity when nothing moves.
    [[nodiscard]] double wait(double now) const;

    // The frame shown, or null when it is the loaded picture.
    [[nodiscard]] const orvi::Image* frame() const;
    // The palette the shown picture is drawn with while its colours cycle (or stand where
    // cycling was stopped), or null for its own.
    [[nodiscard]] const std::vector<uint8_t>* colours() const;

    // Tab: cycling stops where it is, or goes on; false when no range turns.
    bool toggle_cycling(double now);
    // Plays or pauses an animation; false when the picture has one frame.
    bool toggle_playing(double now);
    // Pauses and shows the next frame (`forward`) or the one before, looping.
    Change step(bool forward, double now);

    // "frame 3/12", "frame 3/12 paused", "cycling", or empty; and, once a frame could
    // not be drawn, where the animation stops and why.
    [[nodiscard]] std::string status() const;
    [[nodiscard]] const std::string& problem() const { return problem_; }

private:
    [[nodiscard]] const orvi::Image& shown(const orvi::Image& loaded) const;
    [[nodiscard]] uint32_t after(uint32_t number) const;
    bool show(uint32_t number);
    void decide_loop();
    [[nodiscard]] double cycle_time(double now) const;
    bool recolour(double now);

    orvi::Library* library_ = nullptr;
    const orvi::Image* loaded_ = nullptr;
    // The animation: its frames, the one shown (from 1), the last one a loop shows, and
    // when the next is due.
    std::optional<orvi::Pictures> pictures_;
    std::optional<orvi::Image> current_; // frame number_ when it is not the first
    std::optional<orvi::Image> pending_; // a frame loaded ahead while deciding the loop
    std::vector<uint8_t> second_;        // frame 2's pixels, for deciding the loop
    uint32_t number_ = 1;
    uint32_t count_ = 1;
    uint32_t loop_end_ = 1;
    bool loop_decided_ = false;
    bool playing_ = false;
    double due_ = 0;
    std::string problem_;
    // Colour cycling: its clock runs while it is on.
    std::optional<orvi::Cycling> cycling_;
    bool cycling_on_ = false;
    double cycled_ = 0; // seconds cycled before cycling_since_
    double cycling_since_ = 0;
    std::vector<uint32_t> places_;
    std::vector<uint8_t> colours_;
};

} // namespace viewer
