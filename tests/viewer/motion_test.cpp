// What moves in the viewer, on a clock of the test's own: an animation's frames at their
// times, the loop past the two closing frames that lead back to the start, pausing and
// stepping, a frame that cannot be drawn, and colour cycling stopped and started.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "viewer/motion.h"

namespace {

using viewer::Motion;

orvi::Library& library() {
    static orvi::Library shared([] {
        orvi::Options options;
        options.module_folder = MODULE_DIR;
        return options;
    }());
    return shared;
}

std::string data(const std::string& name) {
    return std::string(ORVI_TEST_DATA) + "/viewer/" + name;
}

// The test files' frames are each one colour: palette entry k has red 32 k.
int colour_of(const orvi::Image& image) {
    return image.pixels()[0] / 32;
}

class Moving : public ::testing::Test {
protected:
    void start(const std::string& name) {
        orvi::Error error;
        loaded_ = library().load(data(name), error);
        ASSERT_TRUE(loaded_) << error.sentence;
        motion_.start(library(), data(name), *loaded_, 0.0);
    }
    [[nodiscard]] int shown() const {
        return colour_of(motion_.frame() != nullptr ? *motion_.frame() : *loaded_);
    }
    // The frames shown at each tenth of a second (the files' frames last 6 jiffies).
    std::vector<int> play(int tenths) {
        std::vector<int> seen = {shown()};
        for (int tenth = 1; tenth < tenths; ++tenth) {
            (void)motion_.advance(tenth / 10.0 + 1e-6);
            seen.push_back(shown());
        }
        return seen;
    }
    std::optional<orvi::Image> loaded_;
    Motion motion_;
};

TEST_F(Moving, PlaysFramesAtTheirTimesAndLoops) {
    struct Case {
        const char* file;
        std::vector<int> seen;
        const char* status;
    };
    const Case cases[] = {
        // The two closing frames lead back to the first two: the loop leaves them out.
        {"loop.anim", {0, 1, 2, 3, 0, 1, 2, 3, 0}, "frame 1/4"},
        {"plain.anim", {0, 1, 2, 3, 4, 5, 0, 1, 2}, "frame 3/6"},
        // The third frame cannot be drawn: the animation is its first two.
        {"cut.anim", {0, 1, 0, 1, 0, 1, 0, 1, 0}, "frame 1/2"},
    };
    for (const Case& c : cases) {
        start(c.file);
        EXPECT_EQ(play(9), c.seen) << c.file;
        EXPECT_EQ(motion_.status(), c.status) << c.file;
        EXPECT_EQ(motion_.problem().empty(), std::string(c.file) != "cut.anim") << c.file;
    }
    EXPECT_NE(motion_.problem().find("stops at frame 2"), std::string::npos) << motion_.problem();
}

TEST_F(Moving, PausesAndStepsAFrameEitherWay) {
    start("loop.anim");
    EXPECT_TRUE(motion_.toggle_playing(0.05));
    EXPECT_FALSE(motion_.advance(5.0).frame);
    EXPECT_EQ(motion_.status(), "frame 1/6 paused");
    EXPECT_TRUE(motion_.step(false, 5.0).frame); // back from the first: the last
    EXPECT_EQ(shown(), 1);
    EXPECT_TRUE(motion_.step(true, 5.0).frame);
    EXPECT_EQ(shown(), 0);
    EXPECT_TRUE(motion_.step(true, 5.0).frame);
    EXPECT_EQ(shown(), 1);
    EXPECT_TRUE(motion_.toggle_playing(6.0));
    EXPECT_FALSE(motion_.advance(6.05).frame);
    EXPECT_TRUE(motion_.advance(6.11).frame);
    EXPECT_EQ(shown(), 2);
    EXPECT_NEAR(motion_.wait(6.11), 0.09, 1e-9); // the next is due at 6.2
}

TEST_F(Moving, CyclesColoursUntilStoppedAndGoesOnFromThere) {
    start("cycling.iff");
    ASSERT_NE(motion_.colours(), nullptr);
    EXPECT_EQ(motion_.status(), "cycling");
    EXPECT_FALSE(motion_.toggle_playing(0)); // a still
    const std::vector<uint8_t> first = *motion_.colours();
    EXPECT_EQ(first, loaded_->palette());
    // Registers 1-4 at 60 steps a second: one step after a sixtieth.
    EXPECT_FALSE(motion_.advance(0.01).colours);
    EXPECT_TRUE(motion_.advance(1.0 / 60 + 1e-6).colours);
    const std::vector<uint8_t> stepped = *motion_.colours();
    EXPECT_EQ(std::vector<uint8_t>(stepped.begin() + 3, stepped.begin() + 6),
              std::vector<uint8_t>(first.begin() + 12, first.begin() + 15)); // 4's colour in 1
    EXPECT_TRUE(motion_.toggle_cycling(0.02));
    EXPECT_EQ(motion_.status(), "");
    EXPECT_FALSE(motion_.advance(9.0).colours);
    EXPECT_EQ(*motion_.colours(), stepped); // it stands where it was stopped
    EXPECT_EQ(motion_.wait(9.0), INFINITY);
    EXPECT_TRUE(motion_.toggle_cycling(9.0));
    EXPECT_TRUE(motion_.advance(9.0 + 1.0 / 60).colours);
}

TEST_F(Moving, AStillThatDoesNotCycleDoesNotMove) {
    orvi::Error error;
    loaded_ = library().load(
        std::string(ORVI_TEST_DATA) + "/corpus/ilbm/4plane-256x256-byterun1.iff", error);
    ASSERT_TRUE(loaded_) << error.sentence;
    motion_.start(library(), "", *loaded_, 0);
    EXPECT_EQ(motion_.colours(), nullptr);
    EXPECT_FALSE(motion_.advance(3).any());
    EXPECT_EQ(motion_.wait(3), INFINITY);
    EXPECT_FALSE(motion_.toggle_cycling(3));
    EXPECT_EQ(motion_.status(), "");
}

} // namespace
