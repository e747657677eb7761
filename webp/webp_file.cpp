// WebP through libwebp's animation encoder: lossless frames of any colours (a HAM
// animation keeps all of its), with transparency where the picture has it, looping for
// ever. A still is an animation of one frame.
#include "webp/webp_file.h"

#include <cstdio>
#include <memory>
#include <webp/encode.h>
#include <webp/mux.h>

namespace orvi {
namespace {

// How hard the lossless coder works, 0 to 9: 2 keeps animations quick to write and still
// well below GIF's size.
constexpr int kLosslessLevel = 2;

// A frame's pixels as red, green, blue and opacity.
void rgba_of(const Image& image, std::vector<uint8_t>& rgba) {
    const size_t count = size_t{image.width()} * image.height();
    rgba.resize(count * 4);
    const uint8_t* colours = image.straight_pixels();
    const uint8_t* alpha = image.alpha();
    const uint8_t* indices = image.indices();
    const int32_t transparent = image.transparent_index();
    const bool grey = image.bytes_per_pixel() == 1;
    for (size_t i = 0; i < count; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            rgba[4 * i + c] = grey ? colours[i] : colours[3 * i + c];
        }
        rgba[4 * i + 3] = alpha != nullptr                                       ? alpha[i]
                          : indices != nullptr && transparent >= 0 &&
                                  indices[i] == static_cast<uint8_t>(transparent) ? 0
                                                                                 : 255;
    }
}

struct EncoderDelete {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};

int32_t encode(const NextFrame& next, const char* path, std::string& error) {
    std::unique_ptr<WebPAnimEncoder, EncoderDelete> encoder;
    WebPConfig config;
    if (WebPConfigInit(&config) == 0 || WebPConfigLosslessPreset(&config, kLosslessLevel) == 0) {
        error = "libwebp cannot be set up (its version does not match)";
        return kCannotWrite;
    }
    Timeline timeline(1000);
    std::vector<uint8_t> rgba;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t number = 0;
    for (const Image* image = next(); image != nullptr; image = next()) {
        const auto start = static_cast<int>(timeline.now());
        // A frame shown for less than half a tick is not shown: the next one covers it.
        if (timeline.next(frame_seconds(*image)) == 0 && number > 0) {
            continue;
        }
        ++number;
        if (number == 1) {
            width = image->width();
            height = image->height();
            WebPAnimEncoderOptions options;
            if (WebPAnimEncoderOptionsInit(&options) == 0) {
                error = "libwebp cannot be set up (its version does not match)";
                return kCannotWrite;
            }
            options.anim_params.loop_count = 0; // for ever
            encoder.reset(WebPAnimEncoderNew(static_cast<int>(width), static_cast<int>(height),
                                             &options));
            if (!encoder) {
                error = "libwebp has no memory for the animation";
                return kOutOfMemory;
            }
        }
        rgba_of(*image, rgba);
        WebPPicture picture;
        if (WebPPictureInit(&picture) == 0) {
            error = "libwebp cannot be set up (its version does not match)";
            return kCannotWrite;
        }
        picture.use_argb = 1;
        picture.width = static_cast<int>(width);
        picture.height = static_cast<int>(height);
        const bool added =
            WebPPictureImportRGBA(&picture, rgba.data(), static_cast<int>(width * 4)) != 0 &&
            WebPAnimEncoderAdd(encoder.get(), &picture, start, &config) != 0;
        WebPPictureFree(&picture);
        if (!added) {
            error = std::string("libwebp cannot add frame ") + std::to_string(number) + " (" +
                    WebPAnimEncoderGetError(encoder.get()) + ")";
            return kCannotWrite;
        }
    }
    if (number == 0) {
        error = "there is no frame to write";
        return kCannotWrite;
    }
    WebPData data;
    WebPDataInit(&data);
    if (WebPAnimEncoderAdd(encoder.get(), nullptr, static_cast<int>(timeline.now()), nullptr) ==
            0 ||
        WebPAnimEncoderAssemble(encoder.get(), &data) == 0) {
        error = std::string("libwebp cannot make the file (") +
                WebPAnimEncoderGetError(encoder.get()) + ")";
        WebPDataClear(&data);
        return kCannotWrite;
    }
    FILE* file = std::fopen(path, "wb");
    const bool written = file != nullptr && std::fwrite(data.bytes, 1, data.size, file) == data.size;
    const bool closed = file != nullptr && std::fclose(file) == 0;
    WebPDataClear(&data);
    if (!written || !closed) {
        error = "the file cannot be written";
        return kCannotWrite;
    }
    return kOk;
}

} // namespace

int32_t save_webp(HostPool& /*pool*/, const char* path, const NextFrame& next,
                  const SaveOptions& /*options*/, std::vector<std::string>& /*notes*/,
                  std::string& error) {
    try {
        return encode(next, path, error);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for it";
        return kOutOfMemory;
    }
}

} // namespace orvi
