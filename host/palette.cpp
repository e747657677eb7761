// Exact palettes for the palette writers.
#include "host/palette.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace host {
namespace {

uint32_t colour_at(const Picture& picture, size_t pixel) {
    if (picture.BytesPerPixel == 1) {
        return picture.Data[pixel] * 0x010101U;
    }
    const uint8_t* p = picture.Data + pixel * picture.BytesPerPixel;
    return (uint32_t{p[0]} << 16U) | (uint32_t{p[1]} << 8U) | p[2];
}

uint32_t luma(uint32_t colour) {
    return 3 * ((colour >> 16U) & 0xFFU) + 6 * ((colour >> 8U) & 0xFFU) + (colour & 0xFFU);
}

size_t count_colours(const Picture& picture, size_t pixels) {
    std::unordered_set<uint32_t> colours;
    for (size_t i = 0; i < pixels; ++i) {
        colours.insert(colour_at(picture, i));
    }
    return colours.size();
}

} // namespace

std::optional<IndexedImage> build_indexed(const Picture& picture, uint32_t depth,
                                          std::string& error, std::string& warning) {
    const size_t limit = size_t{1} << depth;
    const size_t pixels =
        size_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    IndexedImage image;
    image.palette.assign(256, 0);
    image.indices.resize(pixels);
    std::unordered_map<uint32_t, uint8_t> index_of;
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t colour = colour_at(picture, i);
        auto found = index_of.find(colour);
        if (found == index_of.end()) {
            if (index_of.size() == limit) {
                error = "the picture has " + std::to_string(count_colours(picture, pixels)) +
                        " colours; --depth " + std::to_string(depth) + " holds at most " +
                        std::to_string(limit);
                return std::nullopt;
            }
            found = index_of.emplace(colour, static_cast<uint8_t>(index_of.size())).first;
            image.palette[found->second] = colour;
        }
        image.indices[i] = found->second;
    }
    if (depth == 1 && index_of.size() == 1 && luma(image.palette[0]) > luma(0xFFFFFF) / 2) {
        // One light colour: it takes the set bits, so that it does not load back black.
        image.palette[1] = image.palette[0];
        image.palette[0] = 0;
        std::fill(image.indices.begin(), image.indices.end(), uint8_t{1});
        index_of.emplace(0U, uint8_t{0});
    }
    if (depth == 1 && index_of.size() == 2) {
        if (luma(image.palette[0]) > luma(image.palette[1])) {
            std::swap(image.palette[0], image.palette[1]);
            for (uint8_t& index : image.indices) {
                index = static_cast<uint8_t>(1 - index);
            }
        }
        if (image.palette[0] != 0 || image.palette[1] != 0xFFFFFF) {
            warning = "two colours that are not black and white saved at --depth 1: readers "
                      "like ours show such files in black and white";
        }
    }
    image.record.Width = static_cast<uint16_t>(picture.Width);
    image.record.Height = static_cast<uint16_t>(picture.Height);
    image.record.Depth = depth;
    image.record.Palette = image.palette.data();
    image.record.Data = image.indices.data();
    return image;
}

} // namespace host
