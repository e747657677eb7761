// Exact palettes for the palette writers.
#include "host/palette.h"

#include <algorithm>
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

// Colours to palette indices: a direct table over all 2^24 colours (the few entries a
// palette picture uses stay in cache), with the last colour remembered.
class ColourIndex {
public:
    // The colour's index, adding it when there is room; -1 when the palette is full.
    int32_t find_or_add(uint32_t colour, std::vector<uint32_t>& palette, size_t limit) {
        if (colour == last_colour_ && last_index_ >= 0) {
            return last_index_;
        }
        uint16_t& entry = table_[colour];
        if (entry == 0) {
            if (size_ == limit) {
                return -1;
            }
            palette[size_] = colour;
            entry = static_cast<uint16_t>(++size_); // index + 1; 0 means not yet seen
        }
        last_colour_ = colour;
        last_index_ = entry - 1;
        return last_index_;
    }
    [[nodiscard]] size_t size() const { return size_; }

private:
    std::vector<uint16_t> table_ = std::vector<uint16_t>(size_t{1} << 24U, 0);
    size_t size_ = 0;
    uint32_t last_colour_ = 0;
    int32_t last_index_ = -1;
};

} // namespace

std::optional<IndexedImage> build_indexed(const Picture& picture, uint32_t depth,
                                          std::string& error, std::string& warning) {
    const size_t limit = size_t{1} << depth;
    const size_t pixels =
        size_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    IndexedImage image;
    image.palette.assign(256, 0);
    image.indices.reset(new uint8_t[std::max<size_t>(pixels, 1)]);
    ColourIndex index_of;
    for (size_t i = 0; i < pixels; ++i) {
        const int32_t index = index_of.find_or_add(colour_at(picture, i), image.palette, limit);
        if (index < 0) {
            error = "the picture has " + std::to_string(count_colours(picture, pixels)) +
                    " colours; --depth " + std::to_string(depth) + " holds at most " +
                    std::to_string(limit);
            return std::nullopt;
        }
        image.indices[i] = static_cast<uint8_t>(index);
    }
    size_t colours = index_of.size();
    if (depth == 1 && colours == 1 && luma(image.palette[0]) > luma(0xFFFFFF) / 2) {
        // One light colour: it takes the set bits, so that it does not load back black.
        image.palette[1] = image.palette[0];
        image.palette[0] = 0;
        std::fill(image.indices.get(), image.indices.get() + pixels, uint8_t{1});
        colours = 2;
    }
    if (depth == 1 && colours == 2) {
        if (luma(image.palette[0]) > luma(image.palette[1])) {
            std::swap(image.palette[0], image.palette[1]);
            for (size_t i = 0; i < pixels; ++i) {
                image.indices[i] = static_cast<uint8_t>(1 - image.indices[i]);
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
    image.record.Data = image.indices.get();
    return image;
}

} // namespace host
