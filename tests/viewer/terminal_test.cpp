// `orvi view` in a terminal: the real command on a pseudo-terminal of a given size, its
// output compared with a golden copy, measured in cells, and its graphics sequences
// checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

struct Shown {
    int status = -1;
    std::string out;
    std::string err;
};

// A 16 x 12 card: four bands of colour over a grey ramp.
Bytes card() {
    std::string ppm = "P6\n16 12\n255\n";
    for (uint32_t y = 0; y < 12; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
            const uint8_t band[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
            const bool ramp = y >= 8;
            const auto grey = static_cast<uint8_t>(x * 17);
            for (uint32_t c = 0; c < 3; ++c) {
                ppm += static_cast<char>(ramp ? grey : band[x / 4][c]);
            }
        }
    }
    return Bytes(ppm.begin(), ppm.end());
}

// The text of a terminal's output without its escape sequences, in lines.
std::vector<std::string> visible_lines(const std::string& out) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\x1b' && i + 1 < out.size() && out[i + 1] == '[') {
            i += 2;
            while (i < out.size() && (out[i] < 0x40 || out[i] > 0x7E)) {
                ++i;
            }
        } else if (out[i] == '\n') {
            lines.emplace_back();
        } else if (out[i] != '\r') {
            lines.back() += out[i];
        }
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

// Characters, not bytes: the block symbols take three bytes of UTF-8 each.
size_t cells(const std::string& line) {
    size_t count = 0;
    for (const char c : line) {
        count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
    }
    return count;
}

class ViewerTerminal : public ::testing::Test {
protected:
    void SetUp() override { write_file(folder_.path("card.ppm"), card()); }

    // The terminal's name, as TERM, for the runs that follow.
    void set_term(const std::string& term) { term_ = term; }

    // Runs `orvi view ARGS` on a terminal of `columns` x `rows` (an xterm with 256 colours
    // and 24-bit colour), or with standard output a file when `rows` is 0.
    Shown view(const std::vector<std::string>& args, uint16_t columns, uint16_t rows) {
        Shown run;
        const std::string err = folder_.path("err");
        int terminal = -1;
        struct winsize size {};
        size.ws_col = columns;
        size.ws_row = rows;
        const pid_t pid = rows > 0 ? ::forkpty(&terminal, nullptr, nullptr, &size) : ::fork();
        if (pid == 0) {
            const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(err_fd, STDERR_FILENO);
            if (rows == 0) {
                const int out_fd =
                    ::open(folder_.path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                ::dup2(out_fd, STDOUT_FILENO);
            }
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::setenv("TERM", term_.c_str(), 1);
            ::setenv("COLORTERM", "truecolor", 1);
            if (::chdir(folder_.root().c_str()) != 0) {
                ::_exit(126);
            }
            std::vector<char*> argv = {const_cast<char*>("orvi"), const_cast<char*>("view")};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(ORVI_BINARY, argv.data());
            ::_exit(127);
        }
        if (pid < 0) {
            return run;
        }
        if (terminal >= 0) {
            char buffer[4096];
            ssize_t got = 0;
            while ((got = ::read(terminal, buffer, sizeof buffer)) > 0) {
                run.out.append(buffer, static_cast<size_t>(got));
            }
            ::close(terminal);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (rows == 0) {
            const Bytes out = read_file(folder_.path("out"));
            run.out.assign(out.begin(), out.end());
        }
        const Bytes err_bytes = read_file(err);
        run.err.assign(err_bytes.begin(), err_bytes.end());
        return run;
    }

    TempFolder folder_;
    std::string term_ = "xterm-256color";
};

TEST_F(ViewerTerminal, TheSymbolsForASmallPictureAreStable) {
    const Shown run = view({"--terminal", "--graphics", "symbols", "card.ppm"}, 40, 12);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string golden = std::string(ORVI_TEST_DATA) + "/viewer/card-40x12.txt";
    if (std::getenv("ORVI_UPDATE_GOLDEN") != nullptr) {
        write_file(golden, Bytes(run.out.begin(), run.out.end()));
    }
    const Bytes expected = read_file(golden);
    EXPECT_EQ(run.out, std::string(expected.begin(), expected.end()))
        << "(ORVI_UPDATE_GOLDEN=1 rewrites the golden copy after a deliberate change)";
}

TEST_F(ViewerTerminal, ThePictureFitsTheTerminalItIsGiven) {
    struct Case {
        uint16_t columns;
        uint16_t rows;
    };
    for (const Case c : {Case{40, 12}, Case{80, 24}, Case{20, 30}, Case{132, 50}}) {
        const Shown run =
            view({"--terminal", "--graphics", "symbols", "card.ppm"}, c.columns, c.rows);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> lines = visible_lines(run.out);
        ASSERT_GE(lines.size(), 2U);
        EXPECT_EQ(lines.back().rfind("card.ppm: PNM, 16 x 12", 0), 0U) << lines.back();
        lines.pop_back();
        size_t widest = 0;
        for (const std::string& line : lines) {
            widest = std::max(widest, cells(line));
        }
        // Within the columns and all rows but two, and touching one of those edges.
        EXPECT_LE(lines.size(), c.rows - 2U) << c.columns << "x" << c.rows;
        EXPECT_LE(widest, c.columns) << c.columns << "x" << c.rows;
        EXPECT_TRUE(lines.size() == c.rows - 2U || widest == c.columns)
            << c.columns << "x" << c.rows << ": " << widest << " x " << lines.size();
    }
}

TEST_F(ViewerTerminal, SixelsAndKittyGraphicsAreWholeSequences) {
    struct Case {
        const char* graphics;
        std::string start;
    };
    for (const Case& c : {Case{"sixels", "\x1bP"}, Case{"kitty", "\x1b_G"}}) {
        const Shown run = view({"--terminal", "--graphics", c.graphics, "card.ppm"}, 40, 12);
        ASSERT_EQ(run.status, 0) << run.err;
        const size_t name = run.out.find("card.ppm: PNM");
        ASSERT_NE(name, std::string::npos) << c.graphics;
        const std::string picture = run.out.substr(0, name);
        EXPECT_EQ(picture.rfind(c.start, 0), 0U) << c.graphics;
        // The picture's last sequence ends with the string terminator, then the line ends.
        const size_t end = picture.rfind("\x1b\\");
        ASSERT_NE(end, std::string::npos) << c.graphics;
        EXPECT_EQ(picture.substr(end + 2).find_first_not_of("\r\n"), std::string::npos)
            << c.graphics;
        if (std::string(c.graphics) == "sixels") {
            // DCS P1;P2;P3 q: the parameters, then the sixel data.
            EXPECT_EQ(picture.find_first_not_of("0123456789;", 2), picture.find('q'));
        }
    }
}

TEST_F(ViewerTerminal, WithoutADisplayOrATerminalItSaysWhatItNeeds) {
    Shown run = view({"card.ppm"}, 0, 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: view needs a display (DISPLAY or WAYLAND_DISPLAY) or a terminal on "
                       "standard output (or --size COLUMNSxROWS)\n");
    EXPECT_TRUE(run.out.empty());
    // With the size given it draws anywhere.
    run = view({"--terminal", "--graphics", "symbols", "--size", "30x10", "card.ppm"}, 0, 0);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(visible_lines(run.out).size(), 9U);
}

TEST_F(ViewerTerminal, AFileThatFailsIsNamedAndTheOthersAreDrawn) {
    write_file(folder_.path("bad.pcx"), testing_support::bytes_of("not a picture"));
    const Shown run = view({"--terminal", "--graphics", "symbols", "bad.pcx", "card.ppm"}, 40, 12);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("orvi: cannot load 'bad.pcx': ", 0), 0U) << run.err;
    EXPECT_NE(run.out.find("card.ppm: PNM, 16 x 12"), std::string::npos);
}

TEST_F(ViewerTerminal, AFolderIsShownInNameOrderOfItsPictures) {
    std::filesystem::create_directory(folder_.path("set"));
    for (const char* name : {"pic10.ppm", "pic9.ppm", "notes.txt", "pic1.ppm"}) {
        write_file(folder_.path(std::string("set/") + name),
                   std::string(name) == "notes.txt" ? testing_support::bytes_of("text") : card());
    }
    const Shown run = view({"--terminal", "--graphics", "symbols", "set"}, 40, 12);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    for (const std::string& line : visible_lines(run.out)) {
        if (line.rfind("set/", 0) == 0) {
            names.push_back(line.substr(0, line.find(':')));
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"set/pic1.ppm", "set/pic9.ppm", "set/pic10.ppm"}));
}

TEST_F(ViewerTerminal, TrueColourIsUsedWhereTheTerminalSaysItHasIt) {
    // A terminal whose entry in the database knows 256 colours, and COLORTERM says more.
    set_term("screen-256color");
    const Shown run = view({"--terminal", "--graphics", "symbols", "card.ppm"}, 40, 12);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\x1b[38;2;"), std::string::npos) << "no 24-bit colour";
    EXPECT_EQ(run.out.find("\x1b[38;5;"), std::string::npos) << "256 colours";
}

TEST_F(ViewerTerminal, NamesThatAreNotFilesAreRefusedBeforeAnythingIsShown) {
    ASSERT_EQ(::mkfifo(folder_.path("pipe.ppm").c_str(), 0600), 0);
    Shown run = view({"--terminal", "--graphics", "symbols", "pipe.ppm", "card.ppm"}, 40, 12);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "orvi: cannot show 'pipe.ppm': it is not a file (a pipe or a device); "
                       "'orvi convert' reads those\n");
    EXPECT_NE(run.out.find("card.ppm: PNM, 16 x 12"), std::string::npos);
    // A folder that is not there is said, with or without a display or a terminal.
    run = view({"pictures/"}, 0, 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot show 'pictures/': it does not exist\norvi: no pictures to "
                       "show\n");
}

TEST_F(ViewerTerminal, APictureWithGapsSaysSoUnderIt) {
    std::string pam = "P7\nWIDTH 4\nHEIGHT 4\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n";
    pam += std::string(12, '\x7f'); // one row of four
    write_file(folder_.path("cut.pam"), testing_support::bytes_of(pam));
    const Shown run = view({"--terminal", "--graphics", "symbols", "cut.pam"}, 40, 12);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("incomplete: the image data ends at row 1 of 4"), std::string::npos)
        << run.out;
}

TEST_F(ViewerTerminal, TheSizeGivenIsBoundedToWhatATerminalShows) {
    Shown run = view({"--size", "10000x5000", "card.ppm"}, 0, 0);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("orvi: --size takes COLUMNSxROWS (columns 1..1000, rows 1..500)", 0),
              0U)
        << run.err;
    // The largest size, in sixels: a canvas within the memory it may take.
    run = view({"--terminal", "--graphics", "sixels", "--size", "1000x500", "card.ppm"}, 0, 0);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("\x1bP", 0), 0U);
}

} // namespace
