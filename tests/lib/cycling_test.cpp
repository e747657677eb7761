#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

#include "lib/library_inside.h"
#include "orvi/orvi.h"
#include "tests/support/files.h"

namespace {

using orvi::ColourRange;
using orvi::Cycling;
using orvi::Description;

// A palette of `count` entries whose red is the entry's number.
std::vector<uint8_t> numbered(size_t count) {
    std::vector<uint8_t> palette(count * 3, 0);
    for (size_t i = 0; i < count; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
    }
    return palette;
}

std::vector<uint8_t> reds(const std::vector<uint8_t>& palette) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < palette.size(); i += 3) {
        out.push_back(palette[i]);
    }
    return out;
}

ColourRange crng(uint8_t low, uint8_t high, uint32_t rate, bool reverse = false) {
    ColourRange range;
    range.low = low;
    range.high = high;
    range.rate = rate;
    range.active = true;
    range.reverse = reverse;
    return range;
}

TEST(Cycling, TurnsEachRangeByItsStepsInItsDirection) {
    struct Case {
        const char* what;
        ColourRange range;
        double seconds;
        std::vector<uint8_t> expected; // reds of registers 0..5
    };
    ColourRange ccrt = crng(1, 3, 250000); // a step every quarter second
    ccrt.kind = ColourRange::Kind::ccrt;
    const Case cases[] = {
        {"not yet a step", crng(1, 4, 16384), 0.016, {0, 1, 2, 3, 4, 5}},
        {"one step forward", crng(1, 4, 16384), 1.0 / 60, {0, 4, 1, 2, 3, 5}},
        {"two steps forward", crng(1, 4, 16384), 2.0 / 60, {0, 3, 4, 1, 2, 5}},
        {"a whole turn", crng(1, 4, 16384), 4.0 / 60, {0, 1, 2, 3, 4, 5}},
        {"one step reverse", crng(1, 4, 16384, true), 1.0 / 60, {0, 2, 3, 4, 1, 5}},
        {"rate 8192 is 30 steps a second", crng(0, 5, 8192), 1.0 / 60, {0, 1, 2, 3, 4, 5}},
        {"rate 8192 after a thirtieth", crng(0, 5, 8192), 1.0 / 30, {5, 0, 1, 2, 3, 4}},
        {"CCRT's microseconds", ccrt, 0.5, {0, 2, 3, 1, 4, 5}},
        {"a range past the palette is cut to it",
         crng(3, 200, 16384),
         1.0 / 60,
         {0, 1, 2, 5, 3, 4}},
    };
    for (const Case& c : cases) {
        Description description;
        description.ranges = {c.range};
        const Cycling cycling(description, 6);
        std::vector<uint8_t> palette;
        cycling.palette_at(c.seconds, numbered(6), palette);
        EXPECT_EQ(reds(palette), c.expected) << c.what;
    }
}

TEST(Cycling, LeavesRangesThatDoNotTurn) {
    Description description;
    ColourRange inactive = crng(0, 3, 16384);
    inactive.active = false;
    description.ranges = {inactive, crng(1, 4, 0), crng(2, 2, 16384), crng(7, 9, 16384)};
    EXPECT_FALSE(Cycling(description, 6).moves());
}

TEST(Cycling, TurnsDrngCellsWithTheirFixedColours) {
    // Cells 0..3: cell 0 a fixed colour (red 200), cells 1 and 3 registers 4 and 2.
    ColourRange range = crng(0, 3, 16384);
    range.kind = ColourRange::Kind::drng;
    range.cells = {1, 2, 0, 200, 0, 0, 1, 4, 3, 2};
    Description description;
    description.ranges = {range};
    const Cycling cycling(description, 6);
    ASSERT_TRUE(cycling.moves());
    // The places in cell order: fixed 200, register 4, register 2.
    std::vector<uint8_t> palette;
    cycling.palette_at(1.0 / 60, numbered(6), palette);
    EXPECT_EQ(reds(palette), (std::vector<uint8_t>{0, 1, 4, 3, 200, 5}));
    cycling.palette_at(2.0 / 60, numbered(6), palette);
    EXPECT_EQ(reds(palette), (std::vector<uint8_t>{0, 1, 200, 3, 2, 5}));
}

TEST(Cycling, KnowsWhenEveryRangeIsBackAndWhenTheNextStepIs) {
    // The ranges of a Deluxe Paint picture: 8 registers at 18.75 steps a second, 5, 4 and
    // 3 registers at 9.375: back together after 32/5 seconds.
    Description description;
    description.ranges = {crng(8, 15, 5120), crng(19, 23, 2560), crng(15, 18, 2560, true),
                          crng(29, 31, 2560)};
    const Cycling cycling(description, 32);
    const std::optional<double> period = cycling.period(60);
    ASSERT_TRUE(period.has_value());
    EXPECT_NEAR(*period, 6.4, 1e-9);
    EXPECT_FALSE(cycling.period(6.0).has_value());
    std::vector<uint8_t> start;
    std::vector<uint8_t> back;
    cycling.palette_at(0, numbered(32), start);
    cycling.palette_at(*period, numbered(32), back);
    EXPECT_EQ(start, back);
    cycling.palette_at(*period / 2, numbered(32), back);
    EXPECT_NE(start, back);
    EXPECT_NEAR(cycling.next_step(0), 1 / 18.75, 1e-12);
    EXPECT_NEAR(cycling.next_step(1 / 18.75), 2 / 18.75, 1e-12);
    EXPECT_EQ(cycling.places(1 / 18.75), (std::vector<uint32_t>{1, 0, 0, 0}));
}

// ---- Saving frames: a still's cycling, and frames that do not fit together.

class SavingFrames : public ::testing::Test {
protected:
    static orvi::Options options() {
        orvi::Options made;
        made.module_folder = MODULE_DIR;
        return made;
    }
    void TearDown() override {
        // Every path ends with nothing live.
        EXPECT_EQ(orvi::LibraryInside::pool(library_).live_blocks(), 0U);
    }
    orvi::Library library_{options()};
    testing_support::TempFolder folder_;
};

TEST_F(SavingFrames, ACyclingStillGivesAFrameAStepUntilItIsBack) {
    // Registers 1-3 at 30 steps a second: back after a tenth of a second, in 3 frames.
    const std::vector<uint8_t> indices = {0, 1, 2, 3, 3, 2, 1, 0};
    orvi::Error error;
    std::optional<orvi::Image> still =
        library_.make_palette_image(4, 2, numbered(4), indices.data(), -1, error);
    ASSERT_TRUE(still) << error.sentence;
    still->description().ranges = {crng(1, 3, 8192)};
    const orvi::Library::NextImage next = library_.cycling_frames(*still, 10);
    std::vector<std::vector<uint8_t>> reds_seen;
    double total = 0;
    while (std::optional<orvi::Image> frame = next(error)) {
        total += frame->duration();
        reds_seen.push_back(reds(frame->palette()));
        // The pixels are the turned palette's colours of the indices.
        EXPECT_EQ(frame->pixels()[3], frame->palette()[3]);
    }
    EXPECT_EQ(error.code, 0);
    EXPECT_NEAR(total, 0.1, 1e-9);
    EXPECT_EQ(reds_seen,
              (std::vector<std::vector<uint8_t>>{{0, 1, 2, 3}, {0, 3, 1, 2}, {0, 2, 3, 1}}));
}

TEST_F(SavingFrames, AFrameOfAnotherSizeIsRefusedAndNoFileIsLeft) {
    int made = 0;
    const orvi::Library::NextImage next = [&](orvi::Error& error) -> std::optional<orvi::Image> {
        if (made == 2) {
            return std::nullopt;
        }
        ++made;
        return library_.make_image(made == 1 ? 4 : 5, 4, 3, nullptr, error);
    };
    for (const char* name : {"out.gif", "out.webp"}) {
        made = 0;
        orvi::Error error;
        const std::string path = folder_.path(name);
        EXPECT_FALSE(library_.save_animation(next, path, {}, error)) << name;
        EXPECT_EQ(error.code, orvi::kDoesNotFit) << name;
        EXPECT_EQ(error.sentence, "frame 2 is 5 x 4, not the first frame's 4 x 4") << name;
        EXPECT_FALSE(std::filesystem::exists(path)) << name;
    }
}

} // namespace
