// The viewer's session: the rules of what is shown and what each key does, with no
// window in sight.
#include "viewer/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace viewer {
namespace {

constexpr double kPanFraction = 0.125;
constexpr int32_t kBrightnessStep = 16;
constexpr double kGammaStep = 1.25;

std::string file_name(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// `text` in at most `columns` characters: cut with "..." when longer.
std::string cut_to(const std::string& text, size_t columns) {
    if (text.size() <= columns) {
        return text;
    }
    return columns <= 3 ? text.substr(0, columns) : text.substr(0, columns - 3) + "...";
}

// The kind a save of a picture read from `path` takes: the file's own where orvi writes
// it (its extension kept when that names the same format), else PNG.
orvi::Image::Kind save_kind(const std::string& path, const orvi::Image& loaded) {
    orvi::Image::Kind kind = loaded.kind();
    if (kind.format.empty()) {
        return {"png", "png"};
    }
    const std::string own = std::filesystem::path(path).extension().string();
    orvi::Error ignored;
    const auto by_name = orvi::Library::output_format("", kind.format, ignored);
    const auto by_extension = orvi::Library::output_format("x" + own, "", ignored);
    if (!own.empty() && by_name && by_extension && by_name->name == by_extension->name) {
        kind.extension = own.substr(1);
    }
    return kind;
}

} // namespace

Session::Session(orvi::Library& library, Loader& loader, Clock clock)
    : library_(library), loader_(loader), clock_(std::move(clock)) {}

double Session::steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const orvi::Image* Session::shown() const {
    if (changed_) {
        return &*changed_;
    }
    if (const orvi::Image* frame = motion_.frame()) {
        return frame;
    }
    return entry_ && entry_->image ? &*entry_->image : nullptr;
}

Session::Effect Session::tick() {
    Effect effect;
    const Motion::Change change = motion_.advance(clock_());
    effect.redraw = change.any();
    effect.refill = change.any();
    if (change.stopped) {
        message_ = motion_.problem();
        effect.redraw = true;
    }
    return effect;
}

double Session::wait() const {
    return motion_.wait(clock_());
}

const Reduced& Session::preview() const {
    return changed_ ? changed_preview_ : entry_->preview;
}

Session::Effect Session::new_picture() {
    motion_.stop();
    // What moves is shown as loaded (a changed copy stands still), and only pictures shown
    // from their own pixels, not from a reduced copy.
    if (!changed_ && entry_ && entry_->image &&
        preview_factor({entry_->image->width(), entry_->image->height()}) == 1) {
        motion_.start(library_, path(), *entry_->image, clock_());
    }
    const orvi::Image* image = shown();
    if (image != nullptr) {
        picture_ = Size{image->width(), image->height()};
        if (changed_) {
            const uint32_t factor = preview_factor(picture_);
            changed_preview_ = factor > 1 ? reduced(library_, image->pixels(), picture_,
                                                    image->bytes_per_pixel(), factor)
                                          : Reduced{};
        }
    }
    return {true, true, false, false};
}

Session::Effect Session::go(size_t index) {
    index_ = std::min(index, count() - 1);
    loader_.focus(index_);
    entry_ = loader_.get(index_);
    changed_.reset();
    message_.clear();
    pending_replace_.clear();
    view_.fit = true;
    Effect effect = new_picture();
    effect.moved = true;
    return effect;
}

Session::Effect Session::loaded() {
    if (!entry_) {
        entry_ = loader_.get(index_);
        if (entry_) {
            return new_picture();
        }
    }
    return {true, false, false, false}; // the loading note's progress
}

Session::Effect Session::act(Action action, Size area) {
    if (action == Action::None) {
        return {};
    }
    Effect effect{true, false, false, false};
    if (help_ || about_) { // a key closes the list shown; q quits all the same
        const bool was_about = about_;
        help_ = false;
        about_ = false;
        if (action == Action::Help || action == Action::Back ||
            (action == Action::About && was_about)) {
            return effect;
        }
    }
    if (action != Action::Save) {
        pending_replace_.clear();
    }
    const double pan = std::max(area.width, area.height) * kPanFraction;
    switch (action) {
    case Action::Next:
        return go(index_ + 1);
    case Action::Previous:
        return go(index_ == 0 ? 0 : index_ - 1);
    case Action::First:
        return go(0);
    case Action::Last:
        return go(count() - 1);
    case Action::ZoomIn:
    case Action::ZoomOut:
        view_ = zoomed(view_, picture_, area, zoom_step(view_.zoom, action == Action::ZoomIn),
                       area.width / 2.0, area.height / 2.0);
        break;
    case Action::Fit:
        view_ = fitted(picture_, area);
        break;
    case Action::Actual:
        view_ = zoomed(view_, picture_, area, 1.0, area.width / 2.0, area.height / 2.0);
        break;
    case Action::PanLeft:
    case Action::PanRight:
        view_ = panned(view_, picture_, area, action == Action::PanLeft ? pan : -pan, 0);
        break;
    case Action::PanUp:
    case Action::PanDown:
        view_ = panned(view_, picture_, area, 0, action == Action::PanUp ? pan : -pan);
        break;
    case Action::Undo:
        changed_.reset();
        message_.clear();
        return new_picture();
    case Action::Save:
        save();
        break;
    case Action::Cycle:
        if (!motion_.toggle_cycling(clock_())) {
            message_ = changed_ ? "a changed picture's colours stand still (u undoes the change)"
                                : "no colour range of the picture turns";
        }
        return effect;
    case Action::Play:
        if (!motion_.toggle_playing(clock_())) {
            message_ = "the picture is not an animation of several frames";
        }
        return effect;
    case Action::StepForward:
    case Action::StepBack: {
        const Motion::Change change = motion_.step(action == Action::StepForward, clock_());
        if (change.stopped) {
            message_ = motion_.problem();
        }
        effect.refill = change.any();
        return effect;
    }
    case Action::Help:
        help_ = true;
        break;
    case Action::About:
        about_ = true;
        break;
    case Action::Aspect:
        if (shown() == nullptr || !shown()->description().aspect) {
            message_ = "the file gives its pixels no shape: they are square";
            break;
        }
        aspect_ = !aspect_;
        message_.clear();
        effect.new_picture = true; // the window's view area changes
        break;
    case Action::Back:
    case Action::Quit:
        effect.quit = true;
        break;
    default:
        if (change(action)) {
            return new_picture();
        }
        break;
    }
    return effect;
}

Session::Effect Session::zoom_about(bool in, double x, double y, Size area) {
    if (shown() == nullptr) {
        return {};
    }
    view_ = zoomed(view_, picture_, area, zoom_step(view_.zoom, in), x, y);
    return {true, false, false, false};
}

Session::Effect Session::pan_by(double dx, double dy, Size area) {
    if (shown() == nullptr) {
        return {};
    }
    view_ = panned(view_, picture_, area, dx, dy);
    return {true, false, false, false};
}

Session::Effect Session::resized(Size area) {
    view_ = settled(view_, picture_, area);
    return {true, false, false, false};
}

// Applies the operation of a key to the picture shown (a copy of the loaded one); false
// when nothing changed.
bool Session::change(Action action) {
    const orvi::Image* image = shown();
    if (image == nullptr) {
        return false;
    }
    if (action == Action::Grey && image->bytes_per_pixel() == 1) {
        message_ = "the picture is grey already";
        return false;
    }
    orvi::Operation operation;
    switch (action) {
    case Action::RotateClockwise:
    case Action::RotateAnticlockwise:
        operation = orvi::Operation::rotate(action == Action::RotateAnticlockwise);
        break;
    case Action::FlipLeftRight:
    case Action::FlipTopBottom:
        operation = orvi::Operation::flip(action == Action::FlipTopBottom);
        break;
    case Action::Negate:
        operation = orvi::Operation::negate();
        break;
    case Action::Grey:
        operation = orvi::Operation::gray();
        break;
    case Action::GammaDown:
    case Action::GammaUp:
        operation = orvi::Operation::gamma(action == Action::GammaUp ? kGammaStep : 1 / kGammaStep);
        break;
    default:
        operation = orvi::Operation::brightness(action == Action::BrightnessUp ? kBrightnessStep
                                                                               : -kBrightnessStep);
        break;
    }
    orvi::Error error;
    if (!changed_) {
        changed_ = library_.copy_image(*image, error); // its palette and transparency follow
    }
    if (!changed_ || !library_.apply(*changed_, operation, error)) {
        message_ = "cannot change the picture: " + error.sentence;
        return false;
    }
    message_.clear();
    return true;
}

std::string Session::save_target() const {
    if (!entry_ || !entry_->image) {
        return "";
    }
    return save_name(path(), save_kind(path(), *entry_->image).extension);
}

// Saves the picture as shown beside its file, in its kind when that is written (a
// palette of its depth when the colours fit), else as PNG; a file already there is
// replaced only when `s` is pressed again.
void Session::save() {
    const orvi::Image* image = shown();
    if (image == nullptr) {
        return;
    }
    const orvi::Image::Kind kind = save_kind(path(), *entry_->image);
    const std::string target = save_name(path(), kind.extension);
    std::error_code failed;
    if (pending_replace_ != target && std::filesystem::exists(target, failed)) {
        pending_replace_ = target;
        message_ = orvi::quoted(target) + " exists: press s again to replace it";
        return;
    }
    pending_replace_.clear();
    orvi::SaveOptions options;
    options.format = kind.format;
    // A palette of the file's depth, when it had one (8 bits a pixel at most).
    const orvi::Detail* bits = entry_->image->detail("bits_per_pixel");
    if (bits != nullptr && bits->number() >= 1 && bits->number() <= 8 &&
        image->bytes_per_pixel() == 3) {
        options.depth = static_cast<uint32_t>(bits->number());
    }
    orvi::Error error;
    bool saved = library_.save(*image, target, options, error);
    if (!saved && options.depth != 0) { // more colours than the file's depth holds
        options.depth = 0;
        saved = library_.save(*image, target, options, error);
    }
    message_ = saved ? "saved as " + orvi::quoted(target)
                     : "cannot save " + orvi::quoted(target) + ": " + error.sentence;
}

std::string Session::status(size_t columns) const {
    const std::string place = std::to_string(index_ + 1) + "/" + std::to_string(count()) + "  ";
    const orvi::Image* image = shown();
    const std::string details = entry_ && entry_->image
                                    ? orvi::summary(file_name(path()), *entry_->image)
                                    : orvi::escaped(file_name(path()));
    std::string zoom;
    if (image != nullptr) {
        zoom = "  zoom " + std::to_string(std::lround(view_.zoom * 100)) + "%";
        if (stretch() != 1.0) {
            const orvi::Pair& aspect = *image->description().aspect;
            zoom += "  pixels " + std::to_string(aspect.x) + ":" + std::to_string(aspect.y);
        }
        if (changed_) {
            zoom += "  (changed: " + std::to_string(image->width()) + " x " +
                    std::to_string(image->height()) + ")";
        }
        if (const std::string moving = motion_.status(); !moving.empty()) {
            zoom += "  " + moving;
        }
    }
    return place + cut_to(details, columns - std::min(columns, place.size() + zoom.size())) + zoom;
}

double Session::stretch() const {
    const orvi::Image* image = shown();
    if (!aspect_ || image == nullptr || !image->description().aspect) {
        return 1.0;
    }
    const orvi::Pair& aspect = *image->description().aspect;
    return aspect.x > 0 && aspect.y > 0 ? static_cast<double>(aspect.y) / aspect.x : 1.0;
}

std::vector<std::string> Session::about_lines() const {
    if (!entry_ || !entry_->image) {
        return {"nothing is loaded"};
    }
    std::vector<std::string> lines = {file_name(path())};
    for (const orvi::Detail& detail : entry_->image->details()) {
        lines.push_back(detail.label() + ": " + detail.text());
    }
    return lines;
}

std::string Session::centre_text() const {
    if (entry_ && !entry_->image) {
        return "cannot load " + orvi::quoted(file_name(path())) + ": " + entry_->error.sentence;
    }
    return entry_ ? "" : "loading " + orvi::quoted(file_name(path()));
}

} // namespace viewer
