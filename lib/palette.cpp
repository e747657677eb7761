// Palettes for the palette writers: exact, or a median cut with optional dithering.
#include "lib/palette.h"

#include <algorithm>
#include <array>
#include <new>

namespace orvi {
namespace {

// A zero-filled table with an entry for each of the 2^24 colours, mapped lazily in small
// pages, so only the pages a picture's colours touch are ever filled: a small picture
// does not pay for clearing the whole table.
template <typename Entry> PoolArray<Entry> colour_table(HostPool& pool) {
    return PoolArray<Entry>(pool, size_t{1} << 24U, HostPool::Use::sparse);
}

uint32_t colour_at(const Picture& picture, size_t pixel) {
    if (picture.BytesPerPixel == 1) {
        return picture.Data[pixel] * 0x010101U;
    }
    const uint8_t* p = picture.Data + pixel * picture.BytesPerPixel;
    return (uint32_t{p[0]} << 16U) | (uint32_t{p[1]} << 8U) | p[2];
}

// Colours to the indices of a palette of at most 256: an open-addressing hash of four
// times as many slots, small enough to stay in the first-level cache whatever the
// picture's size, with the last colour remembered.
class ColourIndex {
public:
    ColourIndex() { keys_.fill(kEmpty); }
    // The colour's index, adding it when there is room; -1 when the palette is full.
    int32_t find_or_add(uint32_t colour, std::vector<uint32_t>& palette, size_t limit) {
        if (colour == last_colour_ && last_index_ >= 0) {
            return last_index_;
        }
        uint32_t slot = (colour * 2654435761U) >> (32U - kSlotBits);
        while (keys_[slot] != colour && keys_[slot] != kEmpty) {
            slot = (slot + 1) & (kSlots - 1);
        }
        if (keys_[slot] == kEmpty) {
            if (size_ == limit) {
                return -1;
            }
            palette[size_] = colour;
            keys_[slot] = colour;
            indices_[slot] = static_cast<uint8_t>(size_++);
        }
        last_colour_ = colour;
        last_index_ = indices_[slot];
        return last_index_;
    }
    [[nodiscard]] size_t size() const { return size_; }

private:
    static constexpr uint32_t kSlotBits = 10;
    static constexpr uint32_t kSlots = 1U << kSlotBits;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFU; // no 24-bit colour
    std::array<uint32_t, kSlots> keys_{};
    std::array<uint8_t, kSlots> indices_{};
    size_t size_ = 0;
    uint32_t last_colour_ = 0;
    int32_t last_index_ = -1;
};

struct ColourCount {
    uint32_t colour;
    uint32_t count;
};

uint32_t channel(uint32_t colour, int which) {
    return (colour >> (16U - 8U * static_cast<uint32_t>(which))) & 0xFFU;
}

// A box of the median cut: a run of the colour list, its widest channel and side.
struct Box {
    size_t begin;
    size_t end;
    uint64_t pixels = 0;
    int widest = 0;
    uint32_t side = 0;
};

Box measure(const PoolVector<ColourCount>& colours, size_t begin, size_t end) {
    Box box{begin, end};
    uint32_t low[3] = {255, 255, 255};
    uint32_t high[3] = {0, 0, 0};
    for (size_t i = begin; i < end; ++i) {
        box.pixels += colours[i].count;
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], channel(colours[i].colour, c));
            high[c] = std::max(high[c], channel(colours[i].colour, c));
        }
    }
    for (int c = 0; c < 3; ++c) {
        if (high[c] - low[c] > box.side) {
            box.side = high[c] - low[c];
            box.widest = c;
        }
    }
    return box;
}

// Every colour of the picture with its pixel count, in order of first appearance.
PoolVector<ColourCount> histogram(HostPool& pool, const Picture& picture, size_t pixels) {
    const auto counts = colour_table<uint32_t>(pool);
    PoolVector<uint32_t> seen{PoolAllocator<uint32_t>(pool)};
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t colour = colour_at(picture, i);
        if (counts[colour]++ == 0) {
            seen.push_back(colour);
        }
    }
    PoolVector<ColourCount> colours{PoolAllocator<ColourCount>(pool)};
    colours.reserve(seen.size());
    for (const uint32_t colour : seen) {
        colours.push_back({colour, counts[colour]});
    }
    return colours;
}

uint32_t squared_distance(uint32_t a, int32_t r, int32_t g, int32_t b) {
    const int32_t dr = static_cast<int32_t>(channel(a, 0)) - r;
    const int32_t dg = static_cast<int32_t>(channel(a, 1)) - g;
    const int32_t db = static_cast<int32_t>(channel(a, 2)) - b;
    return static_cast<uint32_t>(dr * dr + dg * dg + db * db);
}

// Each colour's nearest palette entry, worked out once per colour and kept in a table
// over all 2^24 colours.
class NearestIndex {
public:
    NearestIndex(HostPool& pool, const std::vector<uint32_t>& palette)
        : search_(palette), table_(colour_table<uint16_t>(pool)) {}

    uint8_t operator()(uint32_t colour) {
        uint16_t& entry = table_[colour];
        if (entry == 0) {
            entry = static_cast<uint16_t>(search_.nearest(colour) + 1U);
        }
        return static_cast<uint8_t>(entry - 1);
    }

private:
    PaletteSearch search_;
    PoolArray<uint16_t> table_;
};

// Floyd-Steinberg: each pixel takes the entry nearest its colour plus the error carried
// to it (7/16 right; 3/16, 5/16, 1/16 below left, below, below right), rows left to right.
void dither_into(HostPool& pool, const Picture& picture, const std::vector<uint32_t>& palette,
                 uint8_t* indices) {
    const auto width = static_cast<size_t>(static_cast<uint32_t>(picture.Width));
    const auto height = static_cast<size_t>(static_cast<uint32_t>(picture.Height));
    NearestIndex nearest(pool, palette);
    // Errors in sixteenths, one pixel of margin each side.
    PoolVector<int32_t> current((width + 2) * 3, 0, PoolAllocator<int32_t>(pool));
    PoolVector<int32_t> next((width + 2) * 3, 0, PoolAllocator<int32_t>(pool));
    for (size_t y = 0; y < height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t x = 0; x < width; ++x) {
            const uint32_t colour = colour_at(picture, y * width + x);
            int32_t wanted[3];
            for (int c = 0; c < 3; ++c) {
                const int32_t carried = current[(x + 1) * 3 + static_cast<size_t>(c)];
                const int32_t rounded = carried >= 0 ? (carried + 8) / 16 : -((8 - carried) / 16);
                wanted[c] = std::clamp(static_cast<int32_t>(channel(colour, c)) + rounded, 0, 255);
            }
            const uint32_t adjusted = (static_cast<uint32_t>(wanted[0]) << 16U) |
                                      (static_cast<uint32_t>(wanted[1]) << 8U) |
                                      static_cast<uint32_t>(wanted[2]);
            const uint8_t index = nearest(adjusted);
            indices[y * width + x] = index;
            for (int c = 0; c < 3; ++c) {
                const int32_t error = wanted[c] - static_cast<int32_t>(channel(palette[index], c));
                const size_t at = (x + 1) * 3 + static_cast<size_t>(c);
                current[at + 3] += 7 * error;
                next[at - 3] += 3 * error;
                next[at] += 5 * error;
                next[at + 3] += error;
            }
        }
        std::swap(current, next);
    }
}

} // namespace

PaletteSearch::PaletteSearch(const std::vector<uint32_t>& palette) : palette_(palette) {
    for (size_t i = 0; i < palette.size(); ++i) {
        by_green_.push_back({channel(palette[i], 1), static_cast<uint32_t>(i)});
    }
    std::sort(by_green_.begin(), by_green_.end(), [](const Entry& a, const Entry& b) {
        return a.green != b.green ? a.green < b.green : a.index < b.index;
    });
}

uint8_t PaletteSearch::nearest(uint32_t colour) const {
    const auto r = static_cast<int32_t>(channel(colour, 0));
    const auto g = static_cast<int32_t>(channel(colour, 1));
    const auto b = static_cast<int32_t>(channel(colour, 2));
    uint32_t best = 0;
    uint32_t best_distance = UINT32_MAX;
    const auto consider = [&](const Entry& entry) {
        const uint32_t distance = squared_distance(palette_[entry.index], r, g, b);
        if (distance < best_distance || (distance == best_distance && entry.index < best)) {
            best_distance = distance;
            best = entry.index;
        }
    };
    // Out from the colour's green both ways; an entry whose green alone is farther than
    // the best distance ends its side, and every entry past it is farther still.
    size_t up = static_cast<size_t>(
        std::lower_bound(by_green_.begin(), by_green_.end(), static_cast<uint32_t>(g),
                         [](const Entry& entry, uint32_t green) { return entry.green < green; }) -
        by_green_.begin());
    size_t down = up;
    bool up_open = up < by_green_.size();
    bool down_open = down > 0;
    while (up_open || down_open) {
        if (up_open) {
            const int32_t dg = static_cast<int32_t>(by_green_[up].green) - g;
            up_open = static_cast<uint32_t>(dg * dg) <= best_distance;
            if (up_open) {
                consider(by_green_[up]);
                up_open = ++up < by_green_.size();
            }
        }
        if (down_open) {
            const int32_t dg = g - static_cast<int32_t>(by_green_[down - 1].green);
            down_open = static_cast<uint32_t>(dg * dg) <= best_distance;
            if (down_open) {
                consider(by_green_[--down]);
                down_open = down > 0;
            }
        }
    }
    return static_cast<uint8_t>(best);
}

std::vector<uint32_t> median_cut(HostPool& pool, const Picture& picture, size_t limit) {
    const size_t pixels =
        size_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    PoolVector<ColourCount> colours = histogram(pool, picture, pixels);
    if (colours.empty()) {
        return {};
    }
    std::vector<Box> boxes{measure(colours, 0, colours.size())};
    while (boxes.size() < limit) {
        // The box with the most pixels x widest side; boxes of one colour have side 0.
        size_t chosen = 0;
        uint64_t best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const uint64_t weight = boxes[i].pixels * boxes[i].side;
            if (weight > best) {
                best = weight;
                chosen = i;
            }
        }
        if (best == 0) {
            break;
        }
        const Box box = boxes[chosen];
        const int widest = box.widest;
        // The weighted median of the widest side, found by counting pixels per value;
        // the colours at or below it go first. Equal values stay together, and each
        // side keeps at least one value, since the side holds two or more.
        std::array<uint64_t, 256> pixels_at{};
        uint32_t highest = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            const uint32_t value = channel(colours[i].colour, widest);
            pixels_at[value] += colours[i].count;
            highest = std::max(highest, value);
        }
        uint32_t median = 0;
        uint64_t below = pixels_at[0];
        while (2 * below < box.pixels) {
            below += pixels_at[++median];
        }
        if (median == highest) {
            do {
                --median;
            } while (pixels_at[median] == 0);
        }
        const auto split =
            static_cast<size_t>(std::partition(colours.begin() + static_cast<ptrdiff_t>(box.begin),
                                               colours.begin() + static_cast<ptrdiff_t>(box.end),
                                               [widest, median](const ColourCount& c) {
                                                   return channel(c.colour, widest) <= median;
                                               }) -
                                colours.begin());
        boxes[chosen] = measure(colours, box.begin, split);
        boxes.push_back(measure(colours, split, box.end));
    }
    std::vector<uint32_t> palette;
    for (const Box& box : boxes) {
        uint64_t sums[3] = {0, 0, 0};
        for (size_t i = box.begin; i < box.end; ++i) {
            for (int c = 0; c < 3; ++c) {
                sums[c] += uint64_t{channel(colours[i].colour, c)} * colours[i].count;
            }
        }
        uint32_t mean = 0;
        for (int c = 0; c < 3; ++c) {
            mean = (mean << 8U) | static_cast<uint32_t>((sums[c] + box.pixels / 2) / box.pixels);
        }
        palette.push_back(mean);
    }
    return palette;
}

std::optional<IndexedImage> exact_indexed(HostPool& pool, const Picture& picture, size_t limit) {
    const size_t pixels =
        size_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    IndexedImage image;
    image.palette.assign(256, 0);
    image.indices = PoolArray<uint8_t>(pool, pixels);
    ColourIndex index_of;
    for (size_t i = 0; i < pixels; ++i) {
        const int32_t index = index_of.find_or_add(colour_at(picture, i), image.palette, limit);
        if (index < 0) {
            return std::nullopt;
        }
        image.indices[i] = static_cast<uint8_t>(index);
    }
    image.colours = index_of.size();
    image.record.Width = static_cast<uint16_t>(picture.Width);
    image.record.Height = static_cast<uint16_t>(picture.Height);
    image.record.Palette = image.palette.data();
    image.record.Data = image.indices.get();
    return image;
}

namespace {

std::optional<IndexedImage> indexed_within_pool(HostPool& pool, const Picture& picture,
                                                const IndexSettings& settings, std::string& error) {
    const uint32_t depth = settings.depth;
    const size_t limit = size_t{1} << depth;
    const size_t pixels =
        size_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    std::optional<IndexedImage> exact = exact_indexed(pool, picture, limit);
    if (!exact && !settings.reduce) {
        error = "the picture has " + std::to_string(histogram(pool, picture, pixels).size()) +
                " colours; a palette of " + std::to_string(depth) +
                (depth == 1 ? " bit" : " bits") + " holds at most " + std::to_string(limit);
        return std::nullopt;
    }
    IndexedImage image = exact ? std::move(*exact) : IndexedImage{};
    size_t colours = image.colours;
    if (!exact) {
        image.palette.assign(256, 0);
        image.indices = PoolArray<uint8_t>(pool, pixels);
        const std::vector<uint32_t> reduced = median_cut(pool, picture, limit);
        std::copy(reduced.begin(), reduced.end(), image.palette.begin());
        colours = reduced.size();
        if (settings.dither) {
            dither_into(pool, picture, reduced, image.indices.get());
        } else {
            NearestIndex nearest(pool, reduced);
            for (size_t i = 0; i < pixels; ++i) {
                image.indices[i] = nearest(colour_at(picture, i));
            }
        }
    }
    if (depth == 1 && colours == 1 && luma(image.palette[0]) >= 128) {
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
    }
    image.record.Width = static_cast<uint16_t>(picture.Width);
    image.record.Height = static_cast<uint16_t>(picture.Height);
    image.colours = colours;
    image.record.Depth = depth;
    image.record.Palette = image.palette.data();
    image.record.Data = image.indices.get();
    return image;
}

} // namespace

std::optional<IndexedImage> build_indexed(HostPool& pool, const Picture& picture,
                                          const IndexSettings& settings, std::string& error,
                                          bool* out_of_memory) {
    if (out_of_memory != nullptr) {
        *out_of_memory = false;
    }
    try {
        return indexed_within_pool(pool, picture, settings, error);
    } catch (const std::bad_alloc&) {
        if (out_of_memory != nullptr) {
            *out_of_memory = true;
        }
        error = "not enough memory to choose the colours (the picture is too large for the "
                "memory limit)";
        return std::nullopt;
    }
}

bool is_grey(const Picture& picture) {
    if (picture.BytesPerPixel == 1) {
        return true;
    }
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(picture.Width)} * static_cast<uint32_t>(picture.Height);
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint8_t* p = picture.Data + 3 * i;
        if (p[0] != p[1] || p[0] != p[2]) {
            return false;
        }
    }
    return true;
}

} // namespace orvi
