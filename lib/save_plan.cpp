// Planning a save: which pixels, which palette at which depth, and what is carried.
#include "lib/save_plan.h"

#include <algorithm>
#include <cstring>

#include "lib/names.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

// "PCX files take a depth of 1, 2, 4, 8 or 24".
std::string depth_rule(const FormatEntry& format) {
    std::string list;
    for (uint32_t depth = 1; depth <= 8; ++depth) {
        if ((format.palette_depths & (1U << depth)) != 0) {
            list += std::to_string(depth) + ", ";
        }
    }
    list = list.substr(0, list.size() - 2);
    if (list == "1, 2, 3, 4, 5, 6, 7, 8") {
        list = "1 to 8";
    }
    if (format.palette_only) {
        return std::string(format.name) + " files take a depth of " + list +
               ", a palette of at most 256 colours";
    }
    return std::string(format.name) + " files take a depth of " + list + " or 24";
}

bool allowed(const FormatEntry& format, uint32_t depth) {
    return depth >= 1 && depth <= 8 && (format.palette_depths & (1U << depth)) != 0;
}

// The smallest depth the format writes that holds `bits` bits; 0 when none does.
uint32_t smallest_depth(const FormatEntry& format, uint32_t bits) {
    for (uint32_t depth = bits; depth <= 8; ++depth) {
        if (allowed(format, depth)) {
            return depth;
        }
    }
    return 0;
}

uint32_t packed(const uint8_t* rgb) {
    return uint32_t{rgb[0]} << 16U | uint32_t{rgb[1]} << 8U | rgb[2];
}

// The image's own palette and indices as the palette picture written at `depth`: the
// indices are the image's, not a copy; the palette reaches every index they hold.
IndexedImage own_palette(const Image::State& image, uint32_t depth, size_t entries) {
    IndexedImage indexed;
    indexed.palette.assign(256, 0);
    for (size_t i = 0; i < image.palette.size() / 3; ++i) {
        indexed.palette[i] = packed(&image.palette[3 * i]);
    }
    indexed.colours = entries;
    indexed.record.Width = static_cast<uint16_t>(image.picture.Width);
    indexed.record.Height = static_cast<uint16_t>(image.picture.Height);
    indexed.record.Depth = depth;
    indexed.record.Palette = indexed.palette.data();
    indexed.record.Data = image.indices;
    return indexed;
}

// The entries a palette needs to reach every index: its own, or past them to the
// highest index a pixel holds.
size_t entries_reached(const Image::State& image) {
    const size_t count = size_t{static_cast<uint32_t>(image.picture.Width)} *
                         static_cast<uint32_t>(image.picture.Height);
    const uint8_t highest = *std::max_element(image.indices, image.indices + count);
    return std::max(image.palette.size() / 3, size_t{highest} + 1);
}

// The picture's pixels composed onto `background` (0xRRGGBB) by their opacity: the
// colours under the alpha, or the transparent index's pixels taking the background.
void flatten(const Image::State& image, uint32_t background, uint8_t* out) {
    const size_t count = size_t{static_cast<uint32_t>(image.picture.Width)} *
                         static_cast<uint32_t>(image.picture.Height);
    const uint8_t under[3] = {static_cast<uint8_t>(background >> 16U),
                              static_cast<uint8_t>(background >> 8U),
                              static_cast<uint8_t>(background)};
    const uint8_t* colours = image.straight != nullptr ? image.straight : image.picture.Data;
    for (size_t i = 0; i < count; ++i) {
        uint32_t alpha = image.alpha != nullptr ? image.alpha[i] : 255U;
        if (image.transparent >= 0 && image.indices != nullptr &&
            image.indices[i] == image.transparent) {
            alpha = 0;
        }
        for (size_t c = 0; c < 3; ++c) {
            out[3 * i + c] =
                static_cast<uint8_t>((colours[3 * i + c] * alpha + under[c] * (255U - alpha) + 127) /
                                     255U);
        }
    }
}

// The picture at `depth` from its colours: exact when they fit, else (unless `exact`)
// reduced with a note.
bool indexed_from_colours(HostPool& pool, const Picture& picture, uint32_t depth,
                          const SaveOptions& options, SavePlan& plan, Error& error) {
    bool reduced = false;
    if (!options.exact && !options.reduce) {
        try {
            reduced = !exact_indexed(pool, picture, size_t{1} << depth);
        } catch (const std::bad_alloc&) {
            error = {kOutOfMemory, result_code_sentence(kOutOfMemory)};
            return false;
        }
    }
    std::string why;
    bool out_of_memory = false;
    plan.indexed =
        build_indexed(pool, picture, {depth, !options.exact, options.dither}, why, &out_of_memory);
    if (!plan.indexed) {
        error = {out_of_memory ? kOutOfMemory : kDoesNotFit, why, out_of_memory ? "" : "exact"};
        return false;
    }
    if (reduced) {
        plan.notes.push_back("its colours were reduced to the " +
                             std::to_string(size_t{1} << depth) + " a depth of " +
                             std::to_string(depth) + " holds");
    }
    return true;
}

} // namespace

uint32_t bits_for(size_t entries) {
    uint32_t bits = 1;
    while ((size_t{1} << bits) < entries) {
        ++bits;
    }
    return bits;
}

bool plan_save(HostPool& pool, const Image::State& image, const FormatEntry& format,
               const SaveOptions& options, bool grey, SavePlan& plan, Error& error) {
    plan.picture = image.picture;
    plan.kept = image.description;
    const uint64_t count = uint64_t{static_cast<uint32_t>(image.picture.Width)} *
                           static_cast<uint32_t>(image.picture.Height);
    const bool transparent = image.alpha != nullptr || image.transparent >= 0;
    const bool flattened = transparent && options.background.has_value();
    try {
        if (flattened) {
            plan.pixels = PoolArray<uint8_t>(pool, count * 3);
            flatten(image, *options.background, plan.pixels.get());
            plan.picture.Data = plan.pixels.get();
        }
        if (grey && plan.picture.BytesPerPixel == 3) {
            PoolArray<uint8_t> levels(pool, count);
            for (uint64_t i = 0; i < count; ++i) {
                const uint8_t* p = plan.picture.Data + 3 * i;
                levels[i] = luma(p[0], p[1], p[2]);
            }
            plan.pixels = std::move(levels);
            plan.picture.Data = plan.pixels.get();
            plan.picture.BytesPerPixel = 1;
        }
    } catch (const std::bad_alloc&) {
        error = {kOutOfMemory, result_code_sentence(kOutOfMemory)};
        return false;
    }
    const bool own_palette_usable =
        !image.palette.empty() && image.indices != nullptr && !grey && !flattened;
    const uint32_t depth = options.depth;
    bool own = false;
    if (format.palette_depths != 0 && (depth != 24 || format.palette_only)) {
        if (depth != 0 && !allowed(format, depth)) {
            error = {kDoesNotFit, depth_rule(format), "depth"};
            return false;
        }
        if (own_palette_usable) {
            const size_t entries = entries_reached(image);
            const uint32_t needed = entries <= 256 ? bits_for(entries) : 9;
            const uint32_t chosen = depth != 0 ? depth : smallest_depth(format, needed);
            if (chosen != 0 && chosen >= needed) {
                plan.indexed = own_palette(image, chosen, entries);
                own = true;
            }
        }
        const bool by_colours = depth != 0 || format.palette_only || format.smallest_depth;
        if (!own && by_colours) {
            uint32_t chosen = depth;
            if (chosen == 0) {
                std::optional<IndexedImage> exact;
                try {
                    exact = exact_indexed(pool, plan.picture, 256);
                } catch (const std::bad_alloc&) {
                    error = {kOutOfMemory, result_code_sentence(kOutOfMemory)};
                    return false;
                }
                chosen = exact ? smallest_depth(format, bits_for(exact->colours))
                         : format.palette_only ? 8
                                               : 0;
            }
            if (chosen != 0 &&
                !indexed_from_colours(pool, plan.picture, chosen, options, plan, error)) {
                return false;
            }
        }
    }
    if (!own) {
        // The registers the ranges and the display mode name are not the ones written.
        plan.kept.ranges.clear();
        plan.kept.display_mode.reset();
    }
    if (!flattened) {
        if (own && image.transparent >= 0 && format.holds_transparent_index) {
            plan.carried.transparent = image.transparent;
        }
        if (image.alpha != nullptr && format.holds_alpha) {
            plan.carried.alpha = image.alpha;
            plan.carried.straight = image.straight;
        } else if (plan.carried.transparent < 0 && image.transparent >= 0 &&
                   image.indices != nullptr && format.holds_alpha && !grey) {
            // A transparent index where the format holds opacity instead.
            try {
                plan.alpha = PoolArray<uint8_t>(pool, count);
            } catch (const std::bad_alloc&) {
                error = {kOutOfMemory, result_code_sentence(kOutOfMemory)};
                return false;
            }
            for (uint64_t i = 0; i < count; ++i) {
                plan.alpha[i] = image.indices[i] == image.transparent ? 0 : 0xFF;
            }
            plan.carried.alpha = plan.alpha.get();
        }
    }
    if (transparent && !flattened && plan.carried.alpha == nullptr &&
        plan.carried.transparent < 0) {
        const bool holds = format.holds_alpha || format.holds_transparent_index;
        plan.notes.emplace_back(holds ? std::string("its transparency is lost with its palette")
                                      : "its transparency is lost, as " +
                                            std::string(format.name) + " files hold none");
    }
    plan.carried.description = &plan.kept;
    return true;
}

} // namespace orvi
