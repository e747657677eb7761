// Building the IndexedPicture the palette writers need: an exact palette of the
// picture's colours in order of first appearance, padded to 256 entries, or, when
// asked, a median-cut palette for pictures with more colours than the depth holds.
// Every table and index picture comes from the pool, so its byte limit counts them;
// when the pool refuses, a build fails with a sentence (or std::bad_alloc, where said).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lib/host_pool.h"
#include "runtime/records.h"

namespace orvi {

// A colour's grey level with the luma weights 0.299, 0.587 and 0.114 rounded to 256ths
// (77, 150, 29: they sum to 256, so a grey colour keeps its level), the sum rounded: what
// netpbm's ppmtopgm gives, to the byte.
[[nodiscard]] constexpr uint8_t luma(uint32_t red, uint32_t green, uint32_t blue) {
    return static_cast<uint8_t>((77U * red + 150U * green + 29U * blue + 128U) >> 8U);
}
[[nodiscard]] constexpr uint8_t luma(uint32_t colour) { // 0x00RRGGBB
    return luma((colour >> 16U) & 0xFFU, (colour >> 8U) & 0xFFU, colour & 0xFFU);
}

// Whether every pixel of a three-byte picture (or any one-byte picture) is grey.
[[nodiscard]] bool is_grey(const Picture& picture);

struct IndexedImage {
    std::vector<uint32_t> palette; // 256 entries, 0x00RRGGBB
    PoolArray<uint8_t> indices;    // one per pixel
    size_t colours = 0;            // palette entries in use
    IndexedPicture record{};       // points into the two
};

// The picture with an exact palette of its colours in order of first appearance, or
// nullopt as soon as it has more than `limit`. Throws std::bad_alloc when the pool
// refuses its tables.
[[nodiscard]] std::optional<IndexedImage> exact_indexed(HostPool& pool, const Picture& picture,
                                                        size_t limit);

struct IndexSettings {
    uint32_t depth = 8;  // 1 to 8 bits
    bool reduce = false; // too many colours: median cut instead of failing
    bool dither = false; // with reduce: Floyd-Steinberg error diffusion
};

// The picture at the settings' depth. When the colours fit, the palette holds exactly
// them; otherwise, with `reduce`, the median cut's 2^depth colours (each pixel takes
// the nearest, or the dithered choice), and without it the build fails with a sentence
// that says how many colours there are. At depth 1 the darker colour takes index 0 (a
// light colour alone takes index 1, black 0). Deterministic.
// `out_of_memory`, when given, says whether a failure was the pool's refusal.
[[nodiscard]] std::optional<IndexedImage> build_indexed(HostPool& pool, const Picture& picture,
                                                        const IndexSettings& settings,
                                                        std::string& error,
                                                        bool* out_of_memory = nullptr);

// The nearest entry of a palette (at most 256 entries) to a colour by squared distance,
// the lowest index among equals: a search outwards from the colour's green through the
// entries ordered by green, which stops on each side where green alone is too far.
class PaletteSearch {
public:
    explicit PaletteSearch(const std::vector<uint32_t>& palette);
    [[nodiscard]] uint8_t nearest(uint32_t colour) const;

private:
    struct Entry {
        uint32_t green;
        uint32_t index;
    };
    const std::vector<uint32_t>& palette_;
    std::vector<Entry> by_green_;
};

// The median cut of a picture's colours: at most `limit` colours (0x00RRGGBB), each the
// pixel-weighted mean of a box of the colour cube; the boxes are split, most pixels x
// widest side first, at the weighted median of their widest side (colours of the
// median value go below). Throws std::bad_alloc when the pool refuses its tables.
[[nodiscard]] std::vector<uint32_t> median_cut(HostPool& pool, const Picture& picture,
                                               size_t limit);

} // namespace orvi
