#include "viewer/motion.h"

#include <cmath>
#include <cstring>

namespace viewer {

namespace {

// A frame due this much before now is shown late rather than skipped after; one due
// longer ago (the window was stopped, a frame was slow) starts the clock again.
constexpr double kMostLate = 0.25;

bool same_pixels(const orvi::Image& a, const orvi::Image& b) {
    return a.size_in_bytes() == b.size_in_bytes() &&
           std::memcmp(a.pixels(), b.pixels(), a.size_in_bytes()) == 0;
}

double shown_for(const orvi::Image& frame) {
    return frame.duration() > 0 ? frame.duration() : 1.0 / 60;
}

} // namespace

void Motion::start(orvi::Library& library, const std::string& path, const orvi::Image& loaded,
                   double now) {
    stop();
    library_ = &library;
    loaded_ = &loaded;
    if (loaded.duration() > 0) {
        orvi::Error error;
        pictures_ = library.open(path, error);
        if (pictures_ && pictures_->frames() && pictures_->count() > 1) {
            count_ = pictures_->count();
            loop_end_ = count_;
            playing_ = true;
            due_ = now + shown_for(loaded);
        } else {
            pictures_.reset();
        }
    }
    if (loaded.indices() != nullptr) {
        cycling_.emplace(loaded.description(), loaded.palette().size() / 3);
        if (cycling_->moves()) {
            cycling_on_ = true;
            cycling_since_ = now;
            (void)recolour(now);
        } else {
            cycling_.reset();
        }
    }
}

void Motion::stop() {
    *this = Motion{};
}

const orvi::Image& Motion::shown(const orvi::Image& loaded) const {
    return current_ ? *current_ : loaded;
}

const orvi::Image* Motion::frame() const {
    return current_ ? &*current_ : nullptr;
}

const std::vector<uint8_t>* Motion::colours() const {
    return cycling_ && !colours_.empty() ? &colours_ : nullptr;
}

double Motion::cycle_time(double now) const {
    return cycled_ + (cycling_on_ ? now - cycling_since_ : 0.0);
}

// The colours of the shown frame at `now`; true when they changed.
bool Motion::recolour(double now) {
    if (!cycling_ || loaded_ == nullptr) {
        return false;
    }
    const orvi::Image& image = shown(*loaded_);
    if (image.indices() == nullptr) {
        colours_.clear();
        return false;
    }
    const double at = cycle_time(now);
    std::vector<uint32_t> places = cycling_->places(at);
    if (places == places_ && !colours_.empty()) {
        return false;
    }
    places_ = std::move(places);
    cycling_->palette_at(at, image.palette(), colours_);
    return true;
}

uint32_t Motion::after(uint32_t number) const {
    return number >= loop_end_ ? 1 : number + 1;
}

// Many animations end with two frames that lead back to the first two, so that a player
// holding two frames loops without starting again: when they are the first two, the loop
// leaves them out.
void Motion::decide_loop() {
    loop_decided_ = true;
    if (count_ < 4 || number_ != count_ - 2 || second_.empty()) {
        return;
    }
    orvi::Error error;
    std::optional<orvi::Image> closing = pictures_->load(count_ - 1, error);
    if (!closing) {
        return; // shown as any frame that cannot be drawn, in its turn
    }
    if (same_pixels(*closing, *loaded_)) {
        std::optional<orvi::Image> last = pictures_->load(count_, error);
        if (last && last->size_in_bytes() == second_.size() &&
            std::memcmp(last->pixels(), second_.data(), second_.size()) == 0) {
            loop_end_ = count_ - 2;
            return;
        }
    }
    pending_ = std::move(closing);
}

// Shows frame `number`; false when it cannot be drawn (the animation then stops at the
// frame before, and says why).
bool Motion::show(uint32_t number) {
    if (number == 1) {
        current_.reset();
        number_ = 1;
        return true;
    }
    std::optional<orvi::Image> frame;
    if (pending_ && number == count_ - 1) {
        frame = std::move(pending_);
    } else {
        orvi::Error error;
        orvi::LoadOptions options;
        options.details = false;
        frame = pictures_->load(number, error, options);
        if (!frame) {
            problem_ = "the animation stops at frame " + std::to_string(number - 1) + ": " +
                       error.sentence;
            loop_end_ = number - 1;
            return false;
        }
    }
    pending_.reset();
    if (number == 2 && second_.empty()) {
        second_.assign(frame->pixels(), frame->pixels() + frame->size_in_bytes());
    }
    current_ = std::move(frame);
    number_ = number;
    return true;
}

Motion::Change Motion::advance(double now) {
    Change change;
    if (pictures_ && playing_ && now >= due_) {
        if (!loop_decided_ && number_ + 2 == count_) {
            decide_loop();
        }
        const uint32_t next = after(number_);
        if (next != number_ && show(next)) {
            change.frame = true;
        } else if (next != number_) {
            // A frame that cannot be drawn ends the loop before it, which goes on at once.
            change.stopped = true;
            const uint32_t again = after(number_);
            change.frame = again != number_ && show(again);
        }
        if (loop_end_ <= 1) {
            playing_ = false;
        }
        due_ = now - due_ > kMostLate ? now : due_;
        due_ += shown_for(shown(*loaded_));
    }
    change.colours = recolour(now) || (change.frame && cycling_);
    if (change.frame && cycling_) {
        cycling_->palette_at(cycle_time(now), shown(*loaded_).palette(), colours_);
    }
    return change;
}

double Motion::wait(double now) const {
    double wait = INFINITY;
    if (pictures_ && playing_) {
        wait = std::max(0.0, due_ - now);
    }
    if (cycling_ && cycling_on_) {
        const double at = cycle_time(now);
        wait = std::min(wait, std::max(0.0, cycling_->next_step(at) - at));
    }
    return wait;
}

bool Motion::toggle_cycling(double now) {
    if (!cycling_) {
        return false;
    }
    cycled_ = cycle_time(now);
    cycling_since_ = now;
    cycling_on_ = !cycling_on_;
    return true;
}

bool Motion::toggle_playing(double now) {
    if (!pictures_ || loop_end_ <= 1) {
        return false;
    }
    playing_ = !playing_;
    due_ = now + shown_for(shown(*loaded_));
    return true;
}

Motion::Change Motion::step(bool forward, double now) {
    Change change;
    if (!pictures_ || loop_end_ <= 1) {
        return change;
    }
    playing_ = false;
    if (forward && !loop_decided_ && number_ + 2 == count_) {
        decide_loop();
    }
    const uint32_t next = forward ? after(number_) : number_ == 1 ? loop_end_ : number_ - 1;
    change.frame = next != number_ && show(next);
    change.stopped = !change.frame && !problem_.empty();
    if (change.frame && cycling_) {
        cycling_->palette_at(cycle_time(now), shown(*loaded_).palette(), colours_);
        change.colours = true;
    }
    return change;
}

std::string Motion::status() const {
    std::string words;
    if (pictures_) {
        words = "frame " + std::to_string(number_) + "/" + std::to_string(loop_end_);
        if (!playing_) {
            words += " paused";
        }
    }
    if (cycling_ && cycling_on_) {
        words += words.empty() ? "cycling" : ", cycling";
    }
    return words;
}

} // namespace viewer
