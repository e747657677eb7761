#include "viewer/window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
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
#include "viewer/session.h"
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
constexpr int kProgressWidth = 320;
constexpr int kProgressHeight = 12;
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
          loader_(library, std::move(files), [this] { wake(); }), session_(library, loader_),
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
        // Hidden until the renderer is made: an accelerated renderer may replace the window
        // with one of another visual, and the first one should never have been seen.
        window_ =
            SDL_CreateWindow("orvi", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                             SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
        renderer_ = window_ == nullptr ? nullptr : SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ == nullptr) {
            error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        SDL_ShowWindow(window_);
        SDL_RendererInfo info{};
        SDL_GetRendererInfo(renderer_, &info);
        most_side_ =
            static_cast<uint32_t>(std::min(info.max_texture_width, info.max_texture_height));
        timings_.started(renderer_);
        apply(session_.go(0));
        return true;
    }

    void run() {
        Uint64 next_slide = SDL_GetTicks64() + slideshow_ms_;
        while (!quit_) {
            if (dirty_) {
                render();
                dirty_ = false;
                const bool first =
                    has_picture() && !session_.changed() && shown_index_ != session_.index();
                shown_index_ = has_picture() ? session_.index() : shown_index_;
                timings_.presented(first ? session_.path() : "");
            }
            // A quit signal may land on a thread other than this one, which is then not
            // woken: the queue is looked at again at least this often. While a picture's
            // textures are filled, a piece at a time, nothing waits.
            // What moves is due: drawn after the events waiting now are handled.
            apply(session_.tick());
            int timeout = upload_pending() || dirty_ ? 0 : kQuitCheckMs;
            // What moves wakes the loop when it next changes.
            const double wait = session_.wait();
            if (wait * 1000 < timeout) {
                timeout = static_cast<int>(std::ceil(wait * 1000));
            }
            if (slideshow_ms_ > 0) {
                const Uint64 now = SDL_GetTicks64();
                if (now >= next_slide) {
                    const size_t index = session_.index();
                    apply(session_.go(index + 1 < session_.count() ? index + 1 : 0));
                    next_slide = now + slideshow_ms_;
                    continue;
                }
                timeout = static_cast<int>(
                    std::min<Uint64>(next_slide - now, static_cast<Uint64>(timeout)));
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
    // Called from the loader's worker.
    void wake() const {
        SDL_Event event{};
        event.type = wake_event_;
        SDL_PushEvent(&event);
    }

    // Carries out what the session asks of the window.
    void apply(const Session::Effect& effect) {
        dirty_ = dirty_ || effect.redraw;
        quit_ = quit_ || effect.quit;
        if (effect.new_picture) {
            install();
        } else if (effect.refill && !tiles_.empty()) {
            refill();
        }
        if (effect.moved) {
            SDL_SetWindowTitle(window_, (orvi::escaped(file_name(session_.path())) + " (" +
                                         std::to_string(session_.index() + 1) + "/" +
                                         std::to_string(session_.count()) + ") - orvi")
                                            .c_str());
        }
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
        dirty_ = true;
        if (session_.shown() == nullptr) {
            return;
        }
        const Size picture = session_.picture_size();
        tile_rects_ =
            tiles_of(picture, std::min(most_side_ == 0 ? kTileSide : most_side_, kTileSide));
        (void)session_.resized(view_area());
        preview_factor_ = preview_factor(picture);
        if (preview_factor_ > 1) {
            const Reduced& preview = session_.preview();
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

    // Fills the textures again with the picture shown (another frame of the same size, or
    // new colours), at once: a frame of what moves.
    void refill() {
        const Size picture = session_.picture_size();
        const orvi::Image* image = session_.shown();
        if (image == nullptr || image->width() != picture.width ||
            image->height() != picture.height) {
            install();
            return;
        }
        upload_tile_ = 0;
        upload_row_ = 0;
        while (upload_some()) {
        }
        dirty_ = true;
    }

    // Fills the next piece of the full textures, about kUploadPixels; false when all are
    // filled.
    bool upload_some() {
        const orvi::Image* image = session_.shown();
        uint64_t budget = kUploadPixels;
        while (image != nullptr && budget > 0 && upload_pending()) {
            const Rect& rect = tile_rects_[upload_tile_];
            if (tiles_.size() <= upload_tile_) {
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
            SDL_Texture* tile = tiles_[upload_tile_].get();
            if (tile == nullptr || SDL_LockTexture(tile, &part, &memory, &pitch) != 0) {
                tiles_.clear();
                tile_rects_.clear();
                session_.tell(std::string("cannot show the picture: ") + SDL_GetError());
                return false;
            }
            const uint32_t bytes = image->bytes_per_pixel();
            const uint32_t first = rect.y + upload_row_;
            // Transparency shows over a checkerboard.
            const Transparency transparency{
                image->straight_pixels(),
                image->straight_pixels() != image->pixels() ? 3U : bytes,
                image->alpha(),
                image->transparent_index() >= 0 ? image->indices() : nullptr,
                image->transparent_index(),
                session_.picture_size().width};
            // Cycling colours: the indices through the palette of the moment.
            const std::vector<uint8_t>* colours = session_.colours();
            std::array<uint32_t, 256> lookup{};
            if (colours != nullptr) {
                lookup = palette_lookup(*colours, image->transparent_index());
            }
            library_.in_bands(band, kRowsPerThread, [&](size_t begin, size_t end) {
                for (auto row = static_cast<uint32_t>(begin); row < end; ++row) {
                    const uint64_t at =
                        uint64_t{first + row} * session_.picture_size().width + rect.x;
                    const uint64_t offset = at * bytes;
                    auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) +
                                                            size_t{row} * static_cast<size_t>(pitch));
                    if (colours != nullptr) {
                        palette_row(image->indices() + at, lookup, rect.x, first + row, rect.width,
                                    out);
                    } else if (image->has_transparency()) {
                        checkered_row(transparency, rect.x, first + row, rect.width, out);
                    } else {
                        to_texture_row(image->pixels() + offset, bytes, rect.width, out);
                    }
                }
            });
            SDL_UnlockTexture(tile);
            budget -= std::min<uint64_t>(budget, uint64_t{band} * rect.width);
            upload_row_ += band;
            if (upload_row_ == rect.height) {
                ++upload_tile_;
                upload_row_ = 0;
            }
        }
        return upload_pending();
    }

    // The area the view of the picture is in: the window's above the status line, that
    // many times shorter when pixels are drawn taller than wide.
    [[nodiscard]] Size view_area() const {
        const Size place = area();
        return {place.width, std::max<uint32_t>(
                                 1, static_cast<uint32_t>(place.height / session_.stretch()))};
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
            // Pixels drawn taller than wide: the view's area, scaled down the window.
            const Size viewed = view_area();
            SDL_RenderSetScale(renderer_, 1.0F, static_cast<float>(session_.stretch()));
            const SDL_Rect clip{0, 0, static_cast<int>(viewed.width),
                                static_cast<int>(viewed.height)};
            SDL_RenderSetClipRect(renderer_, &clip);
            // The reduced copy while the full picture is not all there, and whenever it
            // has as many pixels as the screen shows: it is the smoother of the two.
            const auto factor = static_cast<double>(preview_factor_);
            const View& view = session_.view();
            if (preview_ && (upload_pending() || view.zoom * factor <= 1.0 + 1e-9)) {
                const View reduced_view{view.zoom * factor, view.centre_x / factor,
                                        view.centre_y / factor, view.fit};
                int width = 0;
                int height = 0;
                SDL_QueryTexture(preview_.get(), nullptr, nullptr, &width, &height);
                const std::vector<Rect> whole = {
                    Rect{0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height)}};
                draw_pieces(reduced_view, viewed, whole, [&](size_t) { return preview_.get(); });
            } else {
                draw_pieces(view, viewed, tile_rects_,
                            [&](size_t tile) { return tiles_[tile].get(); });
            }
            SDL_RenderSetClipRect(renderer_, nullptr);
            SDL_RenderSetScale(renderer_, 1.0F, 1.0F);
        } else if (session_.entry()) {
            draw_text("centre", wrapped(session_.centre_text(), columns), kErrorInk, kBackground,
                      centre_x, centre_y, true);
        } else {
            draw_text("centre", {session_.centre_text()}, kInk, kBackground, centre_x,
                      centre_y - kProgressHeight, true);
            const int32_t percent = loader_.progress(session_.index());
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
        draw_text(
            "status",
            {session_.status((place.width - std::min(place.width, 2 * kTextMargin)) / kGlyphWidth)},
            kInk, kPaper, 0, static_cast<int>(place.height), false);
        if (!session_.message().empty()) {
            const std::vector<std::string> lines = wrapped(session_.message(), columns);
            draw_text(
                "message", lines, kMessageInk, kPaper, 0,
                static_cast<int>(place.height - lines.size() * kGlyphHeight - 2 * kTextMargin),
                false);
        }
        if (session_.help()) { // on a paper of its own: nothing below shows through
            draw_text("help", key_help(), kInk, kPaper, centre_x, centre_y, true);
        }
        if (session_.about()) {
            std::vector<std::string> lines;
            for (const std::string& line : session_.about_lines()) {
                const std::vector<std::string> cut = wrapped(line, columns);
                lines.insert(lines.end(), cut.begin(), cut.end());
            }
            draw_text("about", lines, kInk, kPaper, centre_x, centre_y, true);
        }
        SDL_RenderPresent(renderer_);
    }

    // ---- Acting on keys and the mouse

    void handle(const SDL_Event& event) {
        timings_.input(cause_of(event));
        if (event.type == wake_event_) {
            apply(session_.loaded());
            return;
        }
        const Size place = view_area();
        const double stretch = session_.stretch();
        switch (event.type) {
        case SDL_QUIT:
            quit_ = true;
            break;
        case SDL_WINDOWEVENT:
            apply(session_.resized(place));
            break;
        case SDL_KEYDOWN:
            if (const std::optional<Key> key = key_of(event.key.keysym.sym)) {
                const bool overflowing =
                    has_picture() && overflows(session_.view(), session_.picture_size(), place);
                apply(session_.act(action_for_key(*key, overflowing), place));
            }
            break;
        case SDL_TEXTINPUT:
            if (event.text.text[0] != '\0' && event.text.text[0] != ' ' &&
                event.text.text[1] == '\0') {
                apply(session_.act(action_for_character(event.text.text[0]), place));
            }
            break;
        case SDL_MOUSEWHEEL:
            if (has_picture() && event.wheel.y != 0) {
                int x = 0;
                int y = 0;
                SDL_GetMouseState(&x, &y);
                apply(session_.zoom_about(event.wheel.y > 0, x, y / stretch, place));
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            dragging_ = event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT;
            break;
        case SDL_MOUSEMOTION:
            if (dragging_ && has_picture()) {
                apply(session_.pan_by(event.motion.xrel, event.motion.yrel / stretch, place));
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
        case SDLK_TAB:
            return Key::Tab;
        default:
            return std::nullopt;
        }
    }

    orvi::Library& library_;
    const Uint32 wake_event_;
    Loader loader_;
    Session session_;
    const Uint64 slideshow_ms_;
    Timings timings_;
    size_t shown_index_ = SIZE_MAX;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    uint32_t most_side_ = 0;

    std::vector<Texture> tiles_;
    std::vector<Rect> tile_rects_;
    size_t upload_tile_ = 0; // the tile being filled, and its next row
    uint32_t upload_row_ = 0;
    Texture preview_;
    uint32_t preview_factor_ = 1;
    std::map<std::string, std::pair<std::string, Texture>> text_cache_;

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
