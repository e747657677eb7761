// The library's API over the real modules: recognition, loading from a path, memory and
// a pipe, every writer round-tripping what it writes, grey outputs, operations, the
// details of every format, and failures said in the file's own terms. Every test ends
// with the pool's books: nothing live once the images are gone.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <unistd.h>

#include "lib/atomic_save.h"
#include "lib/library_inside.h"
#include "orvi/orvi.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

orvi::Options with_modules() {
    orvi::Options options;
    options.module_folder = MODULE_DIR;
    return options;
}

// A 5 x 3 picture of 15 colours, three bytes a pixel.
Bytes colourful() {
    Bytes pixels;
    for (uint32_t i = 0; i < 15; ++i) {
        pixels.insert(pixels.end(),
                      {static_cast<uint8_t>(17 * i), static_cast<uint8_t>(200 - 9 * i),
                       static_cast<uint8_t>(i * i)});
    }
    return pixels;
}

class LibraryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(orvi::LibraryInside::pool(library_).live_blocks(), 0U)
            << "a block outlived every image";
    }
    orvi::Image image(const Bytes& pixels, uint32_t width, uint32_t height, uint32_t bytes = 3) {
        orvi::Error error;
        auto made = library_.make_image(width, height, bytes, pixels.data(), error);
        EXPECT_TRUE(made) << error.sentence;
        return std::move(*made);
    }
    static Bytes pixels_of(const orvi::Image& image) {
        return {image.pixels(), image.pixels() + image.size_in_bytes()};
    }
    testing_support::TempFolder folder_;
    orvi::Library library_{with_modules()};
};

TEST_F(LibraryTest, RecognisesFilesByContentAndSaysWhatItRefuses) {
    struct Row {
        std::string head;
        std::string format; // empty: refused with `why`
        std::string why;
    };
    const std::string none = "it is in no format orvi reads (PNM, PCX, ILBM, XPM, PNG, DCX)";
    const Row rows[] = {
        {"P6\n1 1\n255\n", "PNM", ""},
        {"P1 3 3", "PNM", ""},
        {"P7\nWIDTH", "PNM", ""},
        {std::string("FORM\0\0\0\x10ILBMBMHD", 16), "ILBM", ""},
        {std::string("FORM\0\0\0\x10PBM BMHD", 16), "ILBM", ""},
        {std::string("FORM\0\0\0\x10"
                     "ACBMBMHD",
                     16),
         "ILBM", ""},
        {std::string("FORM\0\0\0\x10"
                     "8SVXVHDR",
                     16),
         "", "it is an IFF FORM of type 8SVX, which orvi does not read"},
        {std::string("\x0a\x05\x01\x08", 4), "PCX", ""},
        {"/* XPM */\nstatic char *x[] = {\n\"16 16 4 1\",", "XPM", ""},
        {"/* \"x\" */ \"2 2 1 1 0 0\"", "XPM", ""},
        {"static char *x[] = {\n\"a c red\",", "", none},
        {"! XPM2\n16 16 4 1\n", "", none},
        {"\x89PNG\r\n\x1a\n", "PNG", ""},
        {"", "", "it is empty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.head);
        orvi::Error error;
        const auto format = library_.recognise(bytes_of(row.head), error);
        EXPECT_EQ(format.value_or(""), row.format);
        EXPECT_EQ(error.sentence, row.why);
    }
    struct NameRow {
        const char* path;
        const char* name;
        std::string format;
    };
    const NameRow names[] = {
        {"a.ppm", "", "PNM"},      {"A.PGM", "", "PNM"},      {"x/y.pnm", "", "PNM"},
        {"b.pcx", "", "PCX"},      {"c.iff", "", "ILBM"},     {"d.LBM", "", "ILBM"},
        {"e.png", "", "PNG"},      {"e.xpm", "", "XPM"},      {"f.bmp", "", ""},
        {"dir.ppm/noext", "", ""}, {"g.ppm", "ilbm", "ILBM"}, {"h", "PNG", "PNG"},
    };
    for (const NameRow& row : names) {
        SCOPED_TRACE(row.path);
        orvi::Error error;
        const auto format = orvi::Library::output_format(row.path, row.name, error);
        EXPECT_EQ(format ? format->name : "", row.format);
    }
}

TEST_F(LibraryTest, LoadsFromAPathMemoryAndAPipe) {
    const Bytes pixels = colourful();
    const Bytes file = concat(bytes_of("P6\n5 3\n255\n"), pixels);
    write_file(folder_.path("in.ppm"), file);
    orvi::Error error;
    const auto from_path = library_.load(folder_.path("in.ppm"), error);
    ASSERT_TRUE(from_path) << error.sentence;
    const auto from_memory = library_.load(file, error);
    ASSERT_TRUE(from_memory) << error.sentence;
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], file.data(), file.size()), static_cast<ssize_t>(file.size()));
    ::close(ends[1]);
    const auto from_pipe = library_.load_from(ends[0], error);
    ::close(ends[0]);
    ASSERT_TRUE(from_pipe) << error.sentence;
    for (const orvi::Image* loaded : {&*from_path, &*from_memory, &*from_pipe}) {
        EXPECT_EQ(loaded->format(), "PNM");
        EXPECT_EQ(loaded->width(), 5U);
        EXPECT_EQ(loaded->height(), 3U);
        EXPECT_EQ(pixels_of(*loaded), pixels);
        EXPECT_EQ(loaded->details().at(4).key, "kind");
    }
    EXPECT_TRUE(library_.load(folder_.path("in.ppm"), error, {false, {}})->details().empty());
    // Progress reaches the caller's routine.
    std::vector<int32_t> reports;
    const orvi::LoadOptions watched{false, [&](int32_t percent) { reports.push_back(percent); }};
    write_file(folder_.path("in.pcx"), {});
    ASSERT_TRUE(library_.save(*from_path, folder_.path("in.pcx"), {}, error)) << error.sentence;
    ASSERT_TRUE(library_.load(folder_.path("in.pcx"), error, watched));
    EXPECT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 100);
}

// A picture as a bitmap shows it: black where its luma is below half, else white.
Bytes bitmap_of(const Bytes& pixels) {
    Bytes out;
    for (size_t i = 0; i < pixels.size(); i += 3) {
        const uint32_t luma =
            (77U * pixels[i] + 150U * pixels[i + 1] + 29U * pixels[i + 2] + 128U) >> 8U;
        const uint8_t v = luma < 128 ? 0 : 255;
        out.insert(out.end(), {v, v, v});
    }
    return out;
}

// Each entry of the format table that writes, with each of its writer's options, gives a
// file that loads back as the picture it was given (a bitmap: as black and white).
TEST_F(LibraryTest, EveryWriterRoundTripsWhatItWrites) {
    const Bytes pixels = colourful();
    const orvi::Image colour = image(pixels, 5, 3);
    for (const orvi::FormatInfo& format : orvi::Library::formats()) {
        if (!format.writes || format.animates) {
            continue; // animations are read back by peers (tests/python/test_moving.py)
        }
        // A format without an extension of its own is asked for by name (IFF-PBM).
        const std::string extension = format.extensions.empty() ? "lbm" : format.extensions[0];
        std::vector<orvi::SaveOptions> variants(1);
        variants[0].format = format.extensions.empty() ? format.name : extension;
        for (const uint32_t depth : format.palette_depths) {
            if (depth >= 4) { // 15 colours fit from 4 bits on
                orvi::SaveOptions palette = variants[0];
                palette.depth = depth;
                variants.push_back(palette);
            }
        }
        orvi::SaveOptions other = variants[0];
        other.plain = true;
        other.compress = false;
        variants.push_back(other);
        for (const orvi::SaveOptions& options : variants) {
            SCOPED_TRACE(format.name + " depth " + std::to_string(options.depth) +
                         (options.plain ? " plain" : ""));
            const std::string path = folder_.path("out." + extension);
            orvi::Error error;
            ASSERT_TRUE(library_.save(colour, path, options, error)) << error.sentence;
            const auto back = library_.load(path, error);
            ASSERT_TRUE(back) << error.sentence;
            // PAM and PBM files are read as the portable formats they are kinds of, and
            // FORM PBM as the IFF it is.
            EXPECT_EQ(back->format(), format.reads               ? format.name
                                      : format.name == "IFF-PBM" ? "ILBM"
                                                                 : "PNM");
            EXPECT_EQ(pixels_of(*back), format.name == "PBM" ? bitmap_of(pixels) : pixels);
        }
    }
}

TEST_F(LibraryTest, OddWidthChunkyIffReadsBackInFfmpeg) {
    if (!testing_support::have_program("ffmpeg")) {
        GTEST_SKIP() << "FFmpeg is not installed: no peer reads our FORM PBM here";
    }
    // 5 x 3 and 3 x 5: odd rows, whose pad byte a reader must find inside the last run.
    for (const auto& [width, height] : {std::pair{5U, 3U}, std::pair{3U, 5U}}) {
        for (const bool compress : {true, false}) {
            SCOPED_TRACE(std::to_string(width) + (compress ? " packed" : " plain"));
            const orvi::Image picture = image(colourful(), width, height);
            orvi::SaveOptions chunky;
            chunky.format = "iff-pbm";
            chunky.compress = compress;
            orvi::Error error;
            const std::string file = folder_.path("odd.lbm");
            ASSERT_TRUE(library_.save(picture, file, chunky, error)) << error.sentence;
            const std::string out = folder_.path("ffmpeg.ppm");
            ASSERT_TRUE(testing_support::run_capture(
                "ffmpeg -loglevel error -y -i " + testing_support::shell_quote(file) +
                " -f image2 -vcodec ppm " + testing_support::shell_quote(out)));
            const auto read = library_.load(out, error);
            ASSERT_TRUE(read) << error.sentence;
            EXPECT_EQ(pixels_of(*read), pixels_of(picture));
        }
    }
}

TEST_F(LibraryTest, ChunkyIffIsWrittenByNameAndNeedsAPaletteOfItsColours) {
    const Bytes pixels = colourful();
    const orvi::Image colour = image(pixels, 5, 3);
    orvi::SaveOptions chunky;
    chunky.format = "iff-pbm";
    orvi::Error error;
    ASSERT_TRUE(library_.save(colour, folder_.path("dp.lbm"), chunky, error)) << error.sentence;
    const Bytes file = read_file(folder_.path("dp.lbm"));
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "PBM ");
    auto back = library_.load(folder_.path("dp.lbm"), error);
    ASSERT_TRUE(back) << error.sentence;
    EXPECT_EQ(pixels_of(*back), pixels);
    back.reset();
    // A .lbm name alone still writes ILBM, as it always has.
    ASSERT_TRUE(library_.save(colour, folder_.path("plain.lbm"), {}, error)) << error.sentence;
    const Bytes ilbm = read_file(folder_.path("plain.lbm"));
    EXPECT_EQ(std::string(ilbm.begin() + 8, ilbm.begin() + 12), "ILBM");
    if (testing_support::have_program("ilbmtoppm")) {
        // netpbm reads rows of odd width without their pad byte, so the peer gets an even
        // width: the picture's first four columns.
        Bytes even;
        for (ptrdiff_t row = 0; row < 3; ++row) {
            even.insert(even.end(), pixels.begin() + 15 * row, pixels.begin() + 15 * row + 12);
        }
        ASSERT_TRUE(library_.save(image(even, 4, 3), folder_.path("even.lbm"), chunky, error))
            << error.sentence;
        const auto peer = testing_support::run_capture(
            "ilbmtoppm " + testing_support::shell_quote(folder_.path("even.lbm")) +
            " 2>/dev/null | pamtopnm -plain | tail -n +4");
        ASSERT_TRUE(peer) << "netpbm reads the file";
        std::string ours;
        for (const uint8_t value : even) {
            ours += std::to_string(value) + " ";
        }
        std::string theirs = *peer;
        std::replace(theirs.begin(), theirs.end(), '\n', ' ');
        theirs.erase(std::unique(theirs.begin(), theirs.end(),
                                 [](char a, char b) { return a == ' ' && b == ' '; }),
                     theirs.end());
        theirs.erase(0, theirs.find_first_not_of(' '));
        EXPECT_EQ(theirs, ours);
    } else {
        std::printf("netpbm's ilbmtoppm is not installed; the peer's reading was not tried\n");
    }
    // More than 256 colours are reduced to 256 (refused when exact); true colour is not a
    // choice.
    Bytes many;
    for (uint32_t i = 0; i < 300; ++i) {
        many.insert(many.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8U), 7});
    }
    const orvi::Image rich = image(many, 300, 1);
    chunky.exact = true;
    EXPECT_FALSE(library_.save(rich, folder_.path("rich.lbm"), chunky, error));
    EXPECT_NE(error.sentence.find("300"), std::string::npos) << error.sentence;
    chunky.exact = false;
    std::vector<std::string> notes;
    EXPECT_TRUE(library_.save(rich, folder_.path("rich.lbm"), chunky, error, &notes))
        << error.sentence;
    EXPECT_EQ(notes, std::vector<std::string>{"its colours were reduced to the 256 a depth of 8 holds"});
    chunky.depth = 24;
    EXPECT_FALSE(library_.save(rich, folder_.path("rich.lbm"), chunky, error));
    EXPECT_EQ(error.sentence, "IFF-PBM files take a depth of 1 to 8, a palette of at most 256 "
                              "colours");
    EXPECT_EQ(error.option, "depth");
}

TEST_F(LibraryTest, GreyFilesHoldGreyPixels) {
    // Grey levels are kept exactly; colours become luma as netpbm's ppmtopgm makes it.
    const Bytes grey_levels = {0, 0, 0, 7, 7, 7, 128, 128, 128, 255, 255, 255};
    const Bytes colours = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 200, 30};
    const std::string kGreyRaw("\0\x07\x80\xff", 4);
    orvi::Error error;
    struct Row {
        const char* name;
        Bytes pixels;
        std::string want; // the file's header and samples
        bool plain;
    };
    const Row rows[] = {
        {"grey.pgm", grey_levels, std::string("P5\n#Created with Orvi\n2 2\n255\n") + kGreyRaw,
         false},
        {"grey-plain.pgm", grey_levels, "P2\n#Created with Orvi\n2 2\n255\n0 7 128 255\n", true},
        {"colour.pgm", colours, "P5\n#Created with Orvi\n2 2\n255\n\x4d\x95\x1d\x7c", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const orvi::Image source = image(row.pixels, 2, 2);
        orvi::SaveOptions options;
        options.plain = row.plain;
        ASSERT_TRUE(library_.save(source, folder_.path(row.name), options, error))
            << error.sentence;
        EXPECT_EQ(read_file(folder_.path(row.name)), bytes_of(row.want));
        EXPECT_EQ(pixels_of(source), row.pixels) << "the image saved stays as it was";
    }
    if (!testing_support::have_program("ppmtopgm")) {
        GTEST_SKIP() << "netpbm's ppmtopgm is absent: luma against it is not compared";
    }
    Bytes all_kinds;
    for (uint32_t i = 0; i < 4096; ++i) {
        all_kinds.insert(all_kinds.end(),
                         {static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 11),
                          static_cast<uint8_t>(i * 5 + i / 16)});
    }
    const orvi::Image many = image(all_kinds, 64, 64);
    ASSERT_TRUE(library_.save(many, folder_.path("many.ppm"), {}, error));
    ASSERT_TRUE(library_.save(many, folder_.path("many.pgm"), {}, error));
    const auto peer = testing_support::run_capture("ppmtopgm " + folder_.path("many.ppm"));
    ASSERT_TRUE(peer);
    const Bytes ours = read_file(folder_.path("many.pgm"));
    ASSERT_GE(peer->size(), 4096U);
    EXPECT_EQ(Bytes(ours.end() - 4096, ours.end()), Bytes(peer->end() - 4096, peer->end()));
}

TEST_F(LibraryTest, OperationsChangeTheImageAndRefuseWhatCannotBe) {
    orvi::Image picture = image({1, 2, 3, 4, 5, 6}, 2, 1);
    orvi::Error error;
    ASSERT_TRUE(library_.apply(picture, orvi::Operation::rotate(false), error)) << error.sentence;
    EXPECT_EQ(picture.width(), 1U);
    EXPECT_EQ(picture.height(), 2U);
    EXPECT_EQ(pixels_of(picture), (Bytes{1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(library_.apply(picture, orvi::Operation::negate(), error));
    EXPECT_EQ(pixels_of(picture), (Bytes{254, 253, 252, 251, 250, 249}));
    ASSERT_TRUE(library_.apply(picture, orvi::Operation::gray(), error));
    EXPECT_EQ(picture.bytes_per_pixel(), 1U);
    EXPECT_EQ(pixels_of(picture), (Bytes{254, 251}));
    // Filter names: case, spaces and dashes do not matter.
    for (const char* name : {"Blur 3", "blur3", "BLUR-3", "blur_3"}) {
        EXPECT_TRUE(library_.find_filter(name, error)) << name;
    }
    ASSERT_TRUE(library_.apply(picture, orvi::Operation::convolve("sharpen"), error));
    struct Refusal {
        orvi::Operation operation;
        int32_t code;
        std::string says;
    };
    const Refusal refusals[] = {
        {orvi::Operation::gamma(0), orvi::kBadOperation, "the gamma is outside 0.01..100"},
        {orvi::Operation::resize(0, 4), orvi::kBadOperation, "a side is outside 1..65535"},
        {orvi::Operation::kernel({1, 2, 3}), orvi::kBadOperation, "a kernel has 9 or 25 weights"},
        {orvi::Operation::fill(1, 2, 3), orvi::kBadOperation,
         "it needs a colour picture, not a grey one"},
        {orvi::Operation::convolve("nothing"), orvi::kBadOperation,
         "no filter named 'nothing' (the filters: custom, blur3, gaussian, laplace, median, "
         "prewitt, sharpen, sobel; case, spaces and dashes do not matter)"},
    };
    for (const Refusal& row : refusals) {
        SCOPED_TRACE(row.says);
        EXPECT_FALSE(library_.apply(picture, row.operation, error));
        EXPECT_EQ(error.code, row.code);
        EXPECT_EQ(error.sentence, row.says);
        EXPECT_EQ(error.kind(), orvi::ErrorKind::Usage);
    }
    EXPECT_EQ(library_.filters(error).size(), 8U);
}

// A PCX file whose 256-colour palette follows its image data, then padding: the reader
// colours it from that palette, and the details name it.
Bytes pcx_with_padded_trailer() {
    Bytes file(128, 0);
    file[0] = 10;
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    file[8] = 1; // 2 x 1
    file[65] = 1;
    file[66] = 2;
    file.insert(file.end(), {3, 4}); // indices 3 and 4
    file.push_back(12);
    for (uint32_t i = 0; i < 256; ++i) {
        file.insert(file.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i + 1), 9});
    }
    file.insert(file.end(), 1000, 0); // padding after the trailer
    return file;
}

TEST_F(LibraryTest, DetailsAreWhatTheReaderDecided) {
    orvi::Error error;
    const auto pcx = library_.load(pcx_with_padded_trailer(), error);
    ASSERT_TRUE(pcx) << error.sentence;
    EXPECT_EQ(pixels_of(*pcx), (Bytes{3, 4, 9, 4, 5, 9}));
    const orvi::Details& details = pcx->details();
    ASSERT_EQ(details.size(), 10U);
    EXPECT_EQ(details[8].key, "palette");
    EXPECT_EQ(details[8].text(), "256-colour trailer");
    EXPECT_EQ(details[9].key, "palette_entries");
    EXPECT_EQ(details[9].number(), 256);
    // Every written format's details, keys in order, with what the reader saw.
    struct Written {
        const char* extension;
        std::string keys; // after format, width, height and bits_per_pixel
        std::string bits;
    };
    const Written written[] = {
        {"ppm", "kind maximum", "24"},
        // A picture of few colours takes the smallest palette that holds them.
        {"pcx", "version bits planes colour_type palette palette_entries", "4"},
        {"iff", "display_mode planes compression masking palette_entries", "4"},
        {"png", "bit_depth colour_type interlaced palette_entries", "4"},
    };
    const orvi::Image colour = image(colourful(), 5, 3);
    for (const Written& row : written) {
        SCOPED_TRACE(row.extension);
        const std::string path = folder_.path(std::string("d.") + row.extension);
        ASSERT_TRUE(library_.save(colour, path, {}, error)) << error.sentence;
        const auto loaded = library_.load(path, error);
        ASSERT_TRUE(loaded) << error.sentence;
        std::string keys;
        for (size_t i = 4; i < loaded->details().size(); ++i) {
            keys += (keys.empty() ? "" : " ") + loaded->details()[i].key;
        }
        EXPECT_EQ(keys, row.keys);
        EXPECT_EQ(loaded->details().at(1).number(), 5) << "a number, not a text";
        EXPECT_EQ(loaded->details().at(3).text(), row.bits);
    }
    struct Row {
        const char* reason;
        Bytes file;
        std::string bits; // bits per pixel in the file
    };
    const Row rows[] = {
        {"PBM raw", concat(bytes_of("P4 8 1 "), {0x55}), "1"},
        {"PBM plain", bytes_of("P1 2 1 0 1"), "1"},
        {"16-bit PGM", concat(bytes_of("P5 1 1 65535 "), {1, 2}), "16"},
        {"16-bit PPM", concat(bytes_of("P6 1 1 1000 "), {0, 1, 0, 2, 0, 3}), "48"},
        {"XPM of two characters a pixel", bytes_of("\"1 1 1 2\" \"ab c red\" \"ab\""), "16"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        const auto loaded = library_.load(row.file, error);
        ASSERT_TRUE(loaded) << error.sentence;
        EXPECT_EQ(loaded->details().at(3).text(), row.bits);
    }
}

TEST_F(LibraryTest, FailuresAreSaidInTheFilesOwnTerms) {
    const Bytes bmhd = {0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1, 1, 0, 1, 0, 1};
    Bytes ilbm = bytes_of("FORM");
    const Bytes body = concat(concat(bytes_of("ILBMBMHD"), {0, 0, 0, 20}),
                              concat(bmhd, concat(bytes_of("BODY"), {0, 0, 0, 2, 0, 0})));
    ilbm = concat(ilbm, {0, 0, 0, static_cast<uint8_t>(body.size())});
    ilbm = concat(ilbm, body);
    struct Row {
        const char* reason;
        Bytes file;
        int32_t code;
        std::string says;
        orvi::ErrorKind kind;
    };
    const Row rows[] = {
        {"BMHD compression 2", ilbm, 114, "unknown BMHD compression method 2 (code 114)",
         orvi::ErrorKind::Unsupported},
        {"PNM width 0", bytes_of("P6\n0 1\n255\n"), 1003,
         "the width 0 is outside 1..32767 (code 1003)", orvi::ErrorKind::Damaged},
        {"XPM of 6 characters a pixel", bytes_of("\"1 1 1 6\""), 1203,
         "XPM characters per pixel 6 outside 1..5 (code 1203)", orvi::ErrorKind::Damaged},
        {"an empty file", {}, orvi::kNotRecognised, "it is empty", orvi::ErrorKind::Unsupported},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        orvi::Error error;
        EXPECT_FALSE(library_.load(row.file, error));
        EXPECT_EQ(error.code, row.code);
        EXPECT_EQ(error.sentence, row.says);
        EXPECT_EQ(error.kind(), row.kind);
    }
    orvi::Error error;
    EXPECT_FALSE(library_.load(folder_.path("missing.ppm"), error));
    EXPECT_EQ(error.kind(), orvi::ErrorKind::Access);
}

TEST_F(LibraryTest, AFailedFlushToTheDiskKeepsTheOldFile) {
    const orvi::Image first = image({1, 2, 3}, 1, 1);
    const orvi::Image second = image({4, 5, 6}, 1, 1);
    const std::string path = folder_.path("kept.ppm");
    orvi::Error error;
    ASSERT_TRUE(library_.save(first, path, {}, error)) << error.sentence;
    const Bytes before = read_file(path);
    orvi::seam::fail_fsync(true);
    const bool saved = library_.save(second, path, {}, error);
    orvi::seam::fail_fsync(false);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error.sentence,
              "it cannot be flushed to the disk (Input/output error); the old file is kept");
    EXPECT_EQ(error.kind(), orvi::ErrorKind::Access);
    EXPECT_EQ(read_file(path), before);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.root())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"kept.ppm"}) << "no temporary file is left";
}

TEST_F(LibraryTest, AnImageSaysWhatItsFileLeftOut) {
    orvi::Error error;
    const auto whole = library_.load(concat(bytes_of("P6\n2 2\n255\n"), Bytes(12, 7)), error);
    ASSERT_TRUE(whole) << error.sentence;
    EXPECT_TRUE(whole->complete());
    EXPECT_TRUE(whole->gaps().empty());
    const auto cut = library_.load(concat(bytes_of("P6\n2 2\n255\n"), Bytes(7, 7)), error);
    ASSERT_TRUE(cut) << error.sentence;
    EXPECT_FALSE(cut->complete());
    EXPECT_EQ(cut->gaps(),
              std::vector<std::string>{"the image data ends at row 1 of 2; the rest is black"});
    EXPECT_EQ(pixels_of(*cut), concat(Bytes(7, 7), Bytes(5, 0)))
        << "the pixels are what the lenient reader makes of the file";
}

// The corpus files a peer decodes that orvi refuses, and why.
const struct {
    const char* file;
    const char* why;
} kPeerReadsOrviRefuses[] = {
    {"pcx/gen-8bit-70x46-uncompressed.pcx",
     "PCX encoding 0: the PCX reader's rules refuse every encoding but 1"},
    {"pcx/gen-24bit-70x46-uncompressed.pcx", "PCX encoding 0, as above"},
    {"xpm/xpm1-plaid-22x22.xpm", "XPM1 (C #defines and arrays): the XPM reader reads XPM 3"},
    {"xpm/xpm2-plaid-22x22.xpm", "XPM2 (unquoted lines): the XPM reader reads XPM 3"},
};

TEST_F(LibraryTest, EveryCorpusFileAPeerDecodesIsReadSaveTheListed) {
    // The shared corpus's manifest says what the peers made of each file.
    std::ifstream manifest(std::filesystem::path(ORVI_SHARED_DIR) / "corpus" / "MANIFEST.md");
    if (!manifest) {
        GTEST_SKIP() << "../shared/corpus is absent, so the peers' results are unknown";
    }
    std::string folder;
    int decoded = 0;
    for (std::string line; std::getline(manifest, line);) {
        if (line.starts_with("## ")) {
            const size_t tick = line.rfind("`", line.size() - 2);
            folder = tick == std::string::npos ? "" : line.substr(tick + 1, line.size() - tick - 2);
            continue;
        }
        if (!line.starts_with("| `") || folder.empty()) {
            continue;
        }
        const std::string name = folder + line.substr(3, line.find('`', 3) - 3);
        const std::string peer = line.substr(line.rfind('|', line.size() - 2));
        if (peer.find("decodes") == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(name);
        const auto listed =
            std::find_if(std::begin(kPeerReadsOrviRefuses), std::end(kPeerReadsOrviRefuses),
                         [&](const auto& entry) { return name == entry.file; });
        orvi::Error error;
        const auto image = library_.load(
            (std::filesystem::path(ORVI_SHARED_DIR) / "corpus" / name).string(), error);
        EXPECT_EQ(image.has_value(), listed == std::end(kPeerReadsOrviRefuses)) << error.sentence;
        decoded += image ? 1 : 0;
    }
    EXPECT_GE(decoded, 100) << "the manifest's rows were found";
}

TEST(LibraryModules, AMissingModuleIsAnAccessError) {
    orvi::Options options;
    options.module_folder = "/nonexistent";
    orvi::Library library(options);
    orvi::Error error;
    EXPECT_FALSE(library.load(bytes_of("P6\n1 1\n255\nabc"), error));
    EXPECT_EQ(error.code, orvi::kNoModule);
    EXPECT_EQ(error.kind(), orvi::ErrorKind::Access);
}

TEST(LibraryBands, EveryItemIsWorkedOnOnceInAtMostTheThreadsAllowed) {
    for (const uint32_t threads : {1U, 3U}) {
        orvi::Options options;
        options.threads = threads;
        const orvi::Library library(options);
        for (const size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}, size_t{4099}}) {
            std::vector<std::atomic<int>> seen(count);
            std::mutex lock;
            std::vector<std::pair<size_t, size_t>> ranges;
            library.in_bands(count, 100, [&](size_t first, size_t end) {
                for (size_t i = first; i < end; ++i) {
                    ++seen[i];
                }
                const std::lock_guard<std::mutex> held(lock);
                ranges.emplace_back(first, end);
            });
            for (size_t i = 0; i < count; ++i) {
                EXPECT_EQ(seen[i], 1) << threads << " " << count << " " << i;
            }
            EXPECT_LE(ranges.size(), std::max<size_t>(1, std::min<size_t>(threads, count / 100)))
                << threads << " threads, " << count << " items";
        }
    }
}

TEST(LibraryIndices, EachPixelTakesItsColoursFirstIndexOrNothingWhenOneIsMissing) {
    orvi::Library library;
    const uint8_t palette[] = {5, 6, 7, 1, 2, 3, 5, 6, 7};
    const uint8_t pixels[] = {5, 6, 7, 1, 2, 3, 1, 2, 3};
    orvi::Error error;
    const auto indices = library.palette_indices(pixels, 3, 1, palette, 3, error);
    ASSERT_TRUE(indices) << error.sentence;
    EXPECT_EQ((Bytes{indices->pixels(), indices->pixels() + 3}), (Bytes{0, 1, 1}));
    const uint8_t stranger[] = {9, 9, 9};
    EXPECT_FALSE(library.palette_indices(stranger, 1, 1, palette, 3, error));
    EXPECT_EQ(error.code, orvi::kDoesNotFit);
}

} // namespace
