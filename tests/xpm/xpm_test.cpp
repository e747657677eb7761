// XPM_Read: values strings, colour strings (hexadecimal, names, several keys), the
// scanner's comments and strings, pixel codes, gauge reports, failure paths, the colour
// name table, and the corpus.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>
#include <set>

#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"
#include "tests/support/peers.h"
#include "xpm/xpm_format.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;

// An XPM file of the given strings, C style, with a comment in front.
Bytes xpm(std::initializer_list<std::string> strings) {
    std::string text = "/* XPM */\nstatic char *x[] = {\n";
    for (const std::string& s : strings) {
        text += "\"" + s + "\",\n";
    }
    return bytes_of(text + "};\n");
}

class XpmRead : public testing_support::CodecHarness {};

TEST_F(XpmRead, ValuesStringsAreCheckedInOrder) {
    struct Row {
        const char* values;
        int32_t code;
    };
    const Row rows[] = {
        {"1 1 1 1", kOk},
        {"1 1 1 1 0 0 XPMEXT", kOk},
        {"1 1 0 1", kXpmBadColours},
        {"1 1 32767 1", kXpmBadColours},
        {"1 1 1 6", kXpmBadCharsPerPixel},
        {"0 1 1 1", kXpmBadWidth},
        {"1 32768 1 1", kXpmBadHeight},
        {"1 1 -1 1", kXpmBadColours},
        {"99999999999999 1 1 1", kXpmBadWidth},
        {"4294967297 1 1 1", kXpmBadWidth},
        {"1 4294967300 1 1", kXpmBadHeight},
        {"1 1 4294967297 1", kXpmBadColours},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.values);
        EXPECT_EQ(load_bytes(xpm({row.values, "a c red", "a"})), row.code);
        if (row.code != kOk) {
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books();
    }
    EXPECT_EQ(load_bytes(bytes_of("no strings here /* \"1 1 1 1\" */")), kXpmBadColours)
        << "a file without a values string is no picture";
    testing_support::expect_cleared(pic_);
}

TEST_F(XpmRead, ColourStringsGiveTheirColours) {
    struct Row {
        const char* colour;
        Bytes pixel;
    };
    const Row rows[] = {
        {"a c #FF0000", {255, 0, 0}},
        {"a c #ff0000", {255, 0, 0}},
        {"a c #FFFF00000000", {255, 0, 0}},
        {"a c #F00", {240, 0, 0}},
        {"a c #FFF", {240, 240, 240}},
        {"a c #123456789", {0x12, 0x45, 0x78}},
        {"a c #12345", {0x12, 0x34, 0}},
        {"a c light green", {144, 238, 144}},
        {"a c   light    green", {144, 238, 144}},
        {"a c LightGreen", {144, 238, 144}},
        {"a c None", {0, 0, 0}},
        {"a c gray", {190, 190, 190}},
        {"a c", {255, 0, 0}},
        {"a c #00FF00 ", {255, 0, 0}},
        {"a c #GG0000", {255, 0, 0}},
        {"a c nosuchname", {255, 0, 0}},
        {"a m white g grey c blue", {0, 0, 255}},
        {"a m white c blue", {0, 0, 255}},
        {"a s name c blue", {0, 0, 255}},
        {"a c blue m white", {0, 0, 255}},
        {"a m white", {255, 255, 255}},
        {"a c nosuchname m white", {255, 255, 255}},
        {"a s symbol", {255, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.colour);
        ASSERT_EQ(load_bytes(xpm({"1 1 1 1", row.colour, "a"})), kOk);
        EXPECT_EQ(pixels(), row.pixel);
        expect_clean_books();
    }
}

TEST_F(XpmRead, ScannerAndPixelCodes) {
    struct Row {
        const char* reason;
        Bytes file;
        int32_t width;
        Bytes pixels;
    };
    const Bytes blue{0, 0, 255};
    const Row rows[] = {
        {"a quoted string inside a comment is ignored",
         bytes_of("/* \"9 9 9 9\" */ \"1 1 1 1\" \"a c blue\" /* \"b\" */ \"a\""), 1, blue},
        {"comment marks inside a string are text", xpm({"1 1 1 2", "/* c blue", "/*"}), 1, blue},
        {"a tab is the code of a space", bytes_of("\"1 1 1 1\" \"  c blue\" \"\t\""), 1, blue},
        {"unknown one-character code takes entry 0",
         xpm({"2 1 2 1", "a c blue", "b c red", "az"}),
         2,
         {0, 0, 255, 0, 0, 255}},
        {"unknown three-character code is skipped",
         xpm({"2 1 2 3", "aaa c blue", "bbb c red", "zzzbbbaaa"}),
         2,
         {255, 0, 0, 0, 0, 255}},
        {"the first of two equal long codes wins",
         xpm({"1 1 2 3", "aaa c blue", "aaa c red", "aaa"}), 1, blue},
        {"the last of two equal short codes wins", xpm({"1 1 2 1", "a c red", "a c blue", "a"}), 1,
         blue},
        {"one string fills two rows",
         xpm({"2 2 1 1", "a c blue", "aaaa"}),
         2,
         {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255}},
        {"an incomplete last pixel is not written",
         xpm({"2 1 1 2", "ab c blue", "aba"}),
         2,
         {0, 0, 255, 0, 0, 0}},
        {"a colour string shorter than its code", xpm({"1 1 1 2", "a", "a "}), 1, {255, 0, 0}},
        {"an unterminated string ends with the file",
         bytes_of("\"1 1 1 1\" \"a c blue\" \"a"),
         1,
         {0, 0, 0}},
        {"the star of \"/*/\" does not close its comment",
         bytes_of("\"1 1 1 1\" \"a c blue\" /*/ \"b\" */ \"a\""), 1, blue},
        {"\"*/*\" closes a comment and opens none",
         bytes_of("\"1 1 1 1\" \"a c blue\" /* x */* \"a\""), 1, blue},
        {"an unterminated comment ends with the file",
         bytes_of("\"1 1 1 1\" \"a c blue\" /* \"a\""),
         1,
         {0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        ASSERT_EQ(load_bytes(row.file), kOk);
        EXPECT_EQ(pic_.Width, row.width);
        EXPECT_EQ(pixels(), row.pixels);
        expect_clean_books();
    }
}

TEST_F(XpmRead, LongStringsAreCutOrStreamedWithoutOverrun) {
    const std::string long_colour = "a c " + std::string(6000, 'x') + " blue";
    ASSERT_EQ(load_bytes(xpm({"1 1 1 1", long_colour, "a"})), kOk);
    EXPECT_EQ(pixels(), (Bytes{255, 0, 0})) << "the value was cut with its string";
    expect_clean_books();
    ASSERT_EQ(load_bytes(xpm({"10000 1 2 2", "ab c blue", "cd c red", std::string(20000, 'c')})),
              kOk);
    const Bytes wide = pixels();
    EXPECT_EQ(Bytes(wide.end() - 3, wide.end()), (Bytes{0, 0, 255}))
        << "a pixel string of 20000 characters fills the whole 10000-pixel row ('cd' pairs are "
           "read as 'cc', unknown, entry 0)";
}

TEST_F(XpmRead, ReportsProgressPerTenthOfTheStrings) {
    for (const int32_t height : {3, 20}) {
        std::vector<std::string> strings = {
            std::to_string(1) + " " + std::to_string(height) + " 1 1", "a c blue"};
        strings.insert(strings.end(), static_cast<size_t>(height), "a");
        std::string text;
        for (const std::string& s : strings) {
            text += "\"" + s + "\"\n";
        }
        const std::vector<int32_t> want =
            height == 3 ? std::vector<int32_t>{0, 100}
                        : std::vector<int32_t>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        EXPECT_EQ(gauge_reports(bytes_of(text)), want) << "height " << height;
        expect_clean_books();
    }
}

// Long codes are found by search in their sorted bucket; the search in order over the
// colour table is the rule it must give, first entry first, unknown codes -1. The sets
// include codes crowded into one bucket, the last bucket, and repeats.
TEST(XpmCodes, LongCodeLookupAgreesWithASearchInOrder) {
    std::mt19937 random(5);
    for (int round = 0; round < 60; ++round) {
        const uint32_t cpp = 3 + static_cast<uint32_t>(round % 3);
        const size_t count = 1 + random() % 3000;
        const int crowd = round % 4; // 0: any codes, 1: one bucket, 2: last bucket, 3: few chars
        auto character = [&](uint32_t position) {
            if ((crowd == 1 && position < 2) || (crowd == 2 && position < 2)) {
                return static_cast<uint8_t>(crowd == 1 ? 'q' : 127);
            }
            return static_cast<uint8_t>(crowd == 3 ? 'a' + random() % 3 : 32 + random() % 96);
        };
        std::vector<xpm::ColourEntry> colours(count);
        for (xpm::ColourEntry& entry : colours) {
            for (uint32_t i = 0; i < cpp; ++i) {
                entry.code[i] = character(i);
            }
        }
        std::array<int16_t, xpm::kLookupSide * xpm::kLookupSide> lookup{};
        std::vector<uint64_t> slots(xpm::index_slots(static_cast<int32_t>(count)));
        const xpm::CodeIndex index(colours, cpp, lookup.data(), slots);
        auto in_order = [&](const uint8_t* code) {
            for (size_t i = 0; i < count; ++i) {
                if (std::equal(code, code + cpp, colours[i].code)) {
                    return static_cast<int32_t>(i);
                }
            }
            return -1;
        };
        for (size_t probe = 0; probe < 2 * count; ++probe) {
            uint8_t code[xpm::kMaxCpp] = {};
            if (probe < count) {
                std::copy(colours[probe].code, colours[probe].code + cpp, code);
            } else {
                for (uint32_t i = 0; i < cpp; ++i) {
                    code[i] = character(i);
                }
            }
            ASSERT_EQ(index.find(code), in_order(code))
                << "round " << round << ", code " << std::string(code, code + cpp);
        }
    }
}

TEST_F(XpmRead, FailuresFreeEverything) {
    const Bytes file = xpm({"2 1 2 3", "aaa c blue", "bbb c red", "aaabbb"});
    for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
        pool_.fail_allocation(nth);
        const int32_t code = load_bytes(file);
        pool_.fail_allocation(0);
        if (code == kOk && nth > 5) {
            expect_clean_books();
            break;
        }
        if (code != kOk) {
            EXPECT_EQ(code, kOutOfMemory) << "allocation " << nth;
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books(); // a refused hash index falls back to searching in order
    }
    expect_file_faults_reported(file);
}

TEST(XpmNames, TheTableHoldsTheX11NamesOnce) {
    std::set<std::string> names;
    size_t count = 0;
    for (const xpm::XColor* colour = xpm::xcolor; colour->name != nullptr; ++colour, ++count) {
        names.insert(colour->name);
    }
    EXPECT_EQ(count, xpm::kNamedColours);
    EXPECT_EQ(names.size(), count) << "a name occurs twice";
    // The search by name finds every entry with its own colour.
    for (const xpm::XColor* colour = xpm::xcolor; colour->name != nullptr; ++colour) {
        xpm::ColourEntry entry{{}, -1, 0, 0};
        ASSERT_EQ(xpm::get_named_color(colour->name, entry), 1) << colour->name;
        EXPECT_EQ((uint32_t(uint16_t(entry.red)) << 24U) | (uint32_t(entry.green) << 16U) |
                      (uint32_t(entry.blue) << 8U),
                  colour->colour)
            << colour->name;
    }
    const std::pair<const char*, uint32_t> rows[] = {
        {"NONE", 0x000000},       {"BLACK", 0x000000},       {"GREEN", 0x00FF00},
        {"SNOW", 0xFFFAFA},       {"NAVY", 0x000080},        {"GRAY", 0xBEBEBE},
        {"GREY", 0xBEBEBE},       {"GOLD", 0xFFD700},        {"SNOW4", 0x8B8989},
        {"GREY50", 0x7F7F7F},     {"GRAY100", 0xFFFFFF},     {"DARK GREY", 0xA9A9A9},
        {"LIGHTGREEN", 0x90EE90}, {"LIGHT GREEN", 0x90EE90},
    };
    for (const auto& [name, rgb] : rows) {
        xpm::ColourEntry entry{{}, -1, 0, 0};
        ASSERT_EQ(xpm::get_named_color(name, entry), 1) << name;
        EXPECT_EQ((uint32_t(entry.red) << 16) | (uint32_t(entry.green) << 8) | uint32_t(entry.blue),
                  rgb)
            << name;
    }
    for (const char* missing : {"LIGHT  GREEN", "Light Green", "", "DEBIANRED"}) {
        xpm::ColourEntry entry{{}, -1, 0, 0};
        EXPECT_EQ(xpm::get_named_color(missing, entry), 0) << missing;
        EXPECT_EQ(entry.red, -1);
    }
}

class XpmCorpus : public testing_support::CodecHarness {};

TEST_F(XpmCorpus, EveryFileLoadsOrIsRefusedCleanly) {
    int loaded = 0;
    for (const std::string& path : testing_support::corpus_files("xpm")) {
        SCOPED_TRACE(path);
        const int32_t code = load_file(path);
        EXPECT_NE(result_code_text(code), nullptr) << "have code " << code;
        loaded += code == kOk ? 1 : 0;
        if (code != kOk) {
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books();
    }
    EXPECT_GE(loaded, 25);
}

} // namespace

namespace {

class XpmWrite : public testing_support::CodecHarness {
protected:
    void TearDown() override {
        request_.IndexedPic = nullptr;
        CodecHarness::TearDown();
    }
    // `count` colours, each pixel a different one until they run out, then again.
    static Bytes distinct_colours(size_t pixels, size_t count) {
        Bytes rgb;
        for (size_t i = 0; i < pixels; ++i) {
            const size_t c = (i % count) * 2654435761U % 0xFFFFFFU;
            rgb.insert(rgb.end(), {static_cast<uint8_t>(c >> 16U), static_cast<uint8_t>(c >> 8U),
                                   static_cast<uint8_t>(c)});
        }
        return rgb;
    }
    // The values string of a written file.
    std::string values_of(const std::string& path) {
        const Bytes file = testing_support::read_file(path);
        const std::string text(file.begin(), file.end());
        const size_t start = text.find("*/\n\"") + 4;
        return text.substr(start, text.find('"', start) - start);
    }

    testing_support::TempFolder folder_;
};

TEST_F(XpmWrite, TheFewestCharactersAPixelAndTheSameColoursBack) {
    struct Row {
        uint32_t width;
        uint32_t height;
        size_t colours;
        const char* values;
    };
    const Row rows[] = {
        {1, 1, 1, "1 1 1 1"},
        {31, 3, 93, "31 3 93 1"},
        {47, 2, 94, "47 2 94 2"},
        {93, 93, 8649, "93 93 8649 2"},
        {130, 67, 8650, "130 67 8650 3"},
        {200, 200, 32766, "200 200 32766 3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.values);
        Bytes rgb = distinct_colours(size_t{row.width} * row.height, row.colours);
        Picture pic{rgb.data(),
                    static_cast<int32_t>(row.width),
                    static_cast<int32_t>(row.height),
                    3,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0};
        const std::string path = folder_.path("trip.xpm");
        ASSERT_EQ(save(path, pic, 0), kOk);
        EXPECT_EQ(values_of(path), row.values);
        ASSERT_EQ(load_file(path), kOk);
        EXPECT_EQ(pixels(), rgb);
        expect_clean_books();
        if (testing_support::have_program("cxpm")) { // libXpm's own check of the file
            EXPECT_TRUE(testing_support::run_capture("cxpm " + testing_support::shell_quote(path) +
                                                     " >/dev/null 2>&1")
                            .has_value());
        }
        if (testing_support::have_program("xpmtoppm") && row.colours < 10000) {
            const auto peer =
                testing_support::run_capture("xpmtoppm " + testing_support::shell_quote(path) +
                                             " | pamtopnm -plain | "
                                             "tr -s ' \\n' ' ' | cut -d' ' -f5- ");
            ASSERT_TRUE(peer.has_value());
            std::string ours;
            for (const uint8_t v : rgb) {
                ours += std::to_string(v) + " ";
            }
            EXPECT_TRUE(*peer == ours + "\n") << "netpbm reads it otherwise";
        }
    }
}

TEST_F(XpmWrite, GreyAndPalettePicturesAndNames) {
    Bytes grey{0, 255, 128};
    Picture grey_pic{grey.data(), 3, 1, 1, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(save(folder_.path("grey.xpm"), grey_pic, xpm::kSaveNames), kOk);
    const Bytes file = testing_support::read_file(folder_.path("grey.xpm"));
    const std::string text(file.begin(), file.end());
    EXPECT_NE(text.find("\"  c black\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"! c #808080\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"# c white\""), std::string::npos) << text;
    ASSERT_EQ(load_file(folder_.path("grey.xpm")), kOk);
    EXPECT_EQ(pixels(), (Bytes{0, 0, 0, 255, 255, 255, 128, 128, 128}));
    expect_clean_books();

    // A palette picture writes the entries its indices use, in index order.
    std::vector<uint32_t> palette(256, 0x123456);
    palette[3] = 0xFF0000;
    palette[200] = 0x0000FF;
    Bytes indices{200, 3, 3, 200};
    IndexedPicture indexed{2, 2, 8, 0, palette.data(), indices.data()};
    Bytes unused(12, 0);
    Picture pic{unused.data(), 2, 2, 3, 0, 0, 0, 0, 0, 0};
    request_.IndexedPic = &indexed;
    ASSERT_EQ(save(folder_.path("p.xpm"), pic, 0), kOk);
    request_.IndexedPic = nullptr;
    EXPECT_EQ(values_of(folder_.path("p.xpm")), "2 2 2 1");
    ASSERT_EQ(load_file(folder_.path("p.xpm")), kOk);
    EXPECT_EQ(pixels(), (Bytes{0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0, 255}));
    expect_clean_books();
}

TEST_F(XpmWrite, ReportsEachFailure) {
    Bytes rgb = distinct_colours(32767, 32767);
    Picture many{rgb.data(), 32767, 1, 3, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(save(folder_.path("many.xpm"), many, 0), kXpmTooManyColours);
    EXPECT_FALSE(std::filesystem::exists(folder_.path("many.xpm"))) << "nothing is written";
    Bytes small(12, 7);
    Picture wide{small.data(), 32768, 1, 3, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(save(folder_.path("x.xpm"), wide, 0), kXpmBadWidth);
    Picture pic{small.data(), 4, 1, 3, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(save("/nonexistent-folder/x.xpm", pic, 0), kCannotOpen);
    platform::seam::faults().short_write = true;
    EXPECT_EQ(save(folder_.path("x.xpm"), pic, 0), kShortWrite);
    platform::seam::reset();
    for (uint64_t nth = 1; nth <= 3; ++nth) {
        pool_.fail_allocation(nth);
        EXPECT_EQ(save(folder_.path("mem.xpm"), pic, 0), kOutOfMemory);
        EXPECT_FALSE(std::filesystem::exists(folder_.path("mem.xpm"))) << "no file without memory";
        pool_.fail_allocation(0);
        expect_clean_books();
    }
}

} // namespace
