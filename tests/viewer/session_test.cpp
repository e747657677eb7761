// The viewer's session without a window: stepping through the list, the keys that change
// the picture and undo it, the save rules and the replace that waits for a second press,
// the list of keys, and the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/files.h"
#include "viewer/session.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;
using testing_support::read_file;
using testing_support::write_file;
using viewer::Action;
using viewer::Session;
using viewer::Size;

constexpr Size kArea{400, 300};

// A 3 x 2 picture of six colours.
Bytes ppm() {
    std::string file = "P6\n3 2\n255\n";
    for (int i = 0; i < 6; ++i) {
        file += {static_cast<char>(40 * i), static_cast<char>(200 - 30 * i), 7};
    }
    return bytes_of(file);
}

orvi::Options with_modules() {
    orvi::Options options;
    options.module_folder = MODULE_DIR;
    return options;
}

class ViewerSession : public ::testing::Test {
protected:
    // A session over `names` (files of the test's folder), at the first, loaded.
    void start(const std::vector<std::string>& names) {
        std::vector<std::string> files;
        for (const std::string& name : names) {
            files.push_back(folder_.path(name));
        }
        loader_ = std::make_unique<viewer::Loader>(library_, files, [] {});
        session_ = std::make_unique<Session>(library_, *loader_);
        (void)session_->go(0);
        wait_for_load();
    }

    void wait_for_load() {
        for (int tries = 0; tries < 400 && !session_->entry(); ++tries) {
            (void)session_->loaded();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(session_->entry()) << "the picture never loaded";
    }

    Session& session() { return *session_; }

    void TearDown() override {
        session_.reset();
        loader_.reset();
    }

    testing_support::TempFolder folder_;
    orvi::Library library_{with_modules()};
    std::unique_ptr<viewer::Loader> loader_;
    std::unique_ptr<Session> session_;
};

TEST_F(ViewerSession, StepsThroughTheListAndStaysInIt) {
    for (const char* name : {"a.ppm", "b.ppm", "c.ppm"}) {
        write_file(folder_.path(name), ppm());
    }
    start({"a.ppm", "b.ppm", "c.ppm"});
    const struct {
        Action action;
        size_t index;
    } steps[] = {{Action::Previous, 0},
                 {Action::Next, 1},
                 {Action::Last, 2},
                 {Action::Next, 2},
                 {Action::First, 0}};
    for (const auto& step : steps) {
        const Session::Effect effect = session().act(step.action, kArea);
        EXPECT_EQ(session().index(), step.index) << static_cast<int>(step.action);
        EXPECT_TRUE(effect.moved && effect.new_picture);
    }
}

TEST_F(ViewerSession, KeysChangeACopyThatUndoGivesBack) {
    write_file(folder_.path("a.ppm"), ppm());
    start({"a.ppm"});
    const orvi::Image* loaded = session().shown();
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(session().act(Action::RotateClockwise, kArea).new_picture);
    EXPECT_TRUE(session().changed());
    EXPECT_EQ(session().shown()->width(), 2U);
    EXPECT_EQ(session().picture_size().width, 2U);
    EXPECT_NE(session().status(200).find("(changed: 2 x 3)"), std::string::npos);
    EXPECT_TRUE(session().act(Action::Grey, kArea).new_picture);
    EXPECT_FALSE(session().act(Action::Grey, kArea).new_picture);
    EXPECT_EQ(session().message(), "the picture is grey already");
    EXPECT_TRUE(session().act(Action::Undo, kArea).new_picture);
    EXPECT_FALSE(session().changed());
    EXPECT_EQ(session().shown(), loaded);
    EXPECT_EQ(session().message(), "");
}

TEST_F(ViewerSession, SavesBesideTheFileInItsKindAndReplacesOnlyOnASecondPress) {
    write_file(folder_.path("a.ppm"), ppm());
    std::string pam = "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n";
    pam += "abc";
    write_file(folder_.path("p.pam"), bytes_of(pam));
    start({"a.ppm", "p.pam"});
    const std::string saved = folder_.path("a-orvi.ppm");
    (void)session().act(Action::RotateClockwise, kArea);
    (void)session().act(Action::Save, kArea);
    EXPECT_EQ(session().message(), "saved as '" + saved + "'");
    const Bytes turned = read_file(saved);
    (void)session().act(Action::Undo, kArea);
    (void)session().act(Action::Save, kArea);
    EXPECT_EQ(session().message(), "'" + saved + "' exists: press s again to replace it");
    EXPECT_EQ(read_file(saved), turned) << "replaced at the first press";
    (void)session().act(Action::Save, kArea);
    EXPECT_NE(read_file(saved), turned) << "not replaced at the second press";
    // Another key between the presses asks again.
    (void)session().act(Action::Save, kArea);
    (void)session().act(Action::Negate, kArea);
    (void)session().act(Action::Save, kArea);
    EXPECT_NE(session().message().find("press s again"), std::string::npos);
    // A PAM is saved as PAM.
    (void)session().act(Action::Next, kArea);
    wait_for_load();
    EXPECT_EQ(session().save_target(), folder_.path("p-orvi.pam"));
    (void)session().act(Action::Save, kArea);
    const Bytes written = read_file(folder_.path("p-orvi.pam"));
    ASSERT_GE(written.size(), 3U);
    EXPECT_EQ(std::string(written.begin(), written.begin() + 3), "P7\n");
}

TEST_F(ViewerSession, TheKeyListClosesOnEscapeOrAnyKeyAndQQuitsFromIt) {
    write_file(folder_.path("a.ppm"), ppm());
    start({"a.ppm"});
    EXPECT_FALSE(session().act(Action::Help, kArea).quit);
    EXPECT_TRUE(session().help());
    EXPECT_FALSE(session().act(Action::Back, kArea).quit) << "Escape closes the list";
    EXPECT_FALSE(session().help());
    EXPECT_TRUE(session().act(Action::Back, kArea).quit) << "and quits without it";
    (void)session().act(Action::Help, kArea);
    EXPECT_TRUE(session().act(Action::Quit, kArea).quit);
    (void)session().act(Action::Help, kArea);
    EXPECT_TRUE(session().act(Action::RotateClockwise, kArea).new_picture)
        << "another key closes the list and does what it does";
    EXPECT_FALSE(session().help());
}

// A 2 x 2 ILBM of 1 plane whose pixels are 10:11 and whose name is "Tall".
Bytes tall_ilbm() {
    const auto chunk = [](const char* id, const Bytes& data) {
        Bytes out = bytes_of(std::string(id, 4));
        for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
            out.push_back(static_cast<uint8_t>(data.size() >> shift));
        }
        out.insert(out.end(), data.begin(), data.end());
        return out;
    };
    Bytes form = bytes_of("ILBM");
    for (const Bytes& part :
         {chunk("BMHD", {0, 2, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 10, 11, 0, 2, 0, 2}),
          chunk("CMAP", {0, 0, 0, 250, 250, 250}), chunk("NAME", bytes_of("Tall")),
          chunk("BODY", {0x80, 0, 0x40, 0})}) {
        form.insert(form.end(), part.begin(), part.end());
    }
    Bytes file = bytes_of("FORM");
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        file.push_back(static_cast<uint8_t>(form.size() >> shift));
    }
    file.insert(file.end(), form.begin(), form.end());
    return file;
}

TEST_F(ViewerSession, PixelsTakeTheirShapeOnAKeyAndTheFilesWordsAreListedOnAnother) {
    write_file(folder_.path("tall.iff"), tall_ilbm());
    write_file(folder_.path("a.ppm"), ppm());
    start({"tall.iff", "a.ppm"});
    EXPECT_EQ(session().stretch(), 1.0) << "square until asked";
    EXPECT_TRUE(session().act(Action::Aspect, kArea).new_picture);
    EXPECT_DOUBLE_EQ(session().stretch(), 1.1);
    EXPECT_NE(session().status(200).find("pixels 10:11"), std::string::npos);
    (void)session().act(Action::Aspect, kArea);
    EXPECT_EQ(session().stretch(), 1.0);
    (void)session().act(Action::About, kArea);
    ASSERT_TRUE(session().about());
    const std::vector<std::string> lines = session().about_lines();
    EXPECT_EQ(lines.front(), "tall.iff");
    for (const char* line : {"name: Tall", "aspect: 10:11", "palette entries: 2", "planes: 1"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
    EXPECT_FALSE(session().act(Action::About, kArea).quit) << "i again closes it";
    EXPECT_FALSE(session().about());
    // Square pixels say so.
    (void)session().act(Action::Next, kArea);
    wait_for_load();
    (void)session().act(Action::Aspect, kArea);
    EXPECT_EQ(session().stretch(), 1.0);
    EXPECT_EQ(session().message(), "the file gives its pixels no shape: they are square");
}

TEST_F(ViewerSession, TheStatusLineCutsTheDetailsNeverThePlaceOrTheZoom) {
    const std::string name = "a-picture-whose-name-is-long-enough-to-fill-any-status-line.ppm";
    write_file(folder_.path(name), ppm());
    write_file(folder_.path("broken.pcx"), bytes_of("not a picture at all"));
    start({name, "broken.pcx"});
    (void)session().act(Action::Actual, kArea);
    const std::string line = session().status(48);
    EXPECT_LE(line.size(), 48U) << line;
    EXPECT_EQ(line.rfind("1/2  ", 0), 0U) << line;
    EXPECT_TRUE(line.ends_with("...  zoom 100%")) << line;
    EXPECT_NE(session().status(400).find(": PNM, 3 x 2, 24 bits per pixel"), std::string::npos);
    (void)session().act(Action::Next, kArea);
    wait_for_load();
    EXPECT_EQ(session().shown(), nullptr);
    EXPECT_EQ(session().centre_text().rfind("cannot load 'broken.pcx': ", 0), 0U)
        << session().centre_text();
    EXPECT_EQ(session().status(80), "2/2  broken.pcx");
}

} // namespace
