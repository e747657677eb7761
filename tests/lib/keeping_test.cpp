// What a picture is beyond its pixels, kept from reader to writer: palettes in their
// order and their indices, transparency, and the file's description (texts, resolution,
// aspect, hot spot, display mode, colour ranges), across formats and through operations;
// the depth each save chooses; and peers reading what we write as we meant it. Every test
// ends with the pool's books: nothing live once the images are gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "lib/library_inside.h"
#include "orvi/orvi.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

orvi::SaveOptions at_depth(uint32_t depth) {
    orvi::SaveOptions options;
    options.depth = depth;
    return options;
}

orvi::Options with_modules() {
    orvi::Options options;
    options.module_folder = MODULE_DIR;
    return options;
}

// A corpus file by name, or empty when neither copy of the corpus has it.
std::string corpus_file(const std::string& format, const std::string& name) {
    for (const std::string& path : corpus_files(format)) {
        if (std::filesystem::path(path).filename() == name) {
            return path;
        }
    }
    return "";
}

Bytes be16(uint32_t v) {
    return {static_cast<uint8_t>(v >> 8U), static_cast<uint8_t>(v)};
}

// A 4 x 2 ILBM brush of 2 planes, plain BODY, with a CMAP of four colours in an order no
// sort would give, masking 2 with colour 3 transparent, an aspect of 10:11, texts, DPI, a
// hot spot, CAMG, a CRNG and a CCRT range.
Bytes described_brush() {
    Bytes bmhd = concat(concat(be16(4), be16(2)), Bytes{0, 0, 0, 0, 2, 2, 0, 0});
    bmhd = concat(concat(bmhd, be16(3)), Bytes{10, 11});
    bmhd = concat(bmhd, concat(be16(320), be16(256)));
    const Bytes cmap = {200, 0, 0, 0, 0, 0, 0, 200, 0, 9, 9, 200};
    // Row 0 indices 0 1 2 3, row 1 indices 3 2 1 0: plane 0 is bit 0 of each index.
    const Bytes body = {0x50, 0, 0x30, 0, 0xA0, 0, 0xC0, 0};
    const Bytes crng = concat(concat(be16(0), be16(4096)), concat(be16(3), Bytes{1, 2}));
    const Bytes ccrt = concat(concat(be16(1), Bytes{0, 3}), concat(be32(0), concat(be32(250000), be16(0))));
    Bytes form = bytes_of("ILBM");
    for (const Bytes& part :
         {chunk("BMHD", bmhd), chunk("CMAP", cmap), chunk("CAMG", be32(0x8004)),
          chunk("NAME", bytes_of("Brush")), chunk("AUTH", bytes_of("A. Painter")),
          chunk("(c) ", bytes_of("1990 \xA9 Somebody")), chunk("ANNO", bytes_of("made by hand")),
          chunk("DPI ", concat(be16(72), be16(80))), chunk("GRAB", concat(be16(1), be16(1))),
          chunk("CRNG", crng), chunk("CCRT", ccrt), chunk("BODY", body)}) {
        form = concat(form, part);
    }
    return concat(concat(bytes_of("FORM"), be32(static_cast<uint32_t>(form.size()))), form);
}

class Keeping : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(orvi::LibraryInside::pool(library_).live_blocks(), 0U)
            << "a block outlived every image";
    }
    orvi::Image load(const std::string& path, const orvi::LoadOptions& options = {}) {
        orvi::Error error;
        auto image = library_.load(path, error, options);
        EXPECT_TRUE(image) << path << ": " << error.sentence;
        return std::move(*image);
    }
    orvi::Image load(const Bytes& bytes) {
        orvi::Error error;
        auto image = library_.load(std::span<const uint8_t>(bytes), error);
        EXPECT_TRUE(image) << error.sentence;
        return std::move(*image);
    }
    void save(const orvi::Image& image, const std::string& name, orvi::SaveOptions options = {},
              std::vector<std::string>* notes = nullptr) {
        orvi::Error error;
        ASSERT_TRUE(library_.save(image, folder_.path(name), options, error, notes))
            << name << ": " << error.sentence;
    }
    orvi::Image image(const Bytes& pixels, uint32_t width, uint32_t height) {
        orvi::Error error;
        auto made = library_.make_image(width, height, 3, pixels.data(), error);
        EXPECT_TRUE(made) << error.sentence;
        return std::move(*made);
    }
    static Bytes indices_of(const orvi::Image& image) {
        return image.indices() == nullptr
                   ? Bytes{}
                   : Bytes(image.indices(), image.indices() + size_t{image.width()} * image.height());
    }
    static Bytes pixels_of(const orvi::Image& image) {
        return {image.pixels(), image.pixels() + image.size_in_bytes()};
    }
    // The palette, indices, transparency and description of two pictures are the same.
    // The pixels too unless `pixels` is false (a PNG shows a transparent colour black, an
    // ILBM as its palette entry).
    static void expect_same_picture(const orvi::Image& a, const orvi::Image& b,
                                    bool pixels = true) {
        EXPECT_EQ(a.palette(), b.palette());
        EXPECT_EQ(indices_of(a), indices_of(b));
        EXPECT_EQ(a.transparent_index(), b.transparent_index());
        EXPECT_EQ(a.description(), b.description());
        if (pixels) {
            EXPECT_EQ(pixels_of(a), pixels_of(b));
        }
    }
    std::string path(const std::string& name) const { return folder_.path(name); }

    testing_support::TempFolder folder_;
    orvi::Library library_{with_modules()};
};

TEST_F(Keeping, AnIlbmSaysWhatItIsAndKeepsItThroughPngAndBack) {
    write_file(path("brush.iff"), described_brush());
    const orvi::Image brush = load(path("brush.iff"));
    EXPECT_EQ(brush.palette(), (Bytes{200, 0, 0, 0, 0, 0, 0, 200, 0, 9, 9, 200}));
    EXPECT_EQ(indices_of(brush), (Bytes{0, 1, 2, 3, 3, 2, 1, 0}));
    EXPECT_EQ(brush.transparent_index(), 3);
    const orvi::Description& told = brush.description();
    EXPECT_EQ(told.texts, (std::vector<orvi::Text>{{"name", "Brush"},
                                                   {"author", "A. Painter"},
                                                   {"copyright", "1990 \xC2\xA9 Somebody"},
                                                   {"annotation", "made by hand"}}));
    EXPECT_EQ(told.dpi, (orvi::Pair{72, 80}));
    EXPECT_EQ(told.aspect, (orvi::Pair{10, 11}));
    EXPECT_EQ(told.hot_spot, (orvi::Pair{1, 1}));
    EXPECT_EQ(told.display_mode, 0x8004U);
    ASSERT_EQ(told.ranges.size(), 2U);
    EXPECT_EQ(told.ranges[0].steps_a_second(), 15.0);
    EXPECT_TRUE(told.ranges[0].live());
    EXPECT_EQ(told.ranges[1].kind, orvi::ColourRange::Kind::ccrt);
    EXPECT_EQ(told.ranges[1].steps_a_second(), 4.0);
    // ILBM -> PNG -> ILBM: the same indices, palette, transparency, ranges and texts.
    save(brush, "brush.png");
    save(load(path("brush.png")), "back.iff");
    expect_same_picture(brush, load(path("back.iff")));
    // ILBM -> ILBM, and the PNG itself, say the same.
    save(brush, "again.iff");
    expect_same_picture(brush, load(path("again.iff")));
    expect_same_picture(brush, load(path("brush.png")), false);
}

TEST_F(Keeping, CorpusPalettesKeepTheirOrderAndRangesThroughPng) {
    for (const char* name : {"3plane-320x256-dpps-crng-drng.iff", "ehb-320x256-crng.iff",
                             "pbm-chunky-380x133-dpps-crng-tiny.iff",
                             "5plane-16x16-mask2-uncompressed-grab.iff"}) {
        SCOPED_TRACE(name);
        const std::string file = corpus_file("ilbm", name);
        if (file.empty()) {
            std::printf("%s is in neither copy of the corpus; not tried\n", name);
            continue;
        }
        const orvi::Image original = load(file);
        ASSERT_FALSE(original.palette().empty());
        ASSERT_FALSE(original.description().ranges.empty());
        save(original, "round.png");
        save(load(path("round.png")), "round.iff");
        const orvi::Image back = load(path("round.iff"));
        EXPECT_EQ(original.palette(), back.palette());
        EXPECT_EQ(indices_of(original), indices_of(back));
        EXPECT_EQ(original.transparent_index(), back.transparent_index());
        EXPECT_EQ(original.description().ranges, back.description().ranges);
        EXPECT_EQ(original.description().texts, back.description().texts);
        EXPECT_EQ(original.description().hot_spot, back.description().hot_spot);
        // Extra half-brite is written as the 64 colours it shows: its CAMG keeps the rest.
        EXPECT_EQ(original.description().display_mode.value_or(0) & ~0x80U,
                  back.description().display_mode.value_or(0));
        EXPECT_EQ(pixels_of(original), pixels_of(back));
    }
}

TEST_F(Keeping, EveryDepthChoice) {
    // Four colours, and more than 256.
    const Bytes four = {0, 0, 0, 255, 255, 255, 200, 10, 10, 10, 200, 10};
    Bytes many;
    for (uint32_t i = 0; i < 300; ++i) {
        many.insert(many.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8U), 7});
    }
    write_file(path("pal.iff"), described_brush());
    struct Row {
        const char* reason;
        const char* source; // "four", "many" (true colour, 2 x 2 and 20 x 15) or "palette"
        const char* out;
        uint32_t depth;
        bool exact;
        uint32_t planes; // the depth written: BMHD planes, PCX bits x planes, PNG bit depth
        std::vector<std::string> notes; // {"refused"}: the save fails
    };
    const std::string lost = "its transparency is lost, as PCX files hold none";
    const Row rows[] = {
        {"few colours take the smallest depth", "four", "a.iff", 0, false, 2, {}},
        {"PCX's depths are 1, 2, 4, 8", "four", "a.pcx", 0, false, 2, {}},
        {"24 keeps true colour", "four", "a.iff", 24, false, 24, {}},
        {"a larger depth is taken as asked", "four", "a.iff", 5, false, 5, {}},
        {"more than 256 colours stay true colour", "many", "a.iff", 0, false, 24, {}},
        {"a depth that cannot hold them reduces", "many", "a.pcx", 4, false, 4,
         {"its colours were reduced to the 16 a depth of 4 holds"}},
        {"exact refuses", "many", "a.pcx", 4, true, 0, {"refused"}},
        {"a palette picture keeps its depth", "palette", "a.iff", 0, false, 2, {}},
        {"a palette picture in PNG", "palette", "a.png", 0, false, 2, {}},
        {"a palette picture in PCX", "palette", "a.pcx", 0, false, 2, {lost}},
        {"a palette picture asked for more", "palette", "a.pcx", 8, false, 8, {lost}},
        // Its transparent colour then becomes a mask plane.
        {"a palette picture asked for less reduces", "palette", "a.iff", 1, false, 1,
         {"its colours were reduced to the 2 a depth of 1 holds"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        const std::string source = row.source;
        const orvi::Image picture = source == "four"    ? image(four, 2, 2)
                                    : source == "many"  ? image(many, 20, 15)
                                                        : load(path("pal.iff"));
        orvi::SaveOptions options;
        options.depth = row.depth;
        options.exact = row.exact;
        std::vector<std::string> notes;
        orvi::Error error;
        const bool saved = library_.save(picture, path(row.out), options, error, &notes);
        if (row.notes == std::vector<std::string>{"refused"}) {
            EXPECT_FALSE(saved);
            EXPECT_EQ(error.option, "exact");
            continue;
        }
        ASSERT_TRUE(saved) << error.sentence;
        EXPECT_EQ(notes, row.notes);
        const orvi::Image back = load(path(row.out));
        const std::string key = std::string(row.out).ends_with(".png")   ? "bit_depth"
                                : std::string(row.out).ends_with(".pcx") ? "bits"
                                                                         : "planes";
        int64_t planes = back.detail(key)->number();
        if (key == "bits") {
            planes *= back.detail("planes")->number();
        }
        EXPECT_EQ(planes, row.planes);
        // The colours are kept exactly (a PNG shows its transparent colour black).
        if (row.notes.empty() && !(source == "palette" && key == "bit_depth")) {
            EXPECT_EQ(pixels_of(back), pixels_of(picture));
        }
        if (source == "palette" && row.depth != 1) {
            EXPECT_EQ(indices_of(back), indices_of(picture));
        }
    }
}

TEST_F(Keeping, SixteenColourPcxStaysFourPlanes) {
    for (const char* name : {"ega-4x1bit-38x48.pcx", "4bit-chunky-32x32.pcx"}) {
        SCOPED_TRACE(name);
        const std::string file = corpus_file("pcx", name);
        if (file.empty()) {
            std::printf("%s is in neither copy of the corpus; not tried\n", name);
            continue;
        }
        const orvi::Image original = load(file);
        save(original, "again.pcx");
        const orvi::Image again = load(path("again.pcx"));
        EXPECT_EQ(again.detail("bits")->number() * again.detail("planes")->number(), 4);
        expect_same_picture(original, again);
    }
}

TEST_F(Keeping, TwoColoursOfOneBitSurviveOurOwnReader) {
    const Bytes two = {200, 30, 30, 20, 200, 40};
    save(image(two, 2, 1), "two.pcx", at_depth(1));
    const orvi::Image back = load(path("two.pcx"));
    EXPECT_EQ(pixels_of(back), two);
    EXPECT_EQ(back.detail("version")->number(), 2) << "the version whose header holds them";
    if (have_program("pcxtoppm")) {
        const auto theirs = run_capture("pcxtoppm " + shell_quote(path("two.pcx")) + " 2>/dev/null");
        ASSERT_TRUE(theirs);
        EXPECT_EQ(theirs->substr(theirs->size() - 6), std::string(two.begin(), two.end()));
    } else {
        std::printf("netpbm's pcxtoppm is not installed; the peer's reading was not tried\n");
    }
}

TEST_F(Keeping, TransparencyTravelsWhereTheFormatHoldsIt) {
    // An XPM with None -> PNG -> XPM with None.
    write_file(path("icon.xpm"), bytes_of("/* XPM */\nstatic char *x[] = {\n\"3 1 2 1 1 0\",\n"
                                          "\"a c None\",\n\"b c #102030\",\n\"aba\"};\n"));
    const orvi::Image icon = load(path("icon.xpm"));
    EXPECT_EQ(icon.transparent_index(), 0);
    EXPECT_EQ(icon.description().hot_spot, (orvi::Pair{1, 0}));
    save(icon, "icon.png");
    save(load(path("icon.png")), "back.xpm");
    const Bytes back = read_file(path("back.xpm"));
    const std::string text(back.begin(), back.end());
    EXPECT_NE(text.find("\"3 1 2 1 1 0\""), std::string::npos) << text;
    EXPECT_NE(text.find(" c None\""), std::string::npos) << text;
    expect_same_picture(icon, load(path("back.xpm")));
    // An opacity a pixel: PAM RGB_ALPHA keeps it with the colours under it.
    const Bytes pam = concat(bytes_of("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\n"
                                      "TUPLTYPE RGB_ALPHA\nENDHDR\n"),
                             {200, 100, 50, 128, 10, 20, 30, 255});
    write_file(path("in.pam"), pam);
    const orvi::Image alpha = load(path("in.pam"));
    ASSERT_NE(alpha.alpha(), nullptr);
    EXPECT_EQ(pixels_of(alpha), (Bytes{100, 50, 25, 10, 20, 30})) << "composed onto black";
    for (const char* out : {"a.png", "a.pam"}) {
        SCOPED_TRACE(out);
        save(alpha, out);
        const orvi::Image again = load(path(out));
        ASSERT_NE(again.alpha(), nullptr);
        EXPECT_EQ(Bytes(again.alpha(), again.alpha() + 2), (Bytes{128, 255}));
        EXPECT_EQ(Bytes(again.straight_pixels(), again.straight_pixels() + 6),
                  (Bytes{200, 100, 50, 10, 20, 30}));
    }
    // Elsewhere it is composed onto black, or onto the background asked for.
    std::vector<std::string> notes;
    save(alpha, "flat.ppm", {}, &notes);
    EXPECT_EQ(notes, std::vector<std::string>{"its transparency is lost, as PNM files hold none"});
    EXPECT_EQ(pixels_of(load(path("flat.ppm"))), (Bytes{100, 50, 25, 10, 20, 30}));
    orvi::SaveOptions white;
    white.background = 0xFFFFFF;
    save(alpha, "white.png", white);
    const orvi::Image flat = load(path("white.png"));
    EXPECT_EQ(flat.alpha(), nullptr);
    EXPECT_EQ(pixels_of(flat), (Bytes{227, 177, 152, 10, 20, 30}));
}

TEST_F(Keeping, AMaskedBrushBecomesPngAlphaAndAMaskPlaneAgain) {
    const std::string file = corpus_file("ilbm", "4plane-24x24-mask1-uncompressed.iff");
    if (file.empty()) {
        GTEST_SKIP() << "the masked brush is in neither copy of the corpus";
    }
    const orvi::Image brush = load(file);
    ASSERT_NE(brush.alpha(), nullptr);
    const Bytes mask(brush.alpha(), brush.alpha() + 24 * 24);
    save(brush, "brush.png");
    const orvi::Image png = load(path("brush.png"));
    ASSERT_TRUE(png.has_transparency());
    // The mask as the PNG gives it back: by palette entry, or a pixel's own opacity.
    Bytes shown(24 * 24);
    for (size_t i = 0; i < shown.size(); ++i) {
        shown[i] = png.alpha() != nullptr                       ? png.alpha()[i]
                   : png.indices()[i] == png.transparent_index() ? 0
                                                                 : 255;
    }
    EXPECT_EQ(shown, mask);
    // As 24 planes it takes a mask plane.
    save(brush, "deep.iff", at_depth(24));
    const orvi::Image deep = load(path("deep.iff"));
    EXPECT_EQ(deep.detail("masking")->number(), 1);
    ASSERT_NE(deep.alpha(), nullptr);
    EXPECT_EQ(Bytes(deep.alpha(), deep.alpha() + mask.size()), mask);
}

TEST_F(Keeping, OperationsCarryWhatStillHolds) {
    write_file(path("brush.iff"), described_brush());
    orvi::Error error;
    // A change of colour changes the palette; the indices and ranges keep their meaning.
    orvi::Image negated = load(path("brush.iff"));
    ASSERT_TRUE(library_.apply(negated, orvi::Operation::negate(), error)) << error.sentence;
    EXPECT_EQ(negated.palette(), (Bytes{55, 255, 255, 255, 255, 255, 255, 55, 255, 246, 246, 55}));
    EXPECT_EQ(indices_of(negated), (Bytes{0, 1, 2, 3, 3, 2, 1, 0}));
    EXPECT_EQ(negated.description().ranges.size(), 2U);
    // A quarter turn clockwise moves the indices and the hot spot, and turns the pixel.
    orvi::Image turned = load(path("brush.iff"));
    ASSERT_TRUE(library_.apply(turned, orvi::Operation::rotate(false), error)) << error.sentence;
    EXPECT_EQ(indices_of(turned), (Bytes{3, 0, 2, 1, 1, 2, 0, 3}));
    EXPECT_EQ(turned.description().hot_spot, (orvi::Pair{0, 1}));
    EXPECT_EQ(turned.description().aspect, (orvi::Pair{11, 10}));
    EXPECT_EQ(turned.description().dpi, (orvi::Pair{80, 72}));
    // A convolution leaves no palette the pixels come from.
    orvi::Image blurred = load(path("brush.iff"));
    ASSERT_TRUE(library_.apply(blurred, orvi::Operation::convolve("blur 3"), error))
        << error.sentence;
    EXPECT_TRUE(blurred.palette().empty());
    EXPECT_EQ(blurred.indices(), nullptr);
    EXPECT_TRUE(blurred.description().ranges.empty());
    EXPECT_EQ(blurred.description().texts.size(), 4U);
}

TEST_F(Keeping, AskingForPixelsAloneLeavesTheRestOut) {
    write_file(path("brush.iff"), described_brush());
    orvi::LoadOptions pixels_only;
    pixels_only.extras = false;
    const orvi::Image bare = load(path("brush.iff"), pixels_only);
    EXPECT_TRUE(bare.palette().empty());
    EXPECT_EQ(bare.indices(), nullptr);
    EXPECT_TRUE(bare.description().empty());
    EXPECT_EQ(pixels_of(bare), pixels_of(load(path("brush.iff"))));
}

TEST_F(Keeping, AFailedLoadOrSaveLeavesNothingLive) {
    write_file(path("brush.iff"), described_brush());
    orvi::HostPool& pool = orvi::LibraryInside::pool(library_);
    // Each allocation of a load that keeps everything fails in turn.
    for (uint64_t nth = 1; nth < 16; ++nth) {
        SCOPED_TRACE(nth);
        pool.fail_allocation(nth);
        orvi::Error error;
        const auto image = library_.load(path("brush.iff"), error);
        pool.fail_allocation(0);
        EXPECT_EQ(pool.live_blocks(), image ? 1U + (image->indices() != nullptr ? 1U : 0U) : 0U)
            << error.sentence;
    }
    const orvi::Image brush = load(path("brush.iff"));
    const uint64_t held = pool.live_blocks();
    for (const char* out : {"x.png", "x.iff", "x.pam", "x.xpm", "x.pcx"}) {
        for (uint64_t nth = 1; nth < 6; ++nth) {
            pool.fail_allocation(nth);
            orvi::Error error;
            (void)library_.save(brush, path(out), {}, error);
            pool.fail_allocation(0);
            EXPECT_EQ(pool.live_blocks(), held) << out << " " << nth;
        }
    }
}

TEST_F(Keeping, PeersReadWhatWeWriteAsWeMeantIt) {
    write_file(path("brush.iff"), described_brush());
    const orvi::Image brush = load(path("brush.iff"));
    save(brush, "brush.png");
    save(brush, "again.iff");
    if (have_program("pngcheck")) {
        const auto told = run_capture("pngcheck -t -v " + shell_quote(path("brush.png")));
        ASSERT_TRUE(told);
        for (const char* seen : {"4 palette entries", "4 transparency entries", "keyword: Title",
                                 "Brush", "keyword: Author", "keyword: Comment", "pHYs"}) {
            EXPECT_NE(told->find(seen), std::string::npos) << seen << " in\n" << *told;
        }
    } else {
        std::printf("pngcheck is not installed; its reading was not tried\n");
    }
    if (have_program("ilbmtoppm")) {
        const auto told = run_capture("ilbmtoppm -verbose " + shell_quote(path("again.iff")) +
                                      " 2>&1 >/dev/null");
        ASSERT_TRUE(told);
        for (const char* seen : {"Brush", "A. Painter", "made by hand"}) {
            EXPECT_NE(told->find(seen), std::string::npos) << seen << " in\n" << *told;
        }
    } else {
        std::printf("netpbm's ilbmtoppm is not installed; its reading was not tried\n");
    }
    if (have_program("xpmtoppm")) {
        save(brush, "brush.xpm");
        ASSERT_TRUE(run_capture("xpmtoppm --alphaout=" + shell_quote(path("alpha.pgm")) + " " +
                                shell_quote(path("brush.xpm")) + " >/dev/null"));
        // A bitmap, black where transparent: indices 0 1 2 3 / 3 2 1 0, colour 3 transparent.
        EXPECT_EQ(read_file(path("alpha.pgm")), concat(bytes_of("P4\n4 2\n"), {0x10, 0x80}));
    } else {
        std::printf("xpmtoppm is not installed; its reading was not tried\n");
    }
}

} // namespace
