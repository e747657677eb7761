// The command for everyday use end to end: PNG files, pipes, many files at once, fewer
// colours and the details of `orvi info`, as text and as JSON.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "png/png_file.h"
#include "tests/cli/orvi_run.h"

namespace {

using namespace testing_support;

const Bytes kHeader = bytes_of("P6\n#Created with Orvi\n");

Bytes ppm(const std::string& size, const Bytes& pixels) {
    return concat(bytes_of("P6\n" + size + "\n255\n"), pixels);
}

Bytes saved(const std::string& size, const Bytes& pixels) {
    return concat(concat(kHeader, bytes_of(size + "\n255\n")), pixels);
}

// A 16 x 8 picture of many colours.
Bytes many_colours() {
    Bytes pixels;
    for (int i = 0; i < 16 * 8; ++i) {
        pixels.insert(pixels.end(), {static_cast<uint8_t>(i * 2), static_cast<uint8_t>(255 - i),
                                     static_cast<uint8_t>(i * 7)});
    }
    return pixels;
}

class OrviEveryday : public testing_support::OrviRun {};

TEST_F(OrviEveryday, PngRoundTripsKeepEveryPixel) {
    const Bytes colour = many_colours();
    const Bytes grey = {0, 0, 0, 90, 90, 90, 255, 255, 255, 7, 7, 7};
    write_file(path("colour.ppm"), ppm("16 8", colour));
    write_file(path("grey.ppm"), ppm("2 2", grey));
    for (const char* name : {"colour", "grey"}) {
        SCOPED_TRACE(name);
        const std::string n(name);
        ASSERT_EQ(orvi("convert " + n + ".ppm " + n + ".png").status, 0);
        ASSERT_EQ(orvi("convert " + n + ".png " + n + "-back.ppm").status, 0);
        EXPECT_EQ(read_file(path(n + "-back.ppm")),
                  n == "grey" ? saved("2 2", grey) : saved("16 8", colour));
    }
    EXPECT_EQ(orvi("info grey.png colour.png").out,
              "grey.png: PNG, 2 x 2, 8 bits per pixel in the file, bit depth 8, colour type grey, "
              "interlaced no\n"
              "colour.png: PNG, 16 x 8, 8 bits per pixel in the file, bit depth 8, colour type "
              "palette, interlaced no, palette entries 128\n");
    // Through the operations and into a palette format.
    ASSERT_EQ(orvi("convert grey.png grey.pcx --depth 2 --negate").status, 0);
    ASSERT_EQ(orvi("convert grey.pcx grey-negated.ppm").status, 0);
    EXPECT_EQ(read_file(path("grey-negated.ppm")),
              saved("2 2", {255, 255, 255, 165, 165, 165, 0, 0, 0, 248, 248, 248}));
}

TEST_F(OrviEveryday, PicturesTooLargeForSixteenBitHeadersAreRefused) {
    // PNG holds sides past 65535; PCX and ILBM headers do not.
    Bytes samples(70000 * 3, 40);
    const Picture wide{samples.data(), 70000, 1, 3, 70000, 1, 24, 0, 0, 0};
    orvi::HostPool pool;
    std::string error;
    ASSERT_TRUE(orvi::save_png(pool, path("wide.png").c_str(), wide, nullptr, error)) << error;
    for (const char* out : {"wide.pcx", "wide.iff"}) {
        SCOPED_TRACE(out);
        const Outcome run = orvi(std::string("convert wide.png ") + out);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, std::string("orvi: cannot save '") + out +
                               "': " + (out[5] == 'p' ? "PCX" : "ILBM") +
                               " files hold at most 65535 x 65535 pixels, and the picture is "
                               "70000 x 1\n");
        EXPECT_FALSE(std::filesystem::exists(path(out)));
    }
    // Within the limit, the side survives.
    Bytes limit_samples(65535 * 2 * 3, 40);
    const Picture limit{limit_samples.data(), 65535, 2, 3, 65535, 2, 24, 0, 0, 0};
    ASSERT_TRUE(orvi::save_png(pool, path("limit.png").c_str(), limit, nullptr, error)) << error;
    ASSERT_EQ(orvi("convert limit.png narrower.pcx").status, 0);
    EXPECT_EQ(orvi("info narrower.pcx").out.substr(0, 30), "narrower.pcx: PCX, 65535 x 2, ");
    // The operations module reads sides in 16 bits: a turn, mirror or resize of a wider
    // picture would scramble it, so it is refused.
    const Outcome resized = orvi("convert wide.png narrower.pcx --resize 65535x2");
    EXPECT_EQ(resized.status, 1);
    EXPECT_EQ(resized.err, "orvi: cannot process 'wide.png': --resize: turns, mirrors and resizing "
                           "take pictures of at most 65535 x 65535 pixels, and the picture is "
                           "70000 x 1\n");
}

TEST_F(OrviEveryday, PipesCarryPicturesInAndOut) {
    write_file(path("in.ppm"), ppm("16 8", many_colours()));
    const Outcome through = orvi("convert - - --to png < in.ppm | " + std::string(ORVI_BINARY) +
                                 " convert - out.ppm --rotate cw");
    EXPECT_EQ(through.status, 0) << through.err;
    ASSERT_EQ(orvi("convert in.ppm rotated.ppm --rotate cw").status, 0);
    EXPECT_EQ(read_file(path("out.ppm")), read_file(path("rotated.ppm")));
    // Standard output carries exactly what a file would hold.
    ASSERT_EQ(orvi("convert in.ppm file.pcx").status, 0);
    const Outcome piped = orvi("convert in.ppm - --to pcx");
    ASSERT_EQ(piped.status, 0);
    EXPECT_EQ(bytes_of(piped.out), read_file(path("file.pcx")));
    // --to wins over the name's extension.
    ASSERT_EQ(orvi("convert in.ppm named.ppm --to png").status, 0);
    EXPECT_EQ(read_file(path("named.ppm")).at(1), 'P');
    EXPECT_EQ(read_file(path("named.ppm")).at(0), 0x89);
    // Nothing is left behind in the temporary folder, whatever happened.
    std::filesystem::create_directory(path("tmp"));
    EXPECT_EQ(orvi("convert - out2.ppm < /dev/null", "TMPDIR=tmp").status, 1);
    EXPECT_EQ(orvi("convert - - --to pcx < in.ppm", "TMPDIR=tmp").status, 0);
    EXPECT_EQ(shell("TMPDIR=tmp " + std::string(ORVI_BINARY) +
                    " convert - - --to ppm < in.ppm > /dev/full 2>/dev/null"),
              1);
    EXPECT_TRUE(std::filesystem::is_empty(path("tmp")));
}

TEST_F(OrviEveryday, PipeMistakesAreUsageErrorsOrOneSentence) {
    write_file(path("in.ppm"), ppm("1 1", {1, 2, 3}));
    struct Case {
        const char* args;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"convert in.ppm -", 2, "orvi: writing to standard output needs --to FORMAT\n"},
        {"convert in.ppm - --to bmp", 2,
         "orvi: --to takes ppm, pgm, pnm, pcx, iff, ilbm, lbm, xpm, png, pam, pbm, iff-pbm, gif "
         "or webp, not 'bmp'\n(see 'orvi --help')\n"},
        {"convert - out.ppm < /dev/null", 1, "orvi: cannot load standard input: it is empty\n"},
        {"convert in.ppm out.pcx --dither", 2,
         "orvi: --dither goes with --depth 1 to 8\n(see 'orvi --help')\n"},
        {"convert in.ppm out.pcx --exact", 2,
         "orvi: --exact goes with --depth 1 to 8\n(see 'orvi --help')\n"},
        {"convert in.ppm out.pcx --depth 4 --exact --reduce", 2,
         "orvi: --exact and --reduce ask for opposite things\n(see 'orvi --help')\n"},
        {"convert in.ppm out.pcx --background 1,2", 2,
         "orvi: --background takes R,G,B, three whole numbers from 0 to 255, not '1,2'\n(see "
         "'orvi --help')\n"},
        {"convert in.ppm out.pcx --reduce", 2,
         "orvi: --reduce needs --depth 1 to 8\n(see 'orvi --help')\n"},
        // A writer of palettes only reduces to 256 colours without a depth; a name that
        // ends in "pbm" is not the bitmap format.
        {"convert in.ppm out.lbm --to iff-pbm --reduce", 0, ""},
        {"convert in.ppm out.lbm --to iff-pbm --dither", 0, ""},
        {"convert in.ppm out.lbm --to iff-pbm --reduce --depth 24", 2,
         "orvi: --reduce needs --depth 1 to 8\n(see 'orvi --help')\n"},
        {"convert in.ppm out.ppm --threads 0", 2,
         "orvi: --threads takes 1 to 64, not '0'\n(see 'orvi --help')\n"},
        {"convert in.ppm out.ppm --negate --threads 2", 0, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.args);
        const Outcome run = orvi(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err, row.says);
    }
    EXPECT_EQ(shell(std::string(ORVI_BINARY) + " convert in.ppm - --to ppm > /dev/full 2> err.txt"),
              1);
    EXPECT_EQ(read_file(path("err.txt")),
              bytes_of("orvi: cannot save standard output: cannot write standard output (No "
                       "space left on device)\n"));
}

TEST_F(OrviEveryday, TransparencyLostInAFormatWithoutItIsComposedOntoBlackWithANote) {
    // An RGBA PNG made by the command's own writer cannot exist; netpbm makes one.
    if (!testing_support::have_program("pnmtopng")) {
        GTEST_SKIP() << "netpbm's pnmtopng is not installed";
    }
    write_file(path("in.ppm"), ppm("2 1", {200, 100, 50, 10, 20, 30}));
    write_file(path("alpha.pgm"), bytes_of("P5\n2 1\n255\n\x80\xff"));
    ASSERT_EQ(shell("pnmtopng -alpha=alpha.pgm in.ppm > alpha.png 2>/dev/null"), 0);
    const Outcome run = orvi("convert alpha.png out.ppm");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "orvi: note: 'out.ppm': its transparency is lost, as PNM files hold none\n");
    EXPECT_EQ(read_file(path("out.ppm")), saved("2 1", {100, 50, 25, 10, 20, 30}));
}

TEST_F(OrviEveryday, ABatchGoesPastADamagedFileAndNamesIt) {
    std::filesystem::create_directory(path("in"));
    for (int i = 0; i < 5; ++i) {
        write_file(path("in/p" + std::to_string(i) + ".ppm"),
                   ppm("2 1", {static_cast<uint8_t>(i), 0, 0, 0, 0, 255}));
    }
    write_file(path("in/damaged.ppm"), bytes_of("P6\n0 1\n255\n"));
    write_file(path("out-exists.png"), bytes_of("keep me"));
    const Outcome run = orvi("convert --to png --out-dir out in/damaged.ppm in/p0.ppm in/p1.ppm "
                             "in/p2.ppm in/p3.ppm in/p4.ppm --jobs 2");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot load 'in/damaged.ppm': the width 0 is outside 1..32767 "
                       "(code 1003)\norvi: 1 of 6 files not converted\n");
    for (int i = 0; i < 5; ++i) {
        const std::string name = "p" + std::to_string(i);
        ASSERT_EQ(orvi("convert out/" + name + ".png back.ppm").status, 0) << name;
        EXPECT_EQ(read_file(path("back.ppm")),
                  saved("2 1", {static_cast<uint8_t>(i), 0, 0, 0, 0, 255}));
    }
    EXPECT_FALSE(std::filesystem::exists(path("out/damaged.png")));
    // Every output of a batch that succeeds, with the operations applied to each.
    const Outcome again =
        orvi("convert --to ppm --out-dir flipped --flip h --quiet in/p0.ppm in/p1.ppm");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(read_file(path("flipped/p1.ppm")), saved("2 1", {0, 0, 255, 1, 0, 0}));
}

TEST_F(OrviEveryday, AWorkerThatDiesCostsOnlyItsOwnFile) {
    // The stand-in module kills its process on a file named "crash".
    write_file(path("ok.ppm"), ppm("1 1", {1, 2, 3}));
    write_file(path("crash.ppm"), ppm("1 1", {1, 2, 3}));
    write_file(path("later.ppm"), ppm("1 1", {1, 2, 3}));
    const Outcome run = orvi("convert --to png --out-dir o ok.ppm crash.ppm later.ppm --jobs 1",
                             std::string("ORVI_MODULE_PATH=") + PROBE_DIR);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot convert 'crash.ppm': the work stopped on signal 9\n"
                       "orvi: 1 of 3 files not converted\n");
    EXPECT_TRUE(std::filesystem::exists(path("o/ok.png")));
    EXPECT_TRUE(std::filesystem::exists(path("o/later.png")));
    EXPECT_FALSE(std::filesystem::exists(path("o/crash.png")));
    // Killed half-way through a save: the half-written temporary file goes too.
    write_file(path("dies.ppm"), ppm("1 1", {1, 2, 3}));
    const Outcome killed =
        orvi("convert --to ppm --out-dir d dies.ppm", std::string("ORVI_MODULE_PATH=") + PROBE_DIR);
    EXPECT_EQ(killed.status, 1);
    EXPECT_EQ(killed.err, "orvi: cannot convert 'dies.ppm': the work stopped on signal 9\n"
                          "orvi: 1 of 1 files not converted\n");
    EXPECT_TRUE(std::filesystem::is_empty(path("d")));
}

TEST_F(OrviEveryday, BatchWorkersServeFileAfterFileAndADeadOneIsReplaced) {
    // The stand-in module writes the id of the process that read a "whose" file.
    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i) {
        names.push_back("whose" + std::to_string(i) + ".ppm");
        write_file(path(names.back()), ppm("1 1", {1, 2, 3}));
    }
    const auto workers_of = [&] {
        std::set<std::string> pids;
        for (const std::string& name : names) {
            const Bytes pid = read_file(path(name + ".pid"));
            pids.emplace(pid.begin(), pid.end());
            std::filesystem::remove(path(name + ".pid"));
        }
        return pids;
    };
    std::string all;
    for (const std::string& name : names) {
        all += " " + name;
    }
    const std::string modules = std::string("ORVI_MODULE_PATH=") + PROBE_DIR;
    EXPECT_EQ(orvi("convert --to png --out-dir a --jobs 2" + all, modules).status, 0);
    const std::set<std::string> two = workers_of();
    EXPECT_GE(two.size(), 1U);
    EXPECT_LE(two.size(), 2U) << "two workers serve eight files";
    // One worker, killed by the fifth file: the file fails, a new worker takes the rest.
    write_file(path("crash.ppm"), ppm("1 1", {1, 2, 3}));
    std::string with_crash;
    for (size_t i = 0; i < names.size(); ++i) {
        with_crash += (i == 4 ? " crash.ppm " : " ") + names[i];
    }
    const Outcome run = orvi("convert --to png --out-dir b --jobs 1" + with_crash, modules);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot convert 'crash.ppm': the work stopped on signal 9\n"
                       "orvi: 1 of 9 files not converted\n");
    EXPECT_EQ(workers_of().size(), 2U) << "the first worker, then the one that replaced it";
}

TEST_F(OrviEveryday, ABatchNeverConvertsAFileOntoItselfOrTwoOntoOne) {
    write_file(path("a.ppm"), ppm("1 1", {1, 2, 3}));
    write_file(path("a.pcx"), bytes_of("not really"));
    std::filesystem::create_directory(path("sub"));
    write_file(path("sub/a.ppm"), ppm("1 1", {4, 5, 6}));
    const Outcome run = orvi("convert --to ppm --out-dir . a.ppm sub/a.ppm --plain");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot convert 'a.ppm' onto itself\n"
                       "orvi: cannot convert 'sub/a.ppm': './a.ppm' is the output of 'a.ppm' "
                       "already\norvi: 2 of 2 files not converted\n");
    EXPECT_EQ(read_file(path("a.ppm")), ppm("1 1", {1, 2, 3}));
    const std::vector<std::pair<std::string, std::string>> usage = {
        {"convert --out-dir o a.ppm", "orvi: --out-dir needs --to FORMAT\n"},
        {"convert --out-dir o --to png -", "orvi: --out-dir converts files by name, not standard "
                                           "input\n"},
        {"convert --out-dir o --to png a.ppm --jobs 0",
         "orvi: --jobs takes 1 to 64, not '0'\n(see 'orvi --help')\n"},
    };
    for (const auto& [args, says] : usage) {
        SCOPED_TRACE(args);
        const Outcome refused = orvi(args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, says);
    }
}

TEST_F(OrviEveryday, ABatchShowsItsOverallProgress) {
    write_file(path("a.ppm"), ppm("1 1", {1, 2, 3}));
    write_file(path("b.ppm"), ppm("1 1", {4, 5, 6}));
    const Outcome run = orvi("convert --to pcx --out-dir o a.ppm b.ppm --progress --jobs 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "\rconverting [###############...............] 1/2"
                       "\rconverting [##############################] 2/2\n");
}

TEST_F(OrviEveryday, ReachesTheDepthAskedAndRefusesOnlyWhenExact) {
    write_file(path("many.ppm"), ppm("16 8", many_colours()));
    const Outcome refused = orvi("convert many.ppm out.pcx --depth 4 --exact");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "orvi: cannot save 'out.pcx': the picture has 128 colours; a palette of 4 "
              "bits holds at most 16 (without --exact they are reduced to that many)\n");
    const Outcome noted = orvi("convert many.ppm out.pcx --depth 4");
    EXPECT_EQ(noted.status, 0);
    EXPECT_EQ(noted.err,
              "orvi: note: 'out.pcx': its colours were reduced to the 16 a depth of 4 holds\n");
    struct Case {
        const char* out;
        const char* options;
        size_t most;
    };
    for (const Case& row : {Case{"out.pcx", "--depth 4", 16}, Case{"out.pcx", "--depth 4 --reduce", 16},
                            Case{"out.pcx", "--depth 2 --reduce --dither", 4},
                            Case{"out.iff", "--depth 3 --reduce", 8},
                            Case{"out.png", "--depth 1 --reduce --dither", 2}}) {
        SCOPED_TRACE(std::string(row.out) + " " + row.options);
        ASSERT_EQ(orvi(std::string("convert many.ppm ") + row.out + " " + row.options).status, 0);
        ASSERT_EQ(orvi(std::string("convert ") + row.out + " back.ppm").status, 0);
        const Bytes back = read_file(path("back.ppm"));
        std::set<std::vector<uint8_t>> colours;
        for (size_t at = back.size() - 16 * 8 * 3; at < back.size(); at += 3) {
            colours.insert({back[at], back[at + 1], back[at + 2]});
        }
        EXPECT_LE(colours.size(), row.most);
        EXPECT_GE(colours.size(), 2U);
    }
    // A PNG at a chosen depth is a palette PNG.
    ASSERT_EQ(orvi("convert many.ppm few.png --depth 2 --reduce").status, 0);
    EXPECT_NE(orvi("info few.png").out.find("bit depth 2, colour type palette"), std::string::npos);
}

TEST_F(OrviEveryday, InfoDetailsParseBackAsJson) {
    write_file(path("a \"b\".ppm"), ppm("2 1", {1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(orvi("convert 'a \"b\".ppm' c.pcx --depth 8").status, 0);
    ASSERT_EQ(orvi("convert 'a \"b\".ppm' d.iff --depth 3").status, 0);
    ASSERT_EQ(orvi("convert 'a \"b\".ppm' e.png").status, 0);
    write_file(path("bad.ppm"), bytes_of("P6\n0 1\n255\n"));
    const Outcome run = orvi("info --json 'a \"b\".ppm' c.pcx d.iff e.png bad.ppm");
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(objects.size(), 5U);
    EXPECT_EQ(objects[0], nlohmann::json::parse(R"j({"file":"a \"b\".ppm","format":"PNM",
        "width":2,"height":1,"bits_per_pixel":24,"kind":"PPM raw","maximum":255})j"));
    EXPECT_EQ(objects[1], nlohmann::json::parse(R"j({"file":"c.pcx","format":"PCX","width":2,
        "height":1,"bits_per_pixel":8,"version":5,"bits":8,"planes":1,"colour_type":4,
        "palette":"256-colour trailer","palette_entries":256})j"));
    EXPECT_EQ(objects[2], nlohmann::json::parse(R"j({"file":"d.iff","format":"ILBM","width":2,
        "height":1,"bits_per_pixel":3,"display_mode":"plain","planes":3,"compression":1,
        "masking":0,"palette_entries":8})j"));
    EXPECT_EQ(objects[3], nlohmann::json::parse(R"j({"file":"e.png","format":"PNG","width":2,
        "height":1,"bits_per_pixel":1,"bit_depth":1,"colour_type":"palette",
        "interlaced":"no","palette_entries":2})j"));
    EXPECT_EQ(objects[4], nlohmann::json::parse(R"j({"file":"bad.ppm",
        "error":"the width 0 is outside 1..32767 (code 1003)"})j"));
    // Standard input gives the same details.
    auto piped = nlohmann::json::parse(orvi("info --json - < c.pcx").out);
    EXPECT_EQ(piped["file"], "-");
    piped["file"] = "c.pcx";
    EXPECT_EQ(piped, objects[1]);
}

TEST_F(OrviEveryday, JsonStringsAreValidForAnyFileName) {
    // Control characters, a lone high byte and a four-byte character in one name.
    const std::string name = std::string("x\ty\x01") + "\xff" + "\xf0\x9f\x96\xbc.ppm";
    write_file(path(name), ppm("1 1", {1, 2, 3}));
    const Outcome run = orvi("info --json " + testing_support::shell_quote(name));
    ASSERT_EQ(run.status, 0);
    const auto object = nlohmann::json::parse(run.out);
    EXPECT_EQ(object["file"], "x\ty\x01\xc3\xbf\xf0\x9f\x96\xbc.ppm");
}

TEST_F(OrviEveryday, TheManualPageListsEveryOptionOfTheHelp) {
    const std::string help = orvi("--help").out;
    std::ifstream page(MANUAL_PAGE);
    ASSERT_TRUE(page) << MANUAL_PAGE;
    const std::string manual((std::istreambuf_iterator<char>(page)), {});
    size_t options = 0;
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        const size_t end = help.find_first_of(" ,|/\n)]:'", at);
        const std::string option = help.substr(at, end - at);
        // roff writes a dash in an option as \-.
        std::string escaped;
        for (const char c : option) {
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        }
        EXPECT_NE(manual.find(escaped), std::string::npos) << option;
        ++options;
    }
    EXPECT_GT(options, 25U);
}

// Words separated by single spaces.
std::string words_of(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

TEST_F(OrviEveryday, TheShortUsageAndTheManualsSynopsisAreOneAndHelpFits80Columns) {
    const Outcome bare = orvi("");
    EXPECT_EQ(bare.status, 2);
    std::ifstream page(MANUAL_PAGE);
    ASSERT_TRUE(page) << MANUAL_PAGE;
    const std::string manual((std::istreambuf_iterator<char>(page)), {});
    const size_t from = manual.find(".SH SYNOPSIS\n");
    const size_t to = manual.find(".SH DESCRIPTION");
    ASSERT_NE(from, std::string::npos);
    // The manual's synopsis without its roff: a command a ".br".
    std::string synopsis = manual.substr(from + 13, to - from - 13);
    for (const char* markup : {"\\fB", "\\fR", "\\fI", ".B "}) {
        for (size_t at = synopsis.find(markup); at != std::string::npos;
             at = synopsis.find(markup)) {
            synopsis.erase(at, std::string(markup).size());
        }
    }
    for (size_t at = synopsis.find("\\-"); at != std::string::npos; at = synopsis.find("\\-")) {
        synopsis.erase(at, 1);
    }
    std::vector<std::string> manual_lines;
    for (size_t at = 0; at <= synopsis.size();) {
        const size_t end = std::min(synopsis.find(".br", at), synopsis.size());
        manual_lines.push_back(words_of(synopsis.substr(at, end - at)));
        at = end + 3;
    }
    // The short usage: "usage: " and then a command a line, each maybe wrapped.
    std::string usage = bare.err.substr(0, bare.err.find("See 'orvi --help'"));
    usage.erase(0, std::string("usage: ").size());
    std::vector<std::string> usage_lines;
    std::string current;
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);) {
        const bool continued = line.rfind("        ", 0) == 0 && line.find("orvi ") != 7;
        if (!continued && !current.empty()) {
            usage_lines.push_back(words_of(current));
            current.clear();
        }
        current += " " + line;
    }
    usage_lines.push_back(words_of(current));
    EXPECT_EQ(usage_lines, manual_lines);
    std::istringstream help(orvi("--help").out);
    for (std::string line; std::getline(help, line);) {
        EXPECT_LE(line.size(), 80U) << line;
    }
}

} // namespace
