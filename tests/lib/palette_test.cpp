// Palettes for the palette writers: exact palettes, the median cut and dithering.
#include <gtest/gtest.h>

#include <set>

#include "lib/palette.h"

namespace {

using Bytes = std::vector<uint8_t>;

Picture picture_of(Bytes& data, int32_t width, int32_t height) {
    return {
        data.data(), width, height, 3, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
        24,          0,     0,      0};
}

uint32_t colour_of(const Bytes& data, size_t pixel) {
    return (uint32_t{data[3 * pixel]} << 16U) | (uint32_t{data[3 * pixel + 1]} << 8U) |
           data[3 * pixel + 2];
}

// A 64 x 64 picture of `colours` distinct colours spread over the cube, in bands.
Bytes banded(size_t colours) {
    Bytes data(64 * 64 * 3);
    for (size_t p = 0; p < 64 * 64; ++p) {
        const size_t band = p * colours / (64 * 64);
        const uint32_t colour = static_cast<uint32_t>(band * 2654435761U) & 0xFFFFFFU;
        data[3 * p] = static_cast<uint8_t>(colour >> 16U);
        data[3 * p + 1] = static_cast<uint8_t>(colour >> 8U);
        data[3 * p + 2] = static_cast<uint8_t>(colour);
    }
    return data;
}

// The pool every table and index picture of these tests comes from.
orvi::HostPool pool;

std::set<uint32_t> colours_in(const Bytes& data) {
    std::set<uint32_t> colours;
    for (size_t p = 0; p < data.size() / 3; ++p) {
        colours.insert(colour_of(data, p));
    }
    return colours;
}

std::optional<orvi::IndexedImage> build(const Picture& picture, uint32_t depth, bool reduce,
                                        bool dither = false) {
    std::string error;
    return orvi::build_indexed(pool, picture, {depth, reduce, dither}, error);
}

TEST(Palette, FewEnoughColoursAreKeptExactlyAndTooManyAreReducedToTheDepth) {
    for (const size_t colours :
         {1UL, 2UL, 3UL, 15UL, 16UL, 17UL, 100UL, 255UL, 256UL, 257UL, 1000UL, 4096UL}) {
        Bytes data = banded(colours);
        const Picture picture = picture_of(data, 64, 64);
        ASSERT_EQ(colours_in(data).size(), colours);
        for (const uint32_t depth : {1U, 2U, 4U, 8U}) {
            SCOPED_TRACE(std::to_string(colours) + " colours at depth " + std::to_string(depth));
            const size_t limit = size_t{1} << depth;
            const auto image = build(picture, depth, true);
            ASSERT_TRUE(image);
            std::set<uint32_t> used;
            for (size_t p = 0; p < 64 * 64; ++p) {
                ASSERT_LT(image->indices[p], limit);
                used.insert(image->palette[image->indices[p]]);
                if (colours <= limit) {
                    EXPECT_EQ(image->palette[image->indices[p]], colour_of(data, p));
                }
            }
            if (colours <= limit) {
                EXPECT_EQ(used.size(), colours);
            } else {
                EXPECT_EQ(image->colours, limit);
                EXPECT_LE(used.size(), limit);
            }
            EXPECT_EQ(build(picture, depth, false).has_value(), colours <= limit);
        }
    }
}

// The plain rule: every entry tried, the first of equals kept.
uint8_t nearest_by_trying_all(const std::vector<uint32_t>& palette, uint32_t colour) {
    const auto channel = [](uint32_t c, uint32_t shift) {
        return static_cast<int32_t>((c >> shift) & 0xFFU);
    };
    size_t best = 0;
    int32_t best_distance = INT32_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        int32_t distance = 0;
        for (const uint32_t shift : {16U, 8U, 0U}) {
            const int32_t d = channel(palette[i], shift) - channel(colour, shift);
            distance += d * d;
        }
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

TEST(Palette, TheNearestEntrySearchAgreesWithTryingEveryEntry) {
    uint32_t seed = 5;
    const auto next = [&seed] {
        seed = seed * 1103515245U + 12345U;
        return seed >> 8U;
    };
    for (int round = 0; round < 200; ++round) {
        // Palettes of 1 to 256 entries, some with repeated entries and shared greens.
        std::vector<uint32_t> palette(1 + next() % 256);
        for (uint32_t& entry : palette) {
            entry = round % 3 == 0 ? (next() & 0xF0F0F0U) : (next() & 0xFFFFFFU);
        }
        const orvi::PaletteSearch search(palette);
        for (int probe = 0; probe < 500; ++probe) {
            const uint32_t colour = next() & 0xFFFFFFU;
            ASSERT_EQ(search.nearest(colour), nearest_by_trying_all(palette, colour))
                << "round " << round << ", colour " << colour;
        }
    }
}

TEST(Palette, TooManyColoursWithoutReduceSayHowMany) {
    Bytes data = banded(20);
    std::string error;
    EXPECT_FALSE(
        orvi::build_indexed(pool, picture_of(data, 64, 64), {4, false, false}, error));
    EXPECT_EQ(error, "the picture has 20 colours; a palette of 4 bits holds at most 16");
}

TEST(Palette, TablesAndIndicesCountAgainstThePoolsLimit) {
    Bytes data = banded(300);
    const Picture picture = picture_of(data, 64, 64);
    // Room for the picture's indices but not for a table over every colour.
    for (const bool reduce : {false, true}) {
        SCOPED_TRACE(reduce ? "reduced" : "exact");
        orvi::HostPool small(8 << 20);
        std::string error;
        EXPECT_FALSE(orvi::build_indexed(small, picture, {8, reduce, reduce}, error));
        EXPECT_EQ(error, "not enough memory to choose the colours (the picture is too large for "
                         "the memory limit)");
        EXPECT_EQ(small.live_blocks(), 0U);
    }
    orvi::HostPool roomy;
    std::string error;
    {
        const auto image = orvi::build_indexed(roomy, picture, {8, true, false}, error);
        ASSERT_TRUE(image);
        EXPECT_TRUE(roomy.owns(image->indices.get()));
    }
    EXPECT_EQ(roomy.live_blocks(), 0U);
}

TEST(Palette, MedianCutFindsTheMeansOfSeparateClusters) {
    // Two clusters: dark reds around (40, 0, 0) and light blues around (0, 0, 220).
    Bytes data;
    for (int i = 0; i < 50; ++i) {
        const auto offset = static_cast<uint8_t>(i % 5);
        data.insert(data.end(), {static_cast<uint8_t>(38 + offset), 0, 0});
        data.insert(data.end(), {0, 0, static_cast<uint8_t>(218 + offset)});
    }
    const Picture picture = picture_of(data, 10, 10);
    const std::vector<uint32_t> palette = orvi::median_cut(pool, picture, 2);
    EXPECT_EQ(std::set<uint32_t>(palette.begin(), palette.end()),
              (std::set<uint32_t>{0x280000, 0x0000DC}));
    // Never more entries than distinct colours.
    EXPECT_EQ(orvi::median_cut(pool, picture, 256).size(), 10U);
}

TEST(Palette, TheResultIsTheSameEveryTime) {
    Bytes data = banded(3000);
    const Picture picture = picture_of(data, 64, 64);
    for (const bool dither : {false, true}) {
        const auto first = build(picture, 4, true, dither);
        const auto second = build(picture, 4, true, dither);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first->palette, second->palette);
        EXPECT_TRUE(std::equal(first->indices.get(), first->indices.get() + 64 * 64,
                               second->indices.get()));
    }
}

TEST(Palette, DitheringKeepsTheMeanOfAFlatAreaBetweenTwoEntries) {
    // Half black, half white, and a grey block of 1/4 brightness: two entries at depth 1.
    Bytes data(32 * 32 * 3);
    for (size_t p = 0; p < 32 * 32; ++p) {
        const size_t x = p % 32;
        const size_t y = p / 32;
        const uint8_t value = y < 16 ? (x < 16 ? 0 : 255) : 64;
        std::fill_n(data.begin() + static_cast<ptrdiff_t>(3 * p), 3, value);
    }
    const Picture picture = picture_of(data, 32, 32);
    const auto plain = build(picture, 1, true, false);
    const auto dithered = build(picture, 1, true, true);
    ASSERT_TRUE(plain && dithered);
    EXPECT_EQ(dithered->palette[0], plain->palette[0]);
    double plain_sum = 0;
    double dithered_sum = 0;
    for (size_t p = 16 * 32; p < 32 * 32; ++p) {
        plain_sum += plain->palette[plain->indices[p]] & 0xFFU;
        dithered_sum += dithered->palette[dithered->indices[p]] & 0xFFU;
    }
    const double pixels = 16 * 32;
    // The nearest entry paints the grey block in one colour; dithering mixes both
    // entries so that the block's mean stays near 64.
    EXPECT_GT(std::abs(plain_sum / pixels - 64), 20);
    EXPECT_NEAR(dithered_sum / pixels, 64, 6);
}

TEST(Palette, AtDepthOneTheDarkerEntryComesFirst) {
    Bytes data = banded(50);
    const auto image = build(picture_of(data, 64, 64), 1, true);
    ASSERT_TRUE(image);
    const auto luma = [](uint32_t c) {
        return 3 * (c >> 16U) + 6 * ((c >> 8U) & 0xFFU) + (c & 0xFFU);
    };
    EXPECT_LT(luma(image->palette[0]), luma(image->palette[1]));
}

TEST(Palette, AtDepthOneTheDarkerColourTakesIndexZero) {
    const struct {
        const char* reason;
        std::vector<uint32_t> colours;
        std::vector<uint32_t> palette; // the two entries written
        uint8_t first_index;           // the first pixel's
    } rows[] = {
        {"black alone", {0x000000}, {0x000000, 0x000000}, 0},
        {"white alone: it takes the set bits", {0xFFFFFF}, {0x000000, 0xFFFFFF}, 1},
        {"one dark colour", {0x402010}, {0x402010, 0x000000}, 0},
        {"one light colour: it takes the set bits", {0xE0F0FF}, {0x000000, 0xE0F0FF}, 1},
        {"white first", {0xFFFFFF, 0x000000}, {0x000000, 0xFFFFFF}, 1},
        {"two colours, the light one first", {0xC0B0A0, 0x102030}, {0x102030, 0xC0B0A0}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        Bytes data;
        for (size_t p = 0; p < 16; ++p) {
            const uint32_t colour = row.colours[p % row.colours.size()];
            data.insert(data.end(),
                        {static_cast<uint8_t>(colour >> 16U), static_cast<uint8_t>(colour >> 8U),
                         static_cast<uint8_t>(colour)});
        }
        std::string error;
        const auto image = orvi::build_indexed(pool, picture_of(data, 4, 4), {1, false, false}, error);
        ASSERT_TRUE(image) << error;
        EXPECT_EQ(image->palette[0], row.palette[0]);
        EXPECT_EQ(image->palette[1], row.palette[1]);
        EXPECT_EQ(image->indices[0], row.first_index);
    }
}

} // namespace
