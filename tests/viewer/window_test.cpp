// The viewer's window as a person uses it: `orvi view` on an X server of its own (Xvfb),
// keys sent with xdotool, and what is on screen read back with xwd and compared with the
// pictures' pixels. Skipped with a message where Xvfb, xdotool or xwd is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "viewer/font.h"

namespace {

using namespace testing_support;

// A picture in the test's hands: 0xRRGGBB a pixel.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
    [[nodiscard]] uint32_t at(uint32_t x, uint32_t y) const { return pixels[y * width + x]; }
};

// Every pixel a colour of its own, so that a pixel on screen tells where it came from.
Picture test_card(uint32_t width, uint32_t height, uint8_t blue) {
    Picture picture{width, height, {}};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            picture.pixels.push_back((40 + 5 * x) << 16U | (30 + 7 * y) << 8U | blue);
        }
    }
    return picture;
}

Picture turned_clockwise(const Picture& in) {
    Picture out{in.height, in.width, {}};
    for (uint32_t y = 0; y < out.height; ++y) {
        for (uint32_t x = 0; x < out.width; ++x) {
            out.pixels.push_back(in.at(y, in.height - 1 - x));
        }
    }
    return out;
}

Picture flipped_left_right(const Picture& in) {
    Picture out{in.width, in.height, {}};
    for (uint32_t y = 0; y < out.height; ++y) {
        for (uint32_t x = 0; x < out.width; ++x) {
            out.pixels.push_back(in.at(in.width - 1 - x, y));
        }
    }
    return out;
}

Bytes ppm_of(const Picture& picture) {
    const std::string header =
        "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
    Bytes bytes(header.begin(), header.end());
    for (const uint32_t pixel : picture.pixels) {
        bytes.insert(bytes.end(), {static_cast<uint8_t>(pixel >> 16U),
                                   static_cast<uint8_t>(pixel >> 8U), static_cast<uint8_t>(pixel)});
    }
    return bytes;
}

// Whether a PPM file written by orvi (which adds a comment) holds `picture`.
bool holds(const Bytes& file, const Picture& picture) {
    const Bytes expected = ppm_of(picture);
    const std::string text(file.begin(), file.end());
    const size_t samples = size_t{picture.width} * picture.height * 3;
    return file.size() > samples &&
           text.find("\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) +
                     "\n255\n") != std::string::npos &&
           std::equal(expected.end() - static_cast<ptrdiff_t>(samples), expected.end(),
                      file.end() - static_cast<ptrdiff_t>(samples));
}

uint32_t big_endian(const Bytes& bytes, size_t at) {
    return uint32_t{bytes[at]} << 24U | uint32_t{bytes[at + 1]} << 16U |
           uint32_t{bytes[at + 2]} << 8U | bytes[at + 3];
}

// An xwd dump of a window: a header of 25 big-endian words, the window's name, the
// colour map and the pixels, 32 bits each here (a TrueColor visual).
std::optional<Picture> read_xwd(const Bytes& bytes) {
    if (bytes.size() < 100) {
        return std::nullopt;
    }
    const uint32_t header_size = big_endian(bytes, 0);
    const uint32_t width = big_endian(bytes, 16);
    const uint32_t height = big_endian(bytes, 20);
    const uint32_t byte_order = big_endian(bytes, 28);
    const uint32_t bits_per_pixel = big_endian(bytes, 44);
    const uint32_t bytes_per_line = big_endian(bytes, 48);
    const uint32_t masks[3] = {big_endian(bytes, 56), big_endian(bytes, 60), big_endian(bytes, 64)};
    const uint32_t colours = big_endian(bytes, 76);
    const uint64_t start = uint64_t{header_size} + uint64_t{colours} * 12;
    if (bits_per_pixel != 32 || start + uint64_t{bytes_per_line} * height > bytes.size()) {
        return std::nullopt;
    }
    Picture shot{width, height, {}};
    shot.pixels.reserve(uint64_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t at = start + size_t{y} * bytes_per_line + size_t{x} * 4;
            const uint32_t value = byte_order == 0
                                       ? uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8U |
                                             uint32_t{bytes[at + 2]} << 16U |
                                             uint32_t{bytes[at + 3]} << 24U
                                       : big_endian(bytes, at);
            uint32_t rgb = 0;
            for (const uint32_t mask : masks) {
                rgb = rgb << 8U | ((value & mask) >> __builtin_ctz(mask) & 0xFFU);
            }
            shot.pixels.push_back(rgb);
        }
    }
    return shot;
}

// Whether `picture` is on screen, each pixel a square of `zoom` screen pixels.
bool shows(const Picture& shot, const Picture& picture, uint32_t zoom) {
    const uint32_t first = picture.at(0, 0);
    const uint32_t width = picture.width * zoom;
    const uint32_t height = picture.height * zoom;
    for (uint32_t top = 0; top + height <= shot.height; ++top) {
        for (uint32_t left = 0; left + width <= shot.width; ++left) {
            if (shot.at(left, top) != first || (left > 0 && shot.at(left - 1, top) == first) ||
                (top > 0 && shot.at(left, top - 1) == first)) {
                continue;
            }
            bool all = true;
            for (uint32_t y = 0; all && y < height; ++y) {
                for (uint32_t x = 0; all && x < width; ++x) {
                    all = shot.at(left + x, top + y) == picture.at(x / zoom, y / zoom);
                }
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

// A picture wider than a texture of the reduced copy's limit, each pixel's colour
// saying where it is: red and green the column, blue the row.
Picture wide_card() {
    Picture picture{2400, 20, {}};
    for (uint32_t y = 0; y < picture.height; ++y) {
        for (uint32_t x = 0; x < picture.width; ++x) {
            picture.pixels.push_back((x & 0xFFU) << 16U | (x >> 8U) << 8U | (y * 10 + 5));
        }
    }
    return picture;
}

// Whether the window shows the wide card at 1:1 across its whole width, pixel for pixel,
// and which column is at its left edge.
std::optional<uint32_t> shows_wide_card(const Picture& shot, const Picture& card) {
    for (uint32_t top = 0; top + card.height <= shot.height; ++top) {
        const uint32_t first = shot.at(0, top);
        const uint32_t left = (first >> 16U & 0xFFU) | (first >> 8U & 0xFFU) << 8U;
        if ((first & 0xFFU) != 5 || left + shot.width > card.width) {
            continue;
        }
        bool all = true;
        for (uint32_t y = 0; all && y < card.height; ++y) {
            for (uint32_t x = 0; all && x < shot.width; ++x) {
                all = shot.at(x, top + y) == card.at(left + x, y);
            }
        }
        if (all) {
            return left;
        }
    }
    return std::nullopt;
}

// Whether `text` is written on screen in the viewer's font, in any one colour.
bool shows_text(const Picture& shot, const std::string& text) {
    const viewer::TextImage mask = viewer::text_image({text}, 1, 0, 0);
    size_t first_ink = 0;
    while (first_ink < mask.pixels.size() && mask.pixels[first_ink] == 0) {
        ++first_ink;
    }
    const auto ink_x = static_cast<uint32_t>(first_ink % mask.width);
    const auto ink_y = static_cast<uint32_t>(first_ink / mask.width);
    for (uint32_t top = 0; top + mask.height <= shot.height; ++top) {
        for (uint32_t left = 0; left + mask.width <= shot.width; ++left) {
            const uint32_t ink = shot.at(left + ink_x, top + ink_y);
            bool all = true;
            for (uint32_t y = 0; all && y < mask.height; ++y) {
                for (uint32_t x = 0; all && x < mask.width; ++x) {
                    all = (shot.at(left + x, top + y) == ink) ==
                          (mask.pixels[y * mask.width + x] != 0);
                }
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

// An X server for the suite, on a display number it chooses itself; it is not reset
// when its last client leaves (a window opened just then would be lost).
class Display {
public:
    explicit Display(const char* screen) {
        for (const char* program : {"Xvfb", "xdotool", "xwd"}) {
            if (!have_program(program)) {
                missing_ =
                    std::string(program) + " is not installed (Debian: xvfb, xdotool, x11-apps)";
                return;
            }
        }
        int channel[2];
        if (::pipe(channel) != 0) {
            missing_ = "no pipe for Xvfb";
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(channel[0]);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(channel[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten",
                     "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(channel[1]);
        std::string number;
        char c = 0;
        while (::read(channel[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(channel[0]);
        if (number.empty()) {
            missing_ = "Xvfb did not start";
            return;
        }
        name_ = ":" + number;
    }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    ~Display() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    [[nodiscard]] const std::string& missing() const { return missing_; }
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string missing_;
    std::string name_;
};

// The suite's screen, and a small one (800 x 600) for a window that must fit it.
Display& display() {
    static Display server("1280x1024x24");
    ::setenv("DISPLAY", server.name().c_str(), 1);
    return server;
}

Display& small_display() {
    static Display server("800x600x24");
    return server;
}

// Waits up to 20 seconds for `done`, trying every 50 ms.
bool eventually(const std::function<bool()>& done) {
    for (int tries = 0; tries < 400; ++tries) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class ViewerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display().missing().empty()) {
            GTEST_SKIP() << "the window is not tested: " << display().missing();
        }
        write_file(folder_.path("a.ppm"), ppm_of(a_));
        write_file(folder_.path("b.ppm"), ppm_of(b_));
    }

    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Starts `orvi view` with these arguments and waits for its window; on the suite's
    // screen, or another one.
    void open(const std::vector<std::string>& arguments, const Display* screen = nullptr) {
        screen_ = screen != nullptr ? screen : &display();
        ::setenv("DISPLAY", screen_->name().c_str(), 1);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("SDL_RENDER_DRIVER", "software", 1);
            // Under the sanitizers: SDL loads the X libraries itself and unloads them when
            // it quits, so what they keep for the process's life can no longer be named
            // and suppressed; leaks are looked for everywhere else.
            ::setenv("LSAN_OPTIONS", "detect_leaks=0", 1);
            const int log = ::open(folder_.path("view.log").c_str(), O_WRONLY | O_CREAT, 0600);
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
            if (::chdir(folder_.root().c_str()) != 0) {
                ::_exit(126);
            }
            std::vector<char*> argv = {const_cast<char*>("orvi"), const_cast<char*>("view")};
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(ORVI_BINARY, argv.data());
            ::_exit(127);
        }
        ASSERT_TRUE(eventually([&] {
            const auto found = run_capture("xdotool search --onlyvisible --pid " +
                                           std::to_string(pid_) + " 2>/dev/null");
            window_ = found ? found->substr(0, found->find('\n')) : "";
            // Still there a moment later: the one the pointer and keys will go to.
            return !window_.empty() &&
                   std::system(
                       ("xdotool getwindowgeometry " + window_ + " >/dev/null 2>&1").c_str()) == 0;
        })) << "no window appeared; the command said: "
            << said();
        // Keys go where the pointer is (there is no window manager to give focus).
        ASSERT_EQ(std::system(("xdotool mousemove --window " + window_ + " 20 20").c_str()), 0);
    }

    [[nodiscard]] std::string said() const {
        const Bytes log = read_file(folder_.path("view.log"));
        int status = 0;
        const bool ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
        return std::string(log.begin(), log.end()) +
               (ended ? " (ended with status " + std::to_string(status) + ")" : " (running)");
    }

    void press(const std::string& key) {
        ASSERT_EQ(std::system(("xdotool key " + key).c_str()), 0) << key;
    }

    [[nodiscard]] Picture screenshot() const {
        const std::string path = folder_.path("shot.xwd");
        if (std::system(("xwd -silent -id " + window_ + " > " + shell_quote(path)).c_str()) != 0) {
            return {};
        }
        return read_xwd(read_file(path)).value_or(Picture{});
    }

    // Waits for the window to show `picture` at `zoom`; says what it showed otherwise.
    void expect_shown(const Picture& picture, uint32_t zoom, const std::string& after) {
        EXPECT_TRUE(eventually([&] { return shows(screenshot(), picture, zoom); }))
            << "not shown at " << zoom << "x after " << after;
    }

    [[nodiscard]] std::string title() const {
        return run_capture("xdotool getwindowname " + window_).value_or("");
    }

    TempFolder folder_;
    const Picture a_ = test_card(40, 30, 90);
    const Picture b_ = test_card(40, 30, 200);
    pid_t pid_ = -1;
    std::string window_;
    const Display* screen_ = nullptr;
};

TEST_F(ViewerWindow, ShowsThePixelsFittedAt1To1AndZoomed) {
    open({"a.ppm"});
    // 40 x 30 in the 1024 x 640 picture area: 21 window pixels a picture pixel.
    expect_shown(a_, 21, "opening");
    press("1");
    expect_shown(a_, 1, "1");
    press("plus");
    expect_shown(a_, 2, "+");
    press("minus");
    expect_shown(a_, 1, "-");
    EXPECT_NE(title().find("a.ppm (1/1)"), std::string::npos) << title();
}

TEST_F(ViewerWindow, ALargePictureIsShownPixelForPixelAcrossItsTextures) {
    const Picture card = wide_card();
    write_file(folder_.path("wide.ppm"), ppm_of(card));
    open({"wide.ppm"});
    press("1");
    std::optional<uint32_t> left;
    EXPECT_TRUE(eventually([&] {
        return (left = shows_wide_card(screenshot(), card)).has_value();
    })) << "not shown at 1:1";
    // Four steps right of the middle the window spans the textures' seam at column 2048.
    for (int step = 0; step < 4; ++step) {
        press("Right");
    }
    // The steps may land over several frames: wait for the window to reach the seam.
    std::optional<uint32_t> moved;
    EXPECT_TRUE(eventually([&] {
        moved = shows_wide_card(screenshot(), card);
        return moved && left && *moved > *left && *moved + 1024 > 2048U;
    })) << "not moved right to the seam";
    if (moved) {
        EXPECT_LT(*moved, 2048U);
    }
}

TEST_F(ViewerWindow, TransparencyShowsOverACheckerboard) {
    // 16 x 16: the left half opaque red, the right half clear blue.
    Bytes pam = bytes_of("P7\nWIDTH 16\nHEIGHT 16\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n");
    Picture expected{16, 16, {}};
    for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
            const bool clear = x >= 8;
            pam.insert(pam.end(), {static_cast<uint8_t>(clear ? 0 : 255), 0,
                                   static_cast<uint8_t>(clear ? 255 : 0),
                                   static_cast<uint8_t>(clear ? 0 : 255)});
            const uint32_t check = ((x / 8 + y / 8) & 1U) != 0 ? 0xCCU : 0x99U;
            expected.pixels.push_back(clear ? check * 0x010101U : 0xFF0000U);
        }
    }
    write_file(folder_.path("clear.pam"), pam);
    open({"clear.pam"});
    press("1");
    expect_shown(expected, 1, "1");
}

TEST_F(ViewerWindow, StepsToTheNextPictureAndBack) {
    open({"a.ppm", "b.ppm"});
    expect_shown(a_, 21, "opening");
    press("space");
    expect_shown(b_, 21, "Space");
    EXPECT_NE(title().find("b.ppm (2/2)"), std::string::npos) << title();
    press("space"); // at the end it stays
    press("BackSpace");
    expect_shown(a_, 21, "Backspace");
    press("End");
    expect_shown(b_, 21, "End");
    press("Home");
    expect_shown(a_, 21, "Home");
}

TEST_F(ViewerWindow, TurnsFlipsAndUndoesEveryChange) {
    open({"a.ppm"});
    press("1");
    expect_shown(a_, 1, "1");
    const Picture turned = turned_clockwise(a_);
    press("r");
    expect_shown(turned, 1, "r");
    press("h");
    expect_shown(flipped_left_right(turned), 1, "r h");
    press("u");
    expect_shown(a_, 1, "u");
    press("R"); // anticlockwise: three turns clockwise
    expect_shown(turned_clockwise(turned_clockwise(turned)), 1, "R");
    press("u");
    expect_shown(a_, 1, "u");
}

TEST_F(ViewerWindow, ADamagedFileShowsItsErrorAndTheListGoesOn) {
    write_file(folder_.path("damaged.pcx"), testing_support::bytes_of("no picture here"));
    open({"damaged.pcx", "a.ppm"});
    EXPECT_TRUE(eventually([&] { return shows_text(screenshot(), "cannot load 'damaged.pcx':"); }))
        << "no error text";
    press("n"); // nothing to negate: the error stays
    press("space");
    expect_shown(a_, 21, "Space");
}

TEST_F(ViewerWindow, SavesAsShownBesideTheFileAndReplacesOnlyOnASecondPress) {
    open({"a.ppm"});
    expect_shown(a_, 21, "opening");
    press("r");
    press("s");
    const std::string saved = folder_.path("a-orvi.ppm");
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(saved); })) << "nothing saved";
    EXPECT_TRUE(eventually([&] { return holds(read_file(saved), turned_clockwise(a_)); }));
    press("u");
    press("s"); // the file is there: asks first
    EXPECT_TRUE(
        eventually([&] { return shows_text(screenshot(), "press s again to replace it"); }));
    EXPECT_TRUE(holds(read_file(saved), turned_clockwise(a_)));
    press("s");
    EXPECT_TRUE(eventually([&] { return holds(read_file(saved), a_); })) << "not replaced";
    EXPECT_EQ(read_file(folder_.path("a.ppm")), ppm_of(a_));
}

TEST_F(ViewerWindow, ASlideshowStepsByItself) {
    open({"--slideshow", "0.2", "a.ppm", "b.ppm"});
    expect_shown(b_, 21, "waiting");
    expect_shown(a_, 21, "waiting on (it starts again)");
}

TEST_F(ViewerWindow, QuitsOnQAndEscape) {
    for (const char* key : {"q", "Escape"}) {
        open({"a.ppm"});
        expect_shown(a_, 21, "opening");
        press(key);
        int status = -1;
        EXPECT_TRUE(eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; })) << key;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << key;
        pid_ = -1;
    }
}

TEST_F(ViewerWindow, TheKeyListClosesOnEscapeHidesWhatIsBelowAndQStillQuits) {
    write_file(folder_.path("damaged.pcx"), testing_support::bytes_of("no picture here"));
    open({"damaged.pcx", "a.ppm"});
    ASSERT_TRUE(eventually([&] { return shows_text(screenshot(), "cannot load 'damaged.pcx':"); }));
    press("question");
    EXPECT_TRUE(eventually([&] { return shows_text(screenshot(), "close this list, else quit"); }));
    EXPECT_FALSE(shows_text(screenshot(), "cannot load 'damaged.pcx':"))
        << "the error shows through the list of keys";
    press("Escape");
    EXPECT_TRUE(eventually([&] { return shows_text(screenshot(), "cannot load 'damaged.pcx':"); }))
        << "Escape closes the list";
    EXPECT_NE(::waitpid(pid_, nullptr, WNOHANG), pid_) << "Escape with the list shown quits";
    press("question");
    press("q");
    int status = -1;
    EXPECT_TRUE(eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
        << "q with the list shown does not quit";
    pid_ = -1;
}

TEST_F(ViewerWindow, SigtermEndsTheViewer) {
    open({"a.ppm"});
    expect_shown(a_, 21, "opening");
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    int status = -1;
    EXPECT_TRUE(eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    pid_ = -1;
}

TEST_F(ViewerWindow, SavesAPamAsPam) {
    std::string pam = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n";
    pam += std::string("\x10\x20\x30\x40\x50\x60", 6);
    write_file(folder_.path("p.pam"), testing_support::bytes_of(pam));
    open({"p.pam"});
    ASSERT_TRUE(eventually([&] { return shows_text(screenshot(), "p.pam: PNM"); })) << said();
    press("s");
    const std::string saved = folder_.path("p-orvi.pam");
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(saved); })) << said();
    const Bytes written = read_file(saved);
    EXPECT_EQ(std::string(written.begin(), written.begin() + 3), "P7\n");
}

TEST_F(ViewerWindow, TheWindowFitsASmallScreenAndItsStatusLineKeepsTheZoom) {
    if (!small_display().missing().empty() || small_display().name().empty()) {
        GTEST_SKIP() << "no second X server: " << small_display().missing();
    }
    const std::string name = "a-picture-whose-name-is-long-enough-to-fill-a-status-line.ppm";
    write_file(folder_.path(name), ppm_of(a_));
    open({name}, &small_display());
    const auto geometry = run_capture("xdotool getwindowgeometry " + window_);
    ASSERT_TRUE(geometry);
    unsigned width = 0;
    unsigned height = 0;
    const size_t at = geometry->find("Geometry: ");
    ASSERT_NE(at, std::string::npos) << *geometry;
    ASSERT_EQ(std::sscanf(geometry->c_str() + at, "Geometry: %ux%u", &width, &height), 2);
    EXPECT_LE(width, 800U);
    EXPECT_LE(height, 600U);
    EXPECT_TRUE(eventually([&] { return shows_text(screenshot(), "zoom "); }))
        << "the zoom is cut off the status line";
}

// ---- What moves: colour cycling and animations (the test files' palette entry k has
// red 32 k, green 255 - 32 k and blue 100).

std::string viewer_data(const std::string& name) {
    return std::string(ORVI_TEST_DATA) + "/viewer/" + name;
}

int entry_of(uint32_t colour) {
    return (colour & 0xFFU) == 100 ? static_cast<int>(colour >> 16U) / 32 : -1;
}

// The window's picture area (above the status line) of two screenshots.
struct TwoShots {
    Picture before;
    Picture after;
    [[nodiscard]] bool differ() const {
        const auto area = static_cast<ptrdiff_t>(size_t{before.width} * 600);
        return std::ssize(before.pixels) >= area && std::ssize(after.pixels) >= area &&
               !std::equal(before.pixels.begin(), before.pixels.begin() + area,
                           after.pixels.begin());
    }
};

TEST_F(ViewerWindow, CyclesTheRangesColoursAloneAndTabStopsAndStartsIt) {
    // (Under a name that does not say "cycling" itself, as the status line does.)
    write_file(folder_.path("ranges.iff"), read_file(viewer_data("cycling.iff")));
    open({"ranges.iff"});
    ASSERT_TRUE(eventually([&] { return shows_text(screenshot(), "cycling"); })) << said();
    TwoShots shots;
    ASSERT_TRUE(eventually([&] {
        shots = {screenshot(), {}};
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        shots.after = screenshot();
        return shots.differ();
    })) << "the colours did not move";
    // Registers 1 to 4 turn; 0, 5, 6 and 7 stay where they are.
    size_t moved = 0;
    for (size_t i = 0; i < size_t{shots.before.width} * 600; ++i) {
        const int before = entry_of(shots.before.pixels[i]);
        const int after = entry_of(shots.after.pixels[i]);
        if (before != after) {
            ++moved;
            EXPECT_TRUE(before >= 1 && before <= 4 && after >= 1 && after <= 4)
                << "pixel " << i << ": entry " << before << " became " << after;
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_GT(moved, 0U);
    press("Tab");
    ASSERT_TRUE(eventually([&] { return !shows_text(screenshot(), "cycling"); }));
    const Picture stopped = screenshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE((TwoShots{stopped, screenshot()}.differ())) << "it moved after Tab";
    press("Tab");
    EXPECT_TRUE(eventually([&] { return shows_text(screenshot(), "cycling"); }));
}

TEST_F(ViewerWindow, PlaysAnAnimationPausesItAndStepsAFrame) {
    write_file(folder_.path("plain.anim"), read_file(viewer_data("plain.anim")));
    open({"plain.anim"});
    // Six frames of a tenth of a second, each one colour: the middle shows them in turn.
    std::vector<int> seen;
    EXPECT_TRUE(eventually([&] {
        const int frame = entry_of(screenshot().at(512, 320));
        if (frame >= 0 && (seen.empty() || seen.back() != frame)) {
            seen.push_back(frame);
        }
        return seen.size() >= 4;
    })) << "the frames did not change";
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_NE(seen[i], seen[i - 1]);
    }
    press("p");
    ASSERT_TRUE(eventually([&] { return shows_text(screenshot(), "paused"); }));
    const Picture paused = screenshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE((TwoShots{paused, screenshot()}.differ())) << "it played on when paused";
    const int frame = entry_of(paused.at(512, 320));
    press("period");
    EXPECT_TRUE(eventually([&] { return entry_of(screenshot().at(512, 320)) == (frame + 1) % 6; }))
        << "frame " << frame << " did not step on";
    press("comma");
    EXPECT_TRUE(eventually([&] { return entry_of(screenshot().at(512, 320)) == frame; }));
}

} // namespace
