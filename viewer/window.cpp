#include "viewer/window.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "viewer/font.h"
#include "viewer/pictures.h"
#include "viewer/pixels.h"
#include "viewer/view_model.h"

namespace viewer {

namespace {

constexpr uint32_t kBackground = 0xFF202020;
constexpr uint32_t kInk = 0xFFE0E0E0;
constexpr uint32_t kPaper = 0xFF000000;
constexpr uint32_t kMessageInk = 0xFFFFE080;
constexpr uint32_t kErrorInk = 0xFFFF8080;
constexpr uint32_t kTextMargin = 2;
constexpr uint32_t kStatusHeight = kGlyphHeight + 2 * kTextMargin;
constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 640 + static_cast<int>(kStatusHeight);
constexpr double kPanFraction = 0.125;
constexpr int kProgressWidth = 320;
constexpr int kProgressHeight = 12;
constexpr int32_t kBrightnessStep = 16;
constexpr double kGammaStep = 1.25;
constexpr int kQuitCheckMs = 250;
constexpr uint32_t kTileSide = 2048;                   // 16 MB a texture at most
constexpr uint64_t kUploadPixels = uint64_t{1} << 22U; // filled between two looks at the queue
constexpr uint32_t kRowsPerThread = 256;

struct TextureFree {
    void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};
using Texture = std::unique_ptr<SDL_Texture, TextureFree>;

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

// What each frame cost, for measuring (--timings): from the first input of a frame to
// the frame on screen, and when each picture was first shown.
class Timings {
public:
    explicit Timings(const std::string& path)
        : file_(path.empty() ? nullptr : std::fopen(path.c_str(), "w")) {}
    Timings(const Timings&) = delete;
    Timings& operator=(const Timings&) = delete;
    ~Timings() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }

    void started(SDL_Renderer* renderer) {
        SDL_RendererInfo info{};
        if (file_ != nullptr && SDL_GetRendererInfo(renderer, &info) == 0) {
            std::fprintf(file_, "renderer %s %dx%d\n", info.name, info.max_texture_width,
                         info.max_texture_height);
        }
    }

    void input(const std::string& what) {
        if (file_ != nullptr && cause_.empty()) {
            cause_ = what;
            since_ = std::chrono::steady_clock::now();
        }
    }

    // After a frame is on screen; `shown` names the file when its picture is in it for the
    // first time.
    void presented(const std::string& shown) {
        if (file_ == nullptr) {
            return;
        }
        if (!cause_.empty()) {
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - since_;
            std::fprintf(file_, "frame %.3f %s\n", took.count(), cause_.c_str());
            cause_.clear();
        }
        if (!shown.empty()) {
            const std::chrono::duration<double> now =
                std::chrono::system_clock::now().time_since_epoch();
            std::fprintf(file_, "shown %.6f %s\n", now.count(), shown.c_str());
        }
        std::fflush(file_);
    }

private:
    std::FILE* file_;
    std::string cause_;
    std::chrono::steady_clock::time_point since_;
};

class Window {
public:
    Window(orvi::Library& library, std::vector<std::string> files, const WindowOptions& options)
        : library_(library), wake_event_(SDL_RegisterEvents(1)),
          loader_(library, std::move(files), [this] { wake(); }),
          slideshow_ms_(static_cast<Uint64>(std::lround(options.slideshow_seconds * 1000))),
          timings_(options.timings) {}
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() {
        tiles_.clear();
        preview_.reset();
        text_cache_.clear();
        if (renderer_ != nullptr) {
            SDL_DestroyRenderer(renderer_);
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
        }
    }

    bool open(std::string& error) {
        // As large as it usually is, but no larger than the part of the screen windows may
        // take, so that the status line is on the screen.
        int width = kWindowWidth;
        int height = kWindowHeight;
        SDL_Rect usable{};
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
            width = std::min(width, usable.w);
            height = std::min(height, usable.h);
        }
        window_ = SDL_CreateWindow("orvi", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                   height, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
        renderer_ = window_ == nullptr ? nullptr : SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ == nullptr) {
            error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        SDL_RendererInfo info{};
        SDL_GetRendererInfo(renderer_, &info);
        most_side_ =
            static_cast<uint32_t>(std::min(info.max_texture_width, info.max_texture_height));
        timings_.started(renderer_);
        go(0);
        return true;
    }

    void run() {
        Uint64 next_slide = SDL_GetTicks64() + slideshow_ms_;
        while (!quit_) {
            if (dirty_) {
                render();
                dirty_ = false;
                const bool first = has_picture() && !changed_ && shown_index_ != index_;
                shown_index_ = has_picture() ? index_ : shown_index_;
                timings_.presented(first ? path() : "");
            }
            // A quit signal may land on a thread other than this one, which is then not
            // woken: the queue is looked at again at least this often. While a picture's
            // textures are filled, a piece at a time, nothing waits.
            int timeout = upload_pending() ? 0 : kQuitCheckMs;
            if (slideshow_ms_ > 0) {
                const Uint64 now = SDL_GetTicks64();
                if (now >= next_slide) {
                    go(index_ + 1 < count() ? index_ + 1 : 0);
                    next_slide = now + slideshow_ms_;
                    continue;
                }
                timeout = static_cast<int>(std::min<Uint64>(next_slide - now, kQuitCheckMs));
            }
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, timeout) == 0) {
                if (upload_pending() && !upload_some()) {
                    dirty_ = true; // the whole picture is there now
                }
                continue;
            }
            handle(event);
            while (SDL_PollEvent(&event) != 0) {
                handle(event);
            }
        }
    }

private:
    [[nodiscard]] size_t count() const { return loader_.files().size(); }
    [[nodiscard]] const std::string& path() const { return loader_.files()[index_]; }

    [[nodiscard]] const orvi::Image* shown() const {
        if (changed_) {
            return &*changed_;
        }
        return entry_ && entry_->image ? &*entry_->image : nullptr;
    }

    // Called from the loader's worker.
    void wake() const {
        SDL_Event event{};
        event.type = wake_event_;
        SDL_PushEvent(&event);
    }

    void go(size_t index) {
        index_ = std::min(index, count() - 1);
        loader_.focus(index_);
        entry_ = loader_.get(index_);
        changed_.reset();
        message_.clear();
        pending_replace_.clear();
        view_.fit = true;
        install();
        SDL_SetWindowTitle(window_,
                           (orvi::escaped(file_name(path())) + " (" + std::to_string(index_ + 1) +
                            "/" + std::to_string(count()) + ") - orvi")
                               .c_str());
    }

    [[nodiscard]] bool has_picture() const { return preview_ || !tiles_.empty(); }
    [[nodiscard]] bool upload_pending() const { return upload_tile_ < tile_rects_.size(); }

    // Makes the textures of the picture shown now. A large picture is shown first from
    // its reduced copy, and its full textures are filled a piece at a time between
    // frames; a small one is filled at once.
    void install() {
        tiles_.clear();
        tile_rects_.clear();
        preview_.reset();
        upload_tile_ = 0;
        upload_row_ = 0;
        const orvi::Image* image = shown();
        dirty_ = true;
        if (image == nullptr) {
            return;
        }
        picture_ = Size{image->width(), image->height()};
        tile_rects_ =
            tiles_of(picture_, std::min(most_side_ == 0 ? kTileSide : most_side_, kTileSide));
        view_ = settled(view_, picture_, area());
        preview_factor_ = preview_factor(picture_);
        if (preview_factor_ > 1) {
            if (changed_) {
                changed_preview_ =
                    reduced(image->pixels(), picture_, image->bytes_per_pixel(), preview_factor_);
            }
            const Reduced& preview = changed_ ? changed_preview_ : entry_->preview;
            preview_.reset(SDL_CreateTexture(
                renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STATIC,
                static_cast<int>(preview.size.width), static_cast<int>(preview.size.height)));
            if (preview_) {
                SDL_UpdateTexture(preview_.get(), nullptr, preview.pixels.data(),
                                  static_cast<int>(preview.size.width * sizeof(uint32_t)));
                SDL_SetTextureBlendMode(preview_.get(), SDL_BLENDMODE_NONE);
                return;
            }
        }
        while (upload_some()) {
        }
    }

    // Fills the next piece of the full textures, about kUploadPixels; false when all are
    // filled.
    bool upload_some() {
        const orvi::Image* image = shown();
        uint64_t budget = kUploadPixels;
        while (image != nullptr && budget > 0 && upload_pending()) {
            const Rect& rect = tile_rects_[upload_tile_];
            if (tiles_.size() == upload_tile_) {
                // The format of X11 windows, without blending: the renderer copies and
                // scales it on its fastest path.
                tiles_.emplace_back(SDL_CreateTexture(
                    renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                    static_cast<int>(rect.width), static_cast<int>(rect.height)));
                SDL_SetTextureBlendMode(tiles_.back().get(), SDL_BLENDMODE_NONE);
            }
            const auto band = static_cast<uint32_t>(
                std::clamp<uint64_t>(budget / rect.width, 1, rect.height - upload_row_));
            const SDL_Rect part{0, static_cast<int>(upload_row_), static_cast<int>(rect.width),
                                static_cast<int>(band)};
            void* memory = nullptr;
            int pitch = 0;
            if (!tiles_.back() ||
                SDL_LockTexture(tiles_.back().get(), &part, &memory, &pitch) != 0) {
                tiles_.clear();
                tile_rects_.clear();
                message_ = std::string("cannot show the picture: ") + SDL_GetError();
                return false;
            }
            const uint32_t bytes = image->bytes_per_pixel();
            const uint32_t first = rect.y + upload_row_;
            for_rows(band, kRowsPerThread, [&](uint32_t begin, uint32_t end) {
                for (uint32_t row = begin; row < end; ++row) {
                    const uint64_t offset =
                        (uint64_t{first + row} * picture_.width + rect.x) * bytes;
                    to_texture_row(
                        image->pixels() + offset, bytes, rect.width,
                        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) +
                                                    size_t{row} * static_cast<size_t>(pitch)));
                }
            });
            SDL_UnlockTexture(tiles_.back().get());
            budget -= std::min<uint64_t>(budget, uint64_t{band} * rect.width);
            upload_row_ += band;
            if (upload_row_ == rect.height) {
                ++upload_tile_;
                upload_row_ = 0;
            }
        }
        return upload_pending();
    }

    [[nodiscard]] Size area() const {
        int width = 0;
        int height = 0;
        SDL_GetRendererOutputSize(renderer_, &width, &height);
        return Size{static_cast<uint32_t>(std::max(width, 1)),
                    static_cast<uint32_t>(std::max(height - static_cast<int>(kStatusHeight), 1))};
    }

    // ---- Drawing

    // A texture of text, kept while the same text is drawn in the same place.
    SDL_Texture* text_texture(const std::string& slot, const std::vector<std::string>& lines,
                              uint32_t ink, uint32_t paper, int& width, int& height) {
        std::string key;
        for (const std::string& line : lines) {
            key += line + '\n';
        }
        key += std::to_string(ink) + "/" + std::to_string(paper);
        auto& [cached_key, texture] = text_cache_[slot];
        if (!texture || cached_key != key) {
            const TextImage text = text_image(lines, ink, paper, kTextMargin);
            texture.reset(SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                            SDL_TEXTUREACCESS_STATIC, static_cast<int>(text.width),
                                            static_cast<int>(text.height)));
            if (!texture) {
                return nullptr;
            }
            SDL_SetTextureBlendMode(texture.get(), SDL_BLENDMODE_BLEND);
            SDL_UpdateTexture(texture.get(), nullptr, text.pixels.data(),
                              static_cast<int>(text.width * sizeof(uint32_t)));
            cached_key = key;
        }
        SDL_QueryTexture(texture.get(), nullptr, nullptr, &width, &height);
        return texture.get();
    }

    void draw_text(const std::string& slot, const std::vector<std::string>& lines, uint32_t ink,
                   uint32_t paper, int x, int y, bool centred) {
        int width = 0;
        int height = 0;
        SDL_Texture* texture = text_texture(slot, lines, ink, paper, width, height);
        if (texture != nullptr) {
            const SDL_Rect place{centred ? x - width / 2 : x, centred ? y - height / 2 : y, width,
                                 height};
            SDL_RenderCopy(renderer_, texture, nullptr, &place);
        }
    }

    // The place in the list, what the file is, and the zoom: when the line is longer than
    // `columns`, the details are cut, never the place or the zoom.
    [[nodiscard]] std::string status(size_t columns) const {
        const std::string place = std::to_string(index_ + 1) + "/" + std::to_string(count()) + "  ";
        const orvi::Image* image = shown();
        std::string details = entry_ && entry_->image
                                  ? orvi::summary(file_name(path()), *entry_->image)
                                  : orvi::escaped(file_name(path()));
        std::string zoom;
        if (image != nullptr) {
            zoom = "  zoom " + std::to_string(std::lround(view_.zoom * 100)) + "%";
            if (changed_) {
                zoom += "  (changed: " + std::to_string(image->width()) + " x " +
                        std::to_string(image->height()) + ")";
            }
        }
        return place + cut_to(details, columns - std::min(columns, place.size() + zoom.size())) +
               zoom;
    }

    void draw_pieces(const View& view, Size place, const std::vector<Rect>& rects,
                     const std::function<SDL_Texture*(size_t)>& texture_of) {
        const SDL_ScaleMode mode = view.zoom >= 1.0 ? SDL_ScaleModeNearest : SDL_ScaleModeLinear;
        for (const Piece& piece : visible_pieces(view, place, rects)) {
            SDL_Texture* texture = texture_of(piece.tile);
            SDL_SetTextureScaleMode(texture, mode);
            const SDL_Rect source{
                static_cast<int>(piece.source.x), static_cast<int>(piece.source.y),
                static_cast<int>(piece.source.width), static_cast<int>(piece.source.height)};
            const SDL_FRect target{static_cast<float>(piece.x), static_cast<float>(piece.y),
                                   static_cast<float>(piece.width),
                                   static_cast<float>(piece.height)};
            SDL_RenderCopyF(renderer_, texture, &source, &target);
        }
    }

    void render() {
        const Size place = area();
        SDL_SetRenderDrawColor(renderer_, 0x20, 0x20, 0x20, 0xFF);
        SDL_RenderClear(renderer_);
        const int centre_x = static_cast<int>(place.width / 2);
        const int centre_y = static_cast<int>(place.height / 2);
        const size_t columns = std::max<size_t>(place.width / kGlyphWidth, 2) - 2;
        if (has_picture()) {
            const SDL_Rect clip{0, 0, static_cast<int>(place.width),
                                static_cast<int>(place.height)};
            SDL_RenderSetClipRect(renderer_, &clip);
            // The reduced copy while the full picture is not all there, and whenever it
            // has as many pixels as the screen shows: it is the smoother of the two.
            const auto factor = static_cast<double>(preview_factor_);
            if (preview_ && (upload_pending() || view_.zoom * factor <= 1.0 + 1e-9)) {
                const View reduced_view{view_.zoom * factor, view_.centre_x / factor,
                                        view_.centre_y / factor, view_.fit};
                int width = 0;
                int height = 0;
                SDL_QueryTexture(preview_.get(), nullptr, nullptr, &width, &height);
                const std::vector<Rect> whole = {
                    Rect{0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height)}};
                draw_pieces(reduced_view, place, whole, [&](size_t) { return preview_.get(); });
            } else {
                draw_pieces(view_, place, tile_rects_,
                            [&](size_t tile) { return tiles_[tile].get(); });
            }
            SDL_RenderSetClipRect(renderer_, nullptr);
        } else if (entry_ && !entry_->image) {
            draw_text("centre",
                      wrapped("cannot load " + orvi::quoted(file_name(path())) + ": " +
                                  entry_->error.sentence,
                              columns),
                      kErrorInk, kBackground, centre_x, centre_y, true);
        } else if (!entry_) {
            draw_text("centre", {"loading " + orvi::quoted(file_name(path()))}, kInk, kBackground,
                      centre_x, centre_y - kProgressHeight, true);
            const int32_t percent = loader_.progress(index_);
            if (percent >= 0) {
                const SDL_Rect frame{centre_x - kProgressWidth / 2, centre_y + kProgressHeight,
                                     kProgressWidth, kProgressHeight};
                const SDL_Rect bar{frame.x, frame.y,
                                   kProgressWidth * std::clamp(percent, 0, 100) / 100,
                                   kProgressHeight};
                SDL_SetRenderDrawColor(renderer_, 0x80, 0xA0, 0xFF, 0xFF);
                SDL_RenderFillRect(renderer_, &bar);
                SDL_RenderDrawRect(renderer_, &frame);
            }
        }
        const SDL_Rect strip{0, static_cast<int>(place.height), static_cast<int>(place.width),
                             static_cast<int>(kStatusHeight)};
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 0xFF);
        SDL_RenderFillRect(renderer_, &strip);
        draw_text("status", {status(place.width / kGlyphWidth)}, kInk, kPaper, 0,
                  static_cast<int>(place.height), false);
        if (!message_.empty()) {
            const std::vector<std::string> lines = wrapped(message_, columns);
            draw_text(
                "message", lines, kMessageInk, kPaper, 0,
                static_cast<int>(place.height - lines.size() * kGlyphHeight - 2 * kTextMargin),
                false);
        }
        if (help_) { // on a paper of its own: nothing below shows through
            draw_text("help", key_help(), kInk, kPaper, centre_x, centre_y, true);
        }
        SDL_RenderPresent(renderer_);
    }

    // ---- Acting on keys and the mouse

    void handle(const SDL_Event& event) {
        timings_.input(cause_of(event));
        if (event.type == wake_event_) {
            if (!entry_) {
                entry_ = loader_.get(index_);
                if (entry_) {
                    install();
                }
            }
            dirty_ = true;
            return;
        }
        switch (event.type) {
        case SDL_QUIT:
            quit_ = true;
            break;
        case SDL_WINDOWEVENT:
            view_ = settled(view_, picture_, area());
            dirty_ = true;
            break;
        case SDL_KEYDOWN:
            if (const std::optional<Key> key = key_of(event.key.keysym.sym)) {
                act(action_for_key(*key, has_picture() && overflows(view_, picture_, area())));
            }
            break;
        case SDL_TEXTINPUT:
            if (event.text.text[0] != '\0' && event.text.text[0] != ' ' &&
                event.text.text[1] == '\0') {
                act(action_for_character(event.text.text[0]));
            }
            break;
        case SDL_MOUSEWHEEL:
            if (has_picture() && event.wheel.y != 0) {
                int x = 0;
                int y = 0;
                SDL_GetMouseState(&x, &y);
                view_ =
                    zoomed(view_, picture_, area(), zoom_step(view_.zoom, event.wheel.y > 0), x, y);
                dirty_ = true;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            dragging_ = event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT;
            break;
        case SDL_MOUSEMOTION:
            if (dragging_ && has_picture()) {
                view_ = panned(view_, picture_, area(), event.motion.xrel, event.motion.yrel);
                dirty_ = true;
            }
            break;
        default:
            break;
        }
    }

    [[nodiscard]] std::string cause_of(const SDL_Event& event) const {
        switch (event.type) {
        case SDL_KEYDOWN:
            return std::string("key ") + SDL_GetKeyName(event.key.keysym.sym);
        case SDL_TEXTINPUT:
            return std::string("key ") + event.text.text;
        case SDL_MOUSEWHEEL:
            return "wheel";
        case SDL_MOUSEMOTION:
            return dragging_ ? "drag" : "";
        default:
            return event.type == wake_event_ ? "loaded" : "";
        }
    }

    static std::optional<Key> key_of(SDL_Keycode code) {
        switch (code) {
        case SDLK_SPACE:
            return Key::Space;
        case SDLK_BACKSPACE:
            return Key::Backspace;
        case SDLK_LEFT:
            return Key::Left;
        case SDLK_RIGHT:
            return Key::Right;
        case SDLK_UP:
            return Key::Up;
        case SDLK_DOWN:
            return Key::Down;
        case SDLK_PAGEUP:
            return Key::PageUp;
        case SDLK_PAGEDOWN:
            return Key::PageDown;
        case SDLK_HOME:
            return Key::Home;
        case SDLK_END:
            return Key::End;
        case SDLK_ESCAPE:
            return Key::Escape;
        default:
            return std::nullopt;
        }
    }

    void act(Action action) {
        if (action == Action::None) {
            return;
        }
        dirty_ = true;
        if (help_) { // a key closes the list of keys; q quits all the same
            help_ = false;
            if (action == Action::Help || action == Action::Back) {
                return;
            }
        }
        if (action != Action::Save) {
            pending_replace_.clear();
        }
        const Size place = area();
        const double pan = std::max(place.width, place.height) * kPanFraction;
        switch (action) {
        case Action::Next:
            go(index_ + 1);
            break;
        case Action::Previous:
            go(index_ == 0 ? 0 : index_ - 1);
            break;
        case Action::First:
            go(0);
            break;
        case Action::Last:
            go(count() - 1);
            break;
        case Action::ZoomIn:
        case Action::ZoomOut:
            view_ = zoomed(view_, picture_, place, zoom_step(view_.zoom, action == Action::ZoomIn),
                           place.width / 2.0, place.height / 2.0);
            break;
        case Action::Fit:
            view_ = fitted(picture_, place);
            break;
        case Action::Actual:
            view_ = zoomed(view_, picture_, place, 1.0, place.width / 2.0, place.height / 2.0);
            break;
        case Action::PanLeft:
        case Action::PanRight:
            view_ = panned(view_, picture_, place, action == Action::PanLeft ? pan : -pan, 0);
            break;
        case Action::PanUp:
        case Action::PanDown:
            view_ = panned(view_, picture_, place, 0, action == Action::PanUp ? pan : -pan);
            break;
        case Action::Undo:
            changed_.reset();
            message_.clear();
            install();
            break;
        case Action::Save:
            save();
            break;
        case Action::Help:
            help_ = true;
            break;
        case Action::Back:
        case Action::Quit:
            quit_ = true;
            break;
        default:
            change(action);
            break;
        }
    }

    // Applies the operation of a key to the picture shown (a copy of the loaded one).
    void change(Action action) {
        const orvi::Image* image = shown();
        if (image == nullptr) {
            return;
        }
        if (action == Action::Grey && image->bytes_per_pixel() == 1) {
            message_ = "the picture is grey already";
            return;
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
            operation =
                orvi::Operation::gamma(action == Action::GammaUp ? kGammaStep : 1 / kGammaStep);
            break;
        default:
            operation = orvi::Operation::brightness(
                action == Action::BrightnessUp ? kBrightnessStep : -kBrightnessStep);
            break;
        }
        orvi::Error error;
        if (!changed_) {
            changed_ = library_.make_image(image->width(), image->height(),
                                           image->bytes_per_pixel(), image->pixels(), error);
        }
        if (!changed_ || !library_.apply(*changed_, operation, error)) {
            message_ = "cannot change the picture: " + error.sentence;
            return;
        }
        message_.clear();
        install();
    }

    // Saves the picture as shown beside its file, in its format when that is written (a
    // palette of its depth when the colours fit), else as PNG; a file already there is
    // replaced only when `s` is pressed again.
    void save() {
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

    orvi::Library& library_;
    const Uint32 wake_event_;
    Loader loader_;
    const Uint64 slideshow_ms_;
    Timings timings_;
    size_t shown_index_ = SIZE_MAX;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    uint32_t most_side_ = 0;

    size_t index_ = 0;
    std::shared_ptr<const Loaded> entry_;
    std::optional<orvi::Image> changed_;
    std::vector<Texture> tiles_;
    std::vector<Rect> tile_rects_;
    size_t upload_tile_ = 0; // the tile being filled, and its next row
    uint32_t upload_row_ = 0;
    Texture preview_;
    uint32_t preview_factor_ = 1;
    Reduced changed_preview_;
    Size picture_;
    View view_;
    std::map<std::string, std::pair<std::string, Texture>> text_cache_;

    std::string message_;
    std::string pending_replace_;
    bool help_ = false;
    bool dragging_ = false;
    bool dirty_ = true;
    bool quit_ = false;
};

// SDL for the life of a window.
class SdlVideo {
public:
    SdlVideo() : ready_(SDL_Init(SDL_INIT_VIDEO) == 0) {}
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;
    ~SdlVideo() {
        if (ready_) {
            SDL_Quit();
        }
    }
    [[nodiscard]] bool ready() const { return ready_; }

private:
    bool ready_;
};

} // namespace

bool run_window(orvi::Library& library, std::vector<std::string> files,
                const WindowOptions& options, std::string& error) {
    // SIGINT and SIGTERM end the program as they end others (SDL would turn them into a
    // quit event, which a load in progress makes wait).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    const SdlVideo video;
    if (!video.ready()) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return false;
    }
    Window window(library, std::move(files), options);
    if (!window.open(error)) {
        return false;
    }
    window.run();
    return true;
}

} // namespace viewer
