// The viewer's pixel loops: rows as texture pixels, the shared-out rows, and the reduced
// copy of a large picture, against plain per-pixel sums.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "viewer/pixels.h"

namespace viewer {
namespace {

TEST(Pixels, RowsBecomeOpaqueTexturePixels) {
    const uint8_t rgb[] = {1, 2, 3, 255, 128, 0};
    uint32_t out[2] = {};
    to_texture_row(rgb, 3, 2, out);
    EXPECT_EQ(out[0], 0xFF010203U);
    EXPECT_EQ(out[1], 0xFFFF8000U);
    const uint8_t grey[] = {0, 0x7F, 0xFF};
    uint32_t grey_out[3] = {};
    to_texture_row(grey, 1, 3, grey_out);
    EXPECT_EQ(grey_out[0], 0xFF000000U);
    EXPECT_EQ(grey_out[1], 0xFF7F7F7FU);
    EXPECT_EQ(grey_out[2], 0xFFFFFFFFU);
}

TEST(Pixels, TransparencyIsDrawnOverACheckerboard) {
    // Row 1 of a picture 32 wide: columns 0-7 lie on a dark square of the check (0x99),
    // 8-15 on a light one (0xCC).
    std::vector<uint8_t> colours(2 * 32 * 3);
    std::vector<uint8_t> alpha(2 * 32, 0);
    std::vector<uint8_t> indices(2 * 32, 0);
    const uint32_t width = 32;
    const uint32_t y = 1;
    for (uint32_t x = 0; x < width; ++x) {
        uint8_t* c = &colours[3 * (y * width + x)];
        c[0] = 200;
        c[1] = 100;
        c[2] = 50;
    }
    alpha[y * width + 4] = 255;  // opaque: its own colour
    alpha[y * width + 5] = 128;  // half over the dark grey
    alpha[y * width + 8] = 0;    // the light grey alone
    const struct {
        const char* reason;
        const uint8_t* alpha;
        const uint8_t* indices;
        int32_t transparent;
        uint32_t x;
        uint32_t expected;
    } rows[] = {
        {"opaque", alpha.data(), nullptr, -1, 4, 0xFFC86432U},
        {"half over dark", alpha.data(), nullptr, -1, 5, 0xFFB17E65U},
        {"clear over light", alpha.data(), nullptr, -1, 8, 0xFFCCCCCCU},
        {"a transparent index", nullptr, indices.data(), 0, 8, 0xFFCCCCCCU},
        {"another index is opaque", nullptr, indices.data(), 1, 8, 0xFFC86432U},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        const Transparency picture{colours.data(), 3, row.alpha, row.indices, row.transparent,
                                   width};
        uint32_t out = 0;
        checkered_row(picture, row.x, y, 1, &out);
        EXPECT_EQ(out, row.expected);
    }
}

TEST(Pixels, LargePicturesGetAReducedCopyWithinTheSide) {
    struct Case {
        Size picture;
        uint32_t factor;
    };
    const Case cases[] = {{{320, 200}, 1},   {{2048, 2048}, 1}, {{2049, 10}, 2},
                          {{8000, 6000}, 4}, {{6000, 8000}, 4}, {{1U << 20U, 1}, 512}};
    for (const Case& c : cases) {
        const uint32_t factor = preview_factor(c.picture);
        EXPECT_EQ(factor, c.factor) << c.picture.width << "x" << c.picture.height;
        EXPECT_LE((c.picture.width + factor - 1) / factor, kPreviewSide);
        EXPECT_LE((c.picture.height + factor - 1) / factor, kPreviewSide);
    }
}

// The mean of a block by the plain sum, rounded to nearest.
uint32_t block_mean(const std::vector<uint8_t>& pixels, Size size, uint32_t channels,
                    uint32_t factor, uint32_t column, uint32_t row) {
    uint32_t result = 0xFF000000U;
    for (uint32_t c = 0; c < 3; ++c) {
        uint64_t sum = 0;
        uint64_t count = 0;
        for (uint32_t y = row * factor; y < std::min(size.height, (row + 1) * factor); ++y) {
            for (uint32_t x = column * factor; x < std::min(size.width, (column + 1) * factor);
                 ++x) {
                sum += pixels[(size_t{y} * size.width + x) * channels + (channels == 1 ? 0 : c)];
                ++count;
            }
        }
        result |= static_cast<uint32_t>((sum + count / 2) / count) << (16 - 8 * c);
    }
    return result;
}

TEST(Pixels, TheReducedCopyAveragesEachBlockEvenAtTheEdges) {
    const orvi::Library library;
    struct Case {
        Size size;
        uint32_t channels;
        uint32_t factor;
    };
    const Case cases[] = {
        {{10, 7}, 3, 3}, {{10, 7}, 1, 4}, {{9, 9}, 3, 1}, {{600, 300}, 3, 7}, {{5, 5}, 3, 8}};
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels(size_t{c.size.width} * c.size.height * c.channels);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<uint8_t>(i * 37 + i / 11);
        }
        const Reduced out = reduced(library, pixels.data(), c.size, c.channels, c.factor);
        ASSERT_EQ(out.size.width, (c.size.width + c.factor - 1) / c.factor);
        ASSERT_EQ(out.size.height, (c.size.height + c.factor - 1) / c.factor);
        for (uint32_t row = 0; row < out.size.height; ++row) {
            for (uint32_t column = 0; column < out.size.width; ++column) {
                ASSERT_EQ(out.pixels[size_t{row} * out.size.width + column],
                          block_mean(pixels, c.size, c.channels, c.factor, column, row))
                    << c.size.width << "x" << c.size.height << "/" << c.factor << " at " << column
                    << "," << row;
            }
        }
    }
}

} // namespace
} // namespace viewer
