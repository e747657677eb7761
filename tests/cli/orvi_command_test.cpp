// The orvi command end to end: the real executable and the real modules in temporary
// folders, with stand-in modules for the paths a real module cannot be made to take.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

#include "orvi/version.h"
#include "tests/cli/orvi_run.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

class OrviCommand : public testing_support::OrviRun {
protected:
    const Bytes pixels_{255, 0, 7, 1, 2, 3};
    const Bytes p6_ = concat(bytes_of("P6\n2 1\n255\n"), pixels_);
};

TEST_F(OrviCommand, ConvertsRawToPlainAndBack) {
    write_file(path("in.ppm"), p6_);
    ASSERT_EQ(orvi("convert --plain in.ppm plain.ppm").status, 0);
    EXPECT_EQ(read_file(path("plain.ppm")),
              bytes_of("P3\n#Created with Orvi\n2 1\n255\n255 0 7 1 2 3\n"));
    ASSERT_EQ(orvi("convert plain.ppm raw.pnm").status, 0);
    EXPECT_EQ(read_file(path("raw.pnm")),
              concat(bytes_of("P6\n#Created with Orvi\n2 1\n255\n"), pixels_));
}

TEST_F(OrviCommand, ConvertsAFileOntoItself) {
    write_file(path("same.ppm"), p6_);
    ASSERT_EQ(orvi("convert same.ppm same.ppm --plain").status, 0);
    EXPECT_EQ(read_file(path("same.ppm")),
              bytes_of("P3\n#Created with Orvi\n2 1\n255\n255 0 7 1 2 3\n"));
    EXPECT_EQ(listing(), std::vector<std::string>{"same.ppm"});
}

TEST_F(OrviCommand, InfoPrintsOneLinePerFileAndFailsIfAnyFails) {
    write_file(path("good.ppm"), p6_);
    write_file(path("bad.ppm"), bytes_of("P6\n0 1\n255\n"));
    const Outcome run = orvi("info good.ppm bad.ppm");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "good.ppm: PNM, 2 x 1, 24 bits per pixel in the file, kind PPM raw, maximum 255\n"
              "bad.ppm: cannot load: the width 0 is outside 1..32767 (code 1003)\n");
}

TEST_F(OrviCommand, EveryFailureIsOneSentenceWithTheRightStatus) {
    write_file(path("in.ppm"), p6_);
    write_file(path("notes.txt"), bytes_of("shopping list\n"));
    write_file(path("zero.ppm"), bytes_of("P6\n0 1\n255\n"));
    std::filesystem::create_directory(path("empty"));
    struct FailCase {
        const char* reason;
        std::string args;
        std::string env;
        int status;
        std::string says;
    };
    const std::string no_entry = std::string("ORVI_MODULE_PATH=") + NO_ENTRY_DIR;
    const FailCase cases[] = {
        {"missing input", "convert missing.ppm out.ppm", "", 1,
         "orvi: cannot load 'missing.ppm': it cannot be read (No such file or directory)\n"},
        {"input that is no picture", "convert notes.txt out.ppm", "", 1,
         "orvi: cannot load 'notes.txt': it is in no format orvi reads (PNM, PCX, ILBM, XPM, "
         "PNG, DCX)\n"},
        {"a folder as input", "convert empty out.ppm", "", 1,
         "orvi: cannot load 'empty': it is a folder\n"},
        {"damaged input", "convert zero.ppm out.ppm", "", 1,
         "orvi: cannot load 'zero.ppm': the width 0 is outside 1..32767 (code 1003)\n"},
        {"output folder missing", "convert in.ppm nowhere/out.ppm", "", 1,
         "orvi: cannot save 'nowhere/out.ppm': cannot create a file in 'nowhere' (No such file "
         "or directory)\n"},
        {"a folder as output", "convert in.ppm empty.ppm", "mkdir empty.ppm &&", 1,
         "orvi: cannot save 'empty.ppm': it is a folder\n"},
        {"output kind no module writes", "convert in.ppm out.bmp", "", 2,
         "orvi: cannot save 'out.bmp': no format writes the extension '.bmp'; orvi writes .ppm, "
         ".pgm, .pnm, .pcx, .iff, .ilbm, .lbm, .xpm, .png, .pam, .pbm, .gif, .webp (--to FORMAT chooses one)\n"},
        {"module missing", "convert in.ppm out.ppm", "ORVI_MODULE_PATH=empty", 1,
         "orvi: cannot load 'in.ppm': cannot load the ppm module (empty/ppm.so: cannot open shared "
         "object file: No such file or directory)\n"},
        {"module without entry", "convert in.ppm out.ppm", no_entry, 1,
         "orvi: cannot load 'in.ppm': the ppm module (" + std::string(NO_ENTRY_DIR) +
             "/ppm.so) has no start_prog entry\n"},
        {"no arguments", "", "", 2, ""},
        {"one file only", "convert in.ppm", "", 2,
         "orvi: convert takes one input and one output file\n(see 'orvi --help')\n"},
        {"unknown option", "convert --sharpen in.ppm out.ppm", "", 2,
         "orvi: unknown option '--sharpen' for convert\n(see 'orvi --help')\n"},
        {"unknown command", "paint", "", 2, "orvi: unknown command 'paint'\n(see 'orvi --help')\n"},
    };
    for (const FailCase& row : cases) {
        SCOPED_TRACE(row.reason);
        const Outcome run = orvi(row.args, row.env);
        EXPECT_EQ(run.status, row.status) << run.err;
        if (!row.says.empty()) {
            EXPECT_EQ(run.err, row.says);
        }
        EXPECT_FALSE(std::filesystem::exists(path("out.ppm"))) << "no partial output";
    }
}

TEST_F(OrviCommand, AFailedSaveLeavesTheTargetAsItWas) {
    write_file(path("in.ppm"), p6_);
    write_file(path("target.ppm"), bytes_of("precious"));
    const Outcome run =
        orvi("convert in.ppm target.ppm", std::string("ORVI_MODULE_PATH=") + PROBE_DIR);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot save 'target.ppm': the file could not be written completely"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(read_file(path("target.ppm")), bytes_of("precious"));
    EXPECT_EQ(listing(), (std::vector<std::string>{"in.ppm", "target.ppm"}))
        << "no temporary file left";
}

TEST_F(OrviCommand, ASuccessfulSaveKeepsPermissionsAndLinks) {
    write_file(path("in.ppm"), p6_);
    write_file(path("real.ppm"), bytes_of("old"));
    ::chmod(path("real.ppm").c_str(), 0640);
    std::filesystem::create_symlink("real.ppm", path("link.ppm"));
    ASSERT_EQ(orvi("convert in.ppm link.ppm").status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.ppm")));
    EXPECT_EQ(read_file(path("real.ppm")),
              concat(bytes_of("P6\n#Created with Orvi\n2 1\n255\n"), pixels_));
    struct stat status {};
    ASSERT_EQ(::stat(path("real.ppm").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640U);
}

TEST_F(OrviCommand, ModulesDriveTheProgressBar) {
    write_file(path("in.ppm"), p6_);
    const std::string probe = std::string("ORVI_MODULE_PATH=") + PROBE_DIR;
    const Outcome shown = orvi("convert --progress in.ppm out.ppm", probe);
    EXPECT_NE(shown.err.find("loading in.ppm [###############...............]  50%"),
              std::string::npos)
        << shown.err;
    EXPECT_NE(shown.err.find("[##############################] 100%\n"), std::string::npos);
    const Outcome quiet = orvi("convert --progress --quiet in.ppm out.ppm", probe);
    EXPECT_EQ(quiet.err.find('%'), std::string::npos) << quiet.err;
    const Outcome piped = orvi("convert in.ppm out.ppm", probe);
    EXPECT_EQ(piped.err.find('%'), std::string::npos) << "no bar when stderr is not a terminal";
}

TEST_F(OrviCommand, DemoConvertsTheTestCardThroughEveryWriter) {
    const Outcome run = orvi("demo cards");
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    for (size_t at = 0; at < run.out.size();) {
        const size_t end = run.out.find('\n', at);
        lines.push_back(run.out.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_GE(lines.size(), 3U);
    EXPECT_EQ(lines.front(), "writing the demo files into cards");
    EXPECT_EQ(lines.back(), "read cards/named-colours.xpm (XPM, 8 x 4, named and hexadecimal "
                            "colours) and wrote cards/named-colours.ppm; its colours are right");
    ASSERT_GE(lines.size(), 4U);
    EXPECT_EQ(lines[lines.size() - 2], "wrote cards/sample-cycling.iff; its colours cycle");
    // Every writer of the format table, each file named by what it holds.
    std::vector<std::string> names;
    for (size_t i = 1; i + 2 < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].ends_with("; it loads back identical")) << lines[i];
        names.push_back(lines[i].substr(12, lines[i].find(':') - 12));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "sample.ppm",      "sample-plain.ppm", "sample-grey.pgm", "sample-grey-plain.pgm",
                  "sample.pcx",      "sample-grey.pcx",  "sample-4bit.pcx", "sample.iff",
                  "sample-grey.iff", "sample-3bit.iff",  "sample.xpm",      "sample-grey.xpm",
                  "sample-3bit.xpm", "sample.png",       "sample-grey.png", "sample-3bit.png",
                  "sample.pam",      "sample-grey.pam",  "sample.pbm",      "sample-plain.pbm",
                  "sample-8bit.lbm"}));
    EXPECT_NE(run.out.find("wrote cards/sample-4bit.pcx: PCX, 96 x 64, 4 bits per pixel"),
              std::string::npos);
    EXPECT_NE(run.out.find("wrote cards/sample-3bit.iff: ILBM, 96 x 64, 3 bits per pixel"),
              std::string::npos);
    EXPECT_NE(run.out.find("wrote cards/sample-8bit.lbm: ILBM, 96 x 64, 8 bits per pixel in the "
                           "file, display mode plain, form PBM"),
              std::string::npos);
}

TEST_F(OrviCommand, ReadsAndWritesXpm) {
    write_file(path("in.xpm"), bytes_of("/* XPM */\nstatic char *x[] = {\n\"2 1 2 1\",\n"
                                        "\"a c #FF0000\",\n\"b c blue\",\n\"ab\"};\n"));
    ASSERT_EQ(orvi("convert in.xpm out.ppm").status, 0);
    EXPECT_EQ(read_file(path("out.ppm")),
              concat(bytes_of("P6\n#Created with Orvi\n2 1\n255\n"), {255, 0, 0, 0, 0, 255}));
    EXPECT_EQ(orvi("info in.xpm").out, "in.xpm: XPM, 2 x 1, 8 bits per pixel in the file, colours "
                                       "2, characters per pixel 1, palette entries 2\n");
    const std::string head = "/* XPM */\nstatic char *image[] = {\n"
                             "/* columns rows colors chars-per-pixel */\n\"2 1 2 1\",\n";
    // The palette kept in the file's order: red, then blue.
    ASSERT_EQ(orvi("convert in.xpm back.xpm").status, 0);
    EXPECT_EQ(read_file(path("back.xpm")),
              bytes_of(head + "\"  c #FF0000\",\n\"! c #0000FF\",\n/* pixels */\n\" !\"\n};\n"));
    ASSERT_EQ(orvi("convert in.xpm named.xpm --names").status, 0);
    EXPECT_EQ(read_file(path("named.xpm")),
              bytes_of(head + "\"  c red\",\n\"! c blue\",\n/* pixels */\n\" !\"\n};\n"));
}

TEST_F(OrviCommand, WritesBitmapsAndPam) {
    write_file(path("in.ppm"), concat(bytes_of("P6\n2 1\n255\n"), {10, 10, 10, 250, 250, 250}));
    ASSERT_EQ(orvi("convert in.ppm out.pbm").status, 0);
    EXPECT_EQ(read_file(path("out.pbm")),
              concat(bytes_of("P4\n#Created with Orvi\n2 1\n"), {0x80}));
    EXPECT_EQ(orvi("convert in.ppm dithered.pbm --dither --plain").status, 0)
        << "a bitmap dithers without --reduce";
    EXPECT_EQ(orvi("convert in.ppm out.ppm --dither").status, 2);
    ASSERT_EQ(orvi("convert in.ppm - --to pam").status, 0);
    EXPECT_EQ(orvi("info out.pbm").out,
              "out.pbm: PNM, 2 x 1, 1 bit per pixel in the file, kind PBM "
              "raw, maximum 1\n");
}

TEST_F(OrviCommand, InfoListsThePicturesOfACatAndPagePicksOne) {
    const auto be32 = [](uint32_t v) {
        return Bytes{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                     static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    };
    const auto form = [&](uint8_t colour) { // a 1 x 1 picture of CMAP entry 1
        Bytes body = bytes_of("ILBMBMHD");
        body = concat(body, be32(20));
        body = concat(body, {0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1});
        body = concat(concat(body, bytes_of("CMAP")), be32(6));
        body = concat(body, {0, 0, 0, colour, colour, colour});
        body = concat(concat(body, bytes_of("BODY")), be32(2));
        body = concat(body, {0x80, 0});
        return concat(concat(bytes_of("FORM"), be32(static_cast<uint32_t>(body.size()))), body);
    };
    const Bytes inside = concat(form(100), form(200));
    write_file(path("two.iff"),
               concat(concat(bytes_of("CAT "), be32(static_cast<uint32_t>(inside.size() + 4))),
                      concat(bytes_of("ILBM"), inside)));
    const Outcome listed = orvi("info two.iff");
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("two.iff: ILBM, 1 x 1"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("pages 2, page 1\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("two.iff (page 2): ILBM, 1 x 1"), std::string::npos) << listed.out;
    ASSERT_EQ(orvi("convert --page 2 two.iff second.ppm").status, 0);
    EXPECT_EQ(read_file(path("second.ppm")),
              concat(bytes_of("P6\n#Created with Orvi\n1 1\n255\n"), {200, 200, 200}));
    const Outcome beyond = orvi("convert --page 3 two.iff third.ppm");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("it holds 2 pictures, numbered 1 to 2 (--page N picks one)"),
              std::string::npos)
        << beyond.err;
    EXPECT_EQ(orvi("convert --page 0 two.iff x.ppm").status, 2);
}

TEST_F(OrviCommand, InfoChunksListsWhatAnIffOrPngFileIsMadeOf) {
    const auto be32 = [](uint32_t v) {
        return Bytes{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                     static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    };
    Bytes body = bytes_of("ILBMBMHD");
    body = concat(body, be32(20));
    body = concat(body, {0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1});
    body = concat(concat(body, bytes_of("NAME")), be32(3));
    body = concat(body, {'a', 'b', 'c', 0}); // an odd chunk and its pad byte
    body = concat(concat(body, bytes_of("CMAP")), be32(6));
    body = concat(body, {0, 0, 0, 9, 9, 9});
    body = concat(concat(body, bytes_of("BODY")), be32(2));
    body = concat(body, {0x80, 0});
    write_file(path("one.iff"),
               concat(concat(bytes_of("FORM"), be32(static_cast<uint32_t>(body.size()))), body));
    const Outcome listed = orvi("info --chunks one.iff");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.substr(listed.out.find('\n') + 1),
              "  chunk FORM ILBM at offset 0, length 68\n"
              "    chunk BMHD at offset 12, length 20\n"
              "    chunk NAME at offset 40, length 3\n"
              "    chunk CMAP at offset 52, length 6\n"
              "    chunk BODY at offset 66, length 2\n");
    ASSERT_EQ(orvi("convert one.iff one.png").status, 0);
    const Outcome png = orvi("info --chunks --json one.png");
    EXPECT_EQ(png.status, 0);
    const std::string json = png.out;
    for (const char* seen : {"{\"id\":\"IHDR\",\"offset\":8,\"size\":13,\"depth\":0}",
                             "\"id\":\"PLTE\"", "\"id\":\"tEXt\"", "\"id\":\"IDAT\"",
                             "\"id\":\"IEND\""}) {
        EXPECT_NE(json.find(seen), std::string::npos) << seen << " in " << json;
    }
    // Without --chunks, no chunks.
    EXPECT_EQ(orvi("info one.iff").out.find("chunk"), std::string::npos);
}

TEST_F(OrviCommand, SavesPcxAtEveryDepthAndRefusesTooManyColours) {
    // Four colours, black and white among them.
    const Bytes four =
        concat(bytes_of("P6\n2 2\n255\n"), {0, 0, 0, 255, 255, 255, 200, 10, 10, 10, 200, 10});
    write_file(path("four.ppm"), four);
    for (const char* depth : {"2", "4", "8", "24"}) {
        SCOPED_TRACE(depth);
        ASSERT_EQ(orvi(std::string("convert four.ppm out.pcx --depth ") + depth).status, 0);
        ASSERT_EQ(orvi("convert out.pcx back.ppm").status, 0);
        EXPECT_EQ(read_file(path("back.ppm")),
                  concat(bytes_of("P6\n#Created with Orvi\n2 2\n255\n"),
                         {0, 0, 0, 255, 255, 255, 200, 10, 10, 10, 200, 10}));
    }
    const Outcome too_many = orvi("convert four.ppm out1.pcx --depth 1 --exact");
    EXPECT_EQ(too_many.status, 1);
    EXPECT_EQ(too_many.err, "orvi: cannot save 'out1.pcx': the picture has 4 colours; a palette of "
                            "1 bit holds at most 2 (without --exact they are reduced to that "
                            "many)\n");
    EXPECT_FALSE(std::filesystem::exists(path("out1.pcx")));
    // Without --exact the depth is reached, and a note says how.
    const Outcome reduced = orvi("convert four.ppm out1.pcx --depth 1");
    EXPECT_EQ(reduced.status, 0);
    EXPECT_EQ(reduced.err,
              "orvi: note: 'out1.pcx': its colours were reduced to the 2 a depth of 1 holds\n");
    EXPECT_TRUE(std::filesystem::exists(path("out1.pcx")));
    // White first in the picture: the darker colour still takes index 0 and loads back.
    write_file(path("bw.ppm"), concat(bytes_of("P6\n2 1\n255\n"), {255, 255, 255, 0, 0, 0}));
    ASSERT_EQ(orvi("convert bw.ppm bw.pcx --depth 1").status, 0);
    ASSERT_EQ(orvi("convert bw.pcx bw2.ppm").status, 0);
    EXPECT_EQ(read_file(path("bw2.ppm")),
              concat(bytes_of("P6\n#Created with Orvi\n2 1\n255\n"), {255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(
        orvi("info bw.pcx").out,
        "bw.pcx: PCX, 2 x 1, 1 bit per pixel in the file, version 5, bits 1, planes 1, colour "
        "type 2, palette black and white, palette entries 2\n");
    // A depth the output format cannot take is a usage error, before any file is read.
    const Outcome pcx_depth = orvi("convert missing.ppm x.pcx --depth 3");
    EXPECT_EQ(pcx_depth.status, 2);
    EXPECT_EQ(pcx_depth.err,
              "orvi: --depth 3: PCX files take 1, 2, 4, 8 or 24\n(see 'orvi --help')\n");
    EXPECT_EQ(orvi("convert bw.ppm x.pcx --depth 9").status, 2);
}

TEST_F(OrviCommand, SavesIlbmAtEveryDepthPackedOrPlain) {
    const Bytes pixels = {0, 0, 0, 255, 255, 255, 200, 10, 10, 10, 200, 10};
    write_file(path("four.ppm"), concat(bytes_of("P6\n2 2\n255\n"), pixels));
    for (const char* options :
         {"", "--no-compress", "--depth 2", "--depth 5 --no-compress", "--depth 8"}) {
        SCOPED_TRACE(options);
        ASSERT_EQ(orvi(std::string("convert four.ppm out.iff ") + options).status, 0);
        ASSERT_EQ(orvi("convert out.iff back.ppm").status, 0);
        EXPECT_EQ(read_file(path("back.ppm")),
                  concat(bytes_of("P6\n#Created with Orvi\n2 2\n255\n"), pixels));
    }
    ASSERT_EQ(orvi("convert four.ppm out.lbm --depth 2 --no-compress").status, 0);
    EXPECT_EQ(orvi("info out.lbm").out,
              "out.lbm: ILBM, 2 x 2, 2 bits per pixel in the file, display mode plain, planes 2, "
              "compression 0, masking 0, palette entries 4\n");
    const Outcome too_many = orvi("convert four.ppm out.ilbm --depth 1 --exact");
    EXPECT_EQ(too_many.status, 1);
    EXPECT_EQ(too_many.err, "orvi: cannot save 'out.ilbm': the picture has 4 colours; a palette of "
                            "1 bit holds at most 2 (without --exact they are reduced to that "
                            "many)\n");
}

TEST_F(OrviCommand, HelpAndVersion) {
    EXPECT_EQ(orvi("--version").out, std::string("orvi ") + ORVI_VERSION + "\n");
    const Outcome help = orvi("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--plain"), std::string::npos);
    // Every command takes --help, without a display or any file.
    for (const char* command : {"convert", "info", "view", "filters", "demo"}) {
        const Outcome asked = orvi(std::string(command) + " --help", "DISPLAY=");
        EXPECT_EQ(asked.status, 0) << command << ": " << asked.err;
        EXPECT_EQ(asked.out, help.out) << command;
    }
}

TEST_F(OrviCommand, WhatANewUserRunsInto) {
    const Outcome bare = orvi("");
    EXPECT_EQ(bare.status, 2);
    EXPECT_TRUE(bare.err.starts_with("usage: orvi convert [options] IN OUT\n")) << bare.err;
    EXPECT_NE(bare.err.find("See 'orvi --help' for every option."), std::string::npos);
    EXPECT_EQ(bare.err.find("--gamma"), std::string::npos) << "a short usage, not the whole help";
    const Outcome help = orvi("convert --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--plain"), std::string::npos);
    const Outcome three = orvi("convert a.ppm b.ppm c.ppm");
    EXPECT_EQ(three.status, 2);
    EXPECT_EQ(three.err, "orvi: convert takes one input and one output file; to convert many "
                         "files, give --to FORMAT and --out-dir DIR\n(see 'orvi --help')\n");
    // The demo without a folder writes into the temporary folder and says so.
    std::filesystem::create_directory(path("tmp"));
    const Outcome demo = orvi("demo", "TMPDIR=" + path("tmp"));
    EXPECT_EQ(demo.status, 0);
    EXPECT_TRUE(
        demo.out.starts_with("writing the demo files into " + path("tmp") + "/orvi-demo\n"));
    EXPECT_TRUE(std::filesystem::exists(path("tmp/orvi-demo/sample.png")));
    // Binary output to a terminal is refused unless forced.
    if (!testing_support::have_program("script")) {
        GTEST_SKIP() << "script is absent: it gives the command a terminal";
    }
    write_file(path("in.ppm"), p6_);
    const std::string on_terminal =
        "script -qec " + shell_quote(std::string(ORVI_BINARY) + " convert in.ppm - --to pcx") +
        " /dev/null > terminal.txt";
    EXPECT_EQ(shell(on_terminal), 1);
    const Bytes said = read_file(path("terminal.txt"));
    EXPECT_NE(std::string(said.begin(), said.end())
                  .find("orvi: cannot save standard output: it is a terminal; send it to a file or "
                        "a pipe (--force writes it all the same)"),
              std::string::npos);
}

// The symbols of a built module, from nm: defined (exported) or undefined (imported).
std::vector<std::string> module_symbols(const std::string& module, bool defined) {
    const auto listing = testing_support::run_capture(
        std::string("nm -D --format=posix ") + (defined ? "--defined-only " : "--undefined-only ") +
        shell_quote(module));
    std::vector<std::string> names;
    if (!listing) {
        return names;
    }
    std::istringstream lines(*listing);
    std::string name;
    std::string rest;
    while (lines >> name && std::getline(lines, rest)) {
        names.push_back(name.substr(0, name.find('@')));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ModuleBoundary, ModulesExportOnlyTheirEntryThePoolWrappersAndTheFilterTable) {
    for (const char* module : {PPM_MODULE, XPM_MODULE, PCX_MODULE, ILBM_MODULE}) {
        SCOPED_TRACE(module);
        EXPECT_EQ(
            module_symbols(module, true),
            (std::vector<std::string>{"AllocVecPooledPPC", "FreeVecPooledPPC", "start_prog"}));
    }
    EXPECT_EQ(module_symbols(OPS_MODULE, true),
              (std::vector<std::string>{"AllocVecPooledPPC", "FreeVecPooledPPC", "matdef",
                                        "start_of_program"}));
}

TEST(ModuleBoundary, ModulesTakeNoMemoryBesideThePool) {
    const char* forbidden[] = {"malloc",  "calloc",         "realloc",      "free",
                               "_Znwm",   "_Znam",          "_ZdlPv",       "_ZdaPv",
                               "_ZdlPvm", "posix_memalign", "aligned_alloc"};
    for (const char* module : {PPM_MODULE, OPS_MODULE, XPM_MODULE, PCX_MODULE, ILBM_MODULE}) {
        SCOPED_TRACE(module);
        const std::vector<std::string> imports = module_symbols(module, false);
        ASSERT_FALSE(imports.empty()) << "nm gave nothing for the module";
        for (const char* name : forbidden) {
            EXPECT_EQ(std::count(imports.begin(), imports.end(), name), 0) << "imports " << name;
        }
    }
}

} // namespace
