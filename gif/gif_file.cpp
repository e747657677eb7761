// GIF through giflib: animations (and stills) that loop for ever. A palette picture keeps
// its palette as it is; a picture of more colours is reduced to 256 by the median cut.
// Each frame after the first is only the box of pixels that changed, drawn over the one
// before, unless the frames have a transparent colour, which needs every frame whole.
#include "gif/gif_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gif_lib.h>
#include <optional>

#include "lib/palette.h"

namespace orvi {
namespace {

// A frame as GIF holds it: a palette of at most 256 entries and an index a pixel.
struct Indexed {
    std::vector<GifColorType> colours;
    const uint8_t* indices = nullptr;
    std::optional<IndexedImage> built; // when the indices were made here
    int32_t transparent = -1;
};

// The frame's own palette, or one made of its colours (reduced when there are more than
// 256); `reduced` is set when it was.
bool index_frame(HostPool& pool, const Image& image, Indexed& frame, bool& reduced,
                 std::string& error) {
    if (image.indices() != nullptr && !image.palette().empty()) {
        const std::vector<uint8_t>& palette = image.palette();
        for (size_t i = 0; i + 2 < palette.size(); i += 3) {
            frame.colours.push_back({palette[i], palette[i + 1], palette[i + 2]});
        }
        frame.indices = image.indices();
        frame.transparent = image.transparent_index();
        return true;
    }
    Picture picture{};
    picture.Data = const_cast<uint8_t*>(image.pixels());
    picture.Width = static_cast<int32_t>(image.width());
    picture.Height = static_cast<int32_t>(image.height());
    picture.BytesPerPixel = image.bytes_per_pixel();
    frame.built = exact_indexed(pool, picture, 256);
    if (!frame.built) {
        frame.built = build_indexed(pool, picture, {8, true, false}, error);
        if (!frame.built) {
            return false;
        }
        reduced = true;
    }
    for (size_t i = 0; i < frame.built->colours; ++i) {
        const uint32_t colour = frame.built->palette[i];
        frame.colours.push_back({static_cast<uint8_t>(colour >> 16U),
                                 static_cast<uint8_t>(colour >> 8U), static_cast<uint8_t>(colour)});
    }
    frame.indices = frame.built->indices.get();
    return true;
}

// A colour map of a power of two entries (at least 2) holding `colours`, the rest black.
ColorMapObject* colour_map(const std::vector<GifColorType>& colours) {
    int size = 2;
    while (static_cast<size_t>(size) < colours.size()) {
        size *= 2;
    }
    std::vector<GifColorType> padded(static_cast<size_t>(size), GifColorType{0, 0, 0});
    std::copy(colours.begin(), colours.end(), padded.begin());
    return GifMakeMapObject(size, padded.data());
}

bool same_colours(const std::vector<GifColorType>& a, const std::vector<GifColorType>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const GifColorType& x, const GifColorType& y) {
               return x.Red == y.Red && x.Green == y.Green && x.Blue == y.Blue;
           });
}

struct Box {
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The smallest box holding every pixel of `now` that differs from `before` (one pixel
// when none does: a frame that only lasts).
Box changed_box(const Image& now, const std::vector<uint8_t>& before) {
    const uint32_t width = now.width();
    const uint32_t height = now.height();
    const size_t bytes = now.bytes_per_pixel();
    uint32_t left = width;
    uint32_t right = 0;
    uint32_t top = height;
    uint32_t bottom = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* a = now.pixels() + size_t{y} * width * bytes;
        const uint8_t* b = before.data() + size_t{y} * width * bytes;
        if (std::memcmp(a, b, width * bytes) == 0) {
            continue;
        }
        top = std::min(top, y);
        bottom = y;
        uint32_t x = 0;
        while (std::memcmp(a + x * bytes, b + x * bytes, bytes) == 0) {
            ++x;
        }
        left = std::min(left, x);
        x = width - 1;
        while (std::memcmp(a + x * bytes, b + x * bytes, bytes) == 0) {
            --x;
        }
        right = std::max(right, x);
    }
    if (top == height) {
        return {0, 0, 1, 1};
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

std::string gif_sentence(int code) {
    const char* text = GifErrorString(code);
    return std::string("the GIF cannot be written (") + (text != nullptr ? text : "giflib failed") +
           ")";
}

// Writes the frames into an open GIF; 0, or kCannotWrite with the reason.
int32_t write_frames(GifFileType* gif, HostPool& pool, const NextFrame& next,
                     std::vector<std::string>& notes, std::string& error) {
    Timeline timeline(100);
    std::vector<GifColorType> global;
    std::vector<uint8_t> before;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t number = 0;
    bool reduced = false;
    for (const Image* image = next(); image != nullptr; image = next()) {
        // A frame shown for less than half a hundredth is not shown: the next one covers
        // it (and a delay of 0 is shown for a tenth by most viewers).
        const uint64_t delay = timeline.next(frame_seconds(*image));
        if (delay == 0 && number > 0) {
            continue;
        }
        ++number;
        Indexed frame;
        if (!index_frame(pool, *image, frame, reduced, error)) {
            return kCannotWrite;
        }
        if (number == 1) {
            width = image->width();
            height = image->height();
            global = frame.colours;
            ColorMapObject* map = colour_map(global);
            const int put = EGifPutScreenDesc(gif, static_cast<int>(width),
                                              static_cast<int>(height), 8, 0, map);
            GifFreeMapObject(map);
            static const uint8_t kLoop[3] = {1, 0, 0}; // repeat for ever
            if (put == GIF_ERROR || EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) ==
                                        GIF_ERROR ||
                EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
                EGifPutExtensionBlock(gif, 3, kLoop) == GIF_ERROR ||
                EGifPutExtensionTrailer(gif) == GIF_ERROR) {
                error = gif_sentence(gif->Error);
                return kCannotWrite;
            }
        }
        const bool whole = number == 1 || frame.transparent >= 0;
        const Box box = whole ? Box{0, 0, width, height} : changed_box(*image, before);
        GraphicsControlBlock control{};
        control.DisposalMode = frame.transparent >= 0 ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
        control.DelayTime = static_cast<int>(std::min<uint64_t>(delay, 65535));
        control.TransparentColor = frame.transparent >= 0 ? frame.transparent : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        (void)EGifGCBToExtension(&control, extension);
        ColorMapObject* local = same_colours(frame.colours, global) ? nullptr
                                                                     : colour_map(frame.colours);
        int put = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        if (put != GIF_ERROR) {
            put = EGifPutImageDesc(gif, static_cast<int>(box.left), static_cast<int>(box.top),
                                   static_cast<int>(box.width), static_cast<int>(box.height), false,
                                   local);
        }
        GifFreeMapObject(local);
        for (uint32_t y = box.top; put != GIF_ERROR && y < box.top + box.height; ++y) {
            auto* row = const_cast<GifPixelType*>(frame.indices + size_t{y} * width + box.left);
            put = EGifPutLine(gif, row, static_cast<int>(box.width));
        }
        if (put == GIF_ERROR) {
            error = gif_sentence(gif->Error);
            return kCannotWrite;
        }
        const size_t bytes = size_t{width} * height * image->bytes_per_pixel();
        before.assign(image->pixels(), image->pixels() + bytes);
    }
    if (number == 0) {
        error = "there is no frame to write";
        return kCannotWrite;
    }
    if (reduced) {
        notes.emplace_back("frames of more than 256 colours were reduced to 256, as GIF holds");
    }
    return kOk;
}

} // namespace

int32_t save_gif(HostPool& pool, const char* path, const NextFrame& next,
                 const SaveOptions& /*options*/, std::vector<std::string>& notes,
                 std::string& error) {
    int code = 0;
    GifFileType* gif = EGifOpenFileName(path, false, &code);
    if (gif == nullptr) {
        error = gif_sentence(code);
        return kCannotWrite;
    }
    EGifSetGifVersion(gif, true);
    int32_t result = kOk;
    try {
        result = write_frames(gif, pool, next, notes, error);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for it";
        result = kOutOfMemory;
    }
    if (EGifCloseFile(gif, &code) == GIF_ERROR && result == kOk) {
        error = gif_sentence(code);
        result = kCannotWrite;
    }
    return result;
}

} // namespace orvi
