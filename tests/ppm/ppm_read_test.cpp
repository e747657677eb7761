// PPM_Read: header layouts, sample scaling per kind, bitmaps, lenient short rasters and
// refusals, each row checked for code, size and exact pixels.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"
#include "tests/support/peers.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;
using testing_support::concat;

struct ReadCase {
    const char* reason;
    Bytes file;
    int32_t code;
    int32_t width;
    int32_t height;
    Bytes pixels; // checked when the load succeeds
};

Bytes rgb(std::initializer_list<uint8_t> values) {
    return Bytes(values);
}

Bytes repeat(size_t count, std::initializer_list<uint8_t> pixel) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        out.insert(out.end(), pixel);
    }
    return out;
}

const Bytes kSixBytes{1, 2, 3, 250, 251, 252};

std::vector<ReadCase> read_cases() {
    return {
        {"four header lines with a comment", concat(bytes_of("P6\n# note\n2 1\n255\n"), kSixBytes),
         kOk, 2, 1, kSixBytes},
        {"raw greymap copies each sample into three bytes",
         concat(bytes_of("P5\n# note\n2 1\n255\n"), {10, 20}), kOk, 2, 1,
         rgb({10, 10, 10, 20, 20, 20})},
        {"raw samples are scaled like plain ones (maxval 15)",
         concat(bytes_of("P5\n2 1\n15\n"), {15, 7}), kOk, 2, 1,
         rgb({255, 255, 255, 119, 119, 119})},
        {"raw maxval 1 gives white for 1", concat(bytes_of("P5\n2 1\n1\n"), {1, 0}), kOk, 2, 1,
         rgb({255, 255, 255, 0, 0, 0})},
        {"raw sample above maxval keeps its low eight bits",
         concat(bytes_of("P5\n1 1\n10\n"), {20}), kOk, 1, 1, rgb({254, 254, 254})},
        {"raw bitmap rows start on a new byte",
         concat(bytes_of("P4\n10 2\n"), {0xFF, 0xC0, 0x00, 0x00}), kOk, 10, 2,
         concat(repeat(10, {0, 0, 0}), repeat(10, {255, 255, 255}))},
        {"plain pixmap scales with maxval 100", bytes_of("P3\n1 1\n100\n100 50 0\n"), kOk, 1, 1,
         rgb({255, 127, 0})},
        {"plain greymap 300 at maxval 255 keeps the low byte", bytes_of("P2\n1 1\n255\n300\n"), kOk,
         1, 1, rgb({44, 44, 44})},
        {"whole header on one line", concat(bytes_of("P6 2 1 255\n"), kSixBytes), kOk, 2, 1,
         kSixBytes},
        {"width and height on separate lines", concat(bytes_of("P6\n2\n1\n255\n"), kSixBytes), kOk,
         2, 1, kSixBytes},
        {"comment between size and maximum", concat(bytes_of("P6\n2 1\n# c\n255\n"), kSixBytes),
         kOk, 2, 1, kSixBytes},
        {"comments between every field", concat(bytes_of("P6#a\n2#b\n1 #c\n255\n"), kSixBytes), kOk,
         2, 1, kSixBytes},
        {"first character is not examined", concat(bytes_of("X6\n2 1\n255\n"), kSixBytes), kOk, 2,
         1, kSixBytes},
        {"CR LF header", concat(bytes_of("P6\r\n2 1\r\n255\r\n"), kSixBytes), kOk, 2, 1, kSixBytes},
        {"comment after the maximum ends with its line",
         concat(bytes_of("P6\n2 1\n255 # x\n"), kSixBytes), kOk, 2, 1, kSixBytes},
        {"text after the magic is ignored to the line end",
         concat(bytes_of("P6 by hand\n2 1\n255\n"), kSixBytes), kOk, 2, 1, kSixBytes},
        {"text after the size is ignored to the line end",
         concat(bytes_of("P6\n2 1 pixels\n255\n"), kSixBytes), kOk, 2, 1, kSixBytes},
        {"short raster leaves black pixels", concat(bytes_of("P6\n2 1\n255\n"), {9, 8, 7}), kOk, 2,
         1, rgb({9, 8, 7, 0, 0, 0})},
        {"header without raster loads black", bytes_of("P6 2 1 255"), kOk, 2, 1, Bytes(6, 0)},
        {"only the first of two images",
         concat(bytes_of("P5\n1 1\n255\n"), concat({7}, bytes_of("P5\n1 1\n255\n\x09"))), kOk, 1, 1,
         rgb({7, 7, 7})},
        {"16-bit raw samples, most significant byte first",
         concat(bytes_of("P6\n1 1\n65535\n"), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}), kOk, 1, 1,
         rgb({255, 127, 0})},
        {"16-bit raw greymap with maxval 1000",
         concat(bytes_of("P5\n2 1\n1000\n"), {0x03, 0xE8, 0x01, 0xF4}), kOk, 2, 1,
         rgb({255, 255, 255, 127, 127, 127})},
        {"16-bit raw with an incomplete last sample",
         concat(bytes_of("P5\n2 1\n65535\n"), {0xFF, 0xFF, 0x12}), kOk, 2, 1,
         rgb({255, 255, 255, 0, 0, 0})},
        {"plain bitmap, white space optional", bytes_of("P1\n3 2\n1 0 1\n010"), kOk, 3, 2,
         rgb({0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255})},
        {"plain number at the very end is stored", bytes_of("P3\n1 1\n255\n1 2 3"), kOk, 1, 1,
         rgb({1, 2, 3})},
        {"plain numbers saturate instead of wrapping",
         bytes_of("P3\n1 1\n255\n99999999999999999999999 0 4294967296\n"), kOk, 1, 1,
         rgb({255, 0, 255})},
        {"plain samples on the maximum's line", bytes_of("P2\n2 1\n255 7 8"), kOk, 2, 1,
         rgb({7, 7, 7, 8, 8, 8})},
        {"one space before a raster that fills the file exactly",
         concat(bytes_of("P6\n2 1\n255 "), kSixBytes), kOk, 2, 1, kSixBytes},
        {"header and raster on one line", concat(bytes_of("P6 2 1 255 "), kSixBytes), kOk, 2, 1,
         kSixBytes},
        {"a raster holding a line end after one space",
         concat(bytes_of("P5 3 1 255 "), {10, 65, 10}), kOk, 3, 1,
         rgb({10, 10, 10, 65, 65, 65, 10, 10, 10})},
        {"one space before an exact bitmap raster",
         concat(bytes_of("P4 10 2 "), {0xFF, 0xC0, 0, 0}), kOk, 10, 2,
         concat(repeat(10, {0, 0, 0}), repeat(10, {255, 255, 255}))},
        {"a 16-bit raster after one space", concat(bytes_of("P5 1 1 65535 "), {0x80, 0x00}), kOk, 1,
         1, rgb({127, 127, 127})},
        {"a comment after the maximum, raster on the next line, exact",
         concat(bytes_of("P6 2 1 255#c\n"), kSixBytes), kOk, 2, 1, kSixBytes},
        {"a longer file keeps the line rule", concat(bytes_of("P6\n2 1\n255 x\n"), kSixBytes), kOk,
         2, 1, kSixBytes},
        {"digits in a comment of a plain raster are no samples",
         bytes_of("P2\n2 1\n255\n7 # 99 98\n8\n"), kOk, 2, 1, rgb({7, 7, 7, 8, 8, 8})},
        {"a comment ends a plain number", bytes_of("P3\n1 1\n255\n1 2 3#4\n"), kOk, 1, 1,
         rgb({1, 2, 3})},
        {"digits in a comment of a plain bitmap are no pixels", bytes_of("P1\n2 1\n# 1111\n01"),
         kOk, 2, 1, rgb({255, 255, 255, 0, 0, 0})},
        {"empty file", Bytes{}, kPpmBadMagic, 0, 0, {}},
        {"one byte", bytes_of("P"), kPpmBadMagic, 0, 0, {}},
        {"first line shorter than two characters", bytes_of("P\n6\n"), kPpmBadMagic, 0, 0, {}},
        {"kind digit 8", bytes_of("P8\nWIDTH 1\n"), kPpmBadMagic, 0, 0, {}},
        {"kind digit 0", bytes_of("P0\n1 1\n255\n"), kPpmBadMagic, 0, 0, {}},
        {"magic only", bytes_of("P6\n"), kPpmNoSize, 0, 0, {}},
        {"magic and comments only", bytes_of("P6\n# a\n# b\n"), kPpmNoSize, 0, 0, {}},
        {"width 0", bytes_of("P6\n0 1\n255\n"), kPpmBadWidth, 0, 0, {}},
        {"width 32768", bytes_of("P6\n32768 1\n255\n"), kPpmBadWidth, 0, 0, {}},
        {"width of twenty digits",
         bytes_of("P6\n25555555555555555551 1\n255\n"),
         kPpmBadWidth,
         0,
         0,
         {}},
        {"negative width", bytes_of("P6\n-1 -1\n255\n"), kPpmBadWidth, 0, 0, {}},
        {"height 0", bytes_of("P6\n1 0\n255\n"), kPpmBadHeight, 0, 0, {}},
        {"height 32768", bytes_of("P6\n1 32768\n255\n"), kPpmBadHeight, 0, 0, {}},
        {"height that wraps 32 bits",
         bytes_of("P2\n10 4294967297\n255\n"),
         kPpmBadHeight,
         0,
         0,
         {}},
        {"file ends after the width", bytes_of("P6\n5\n"), kPpmBadHeight, 0, 0, {}},
        {"maximum 0", bytes_of("P6\n1 1\n0\n"), kPpmBadMaxval, 0, 0, {}},
        {"no maximum before the end", bytes_of("P6\n1 1\n"), kPpmBadMaxval, 0, 0, {}},
        {"maximum -1", bytes_of("P6\n1 1\n-1\n"), kPpmBadMaxval, 0, 0, {}},
        {"maximum 65536", bytes_of("P5\n1 1\n65536\n"), kPpmBadMaxval, 0, 0, {}},
    };
}

class PpmRead : public testing_support::CodecHarness {};

TEST_F(PpmRead, DecodesEveryCaseOfTheTable) {
    for (const ReadCase& row : read_cases()) {
        SCOPED_TRACE(row.reason);
        uint8_t stale = 0;
        pic_ = Picture{&stale, 5, 5, 0, 0, 0, 0, 77, 0, 9};
        const int32_t code = load_bytes(row.file);
        ASSERT_EQ(code, row.code) << "have " << code << ", want " << row.code;
        EXPECT_EQ(pic_.Compression, 77U) << "the reader must leave Compression alone";
        if (code != kOk) {
            testing_support::expect_cleared(pic_);
            expect_clean_books();
            continue;
        }
        EXPECT_EQ(pic_.Width, row.width);
        EXPECT_EQ(pic_.Height, row.height);
        EXPECT_EQ(pic_.BytesPerPixel, 3U);
        EXPECT_EQ(pic_.LoadedWidth, static_cast<uint32_t>(row.width));
        EXPECT_EQ(pic_.LoadedHeight, static_cast<uint32_t>(row.height));
        EXPECT_EQ(pic_.Depth, 24U);
        EXPECT_EQ(pic_.Extra, 0U);
        EXPECT_EQ(pixels(), row.pixels);
        expect_clean_books();
    }
}

// A PAM header of the given lines, then the raster.
Bytes pam(const std::string& lines, const Bytes& raster) {
    return concat(bytes_of("P7\n" + lines + "ENDHDR\n"), raster);
}

std::vector<ReadCase> pam_cases() {
    const std::string size = "WIDTH 2\nHEIGHT 1\n";
    return {
        {"RGB, maxval 255: the samples as they are",
         pam(size + "DEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\n", kSixBytes), kOk, 2, 1, kSixBytes},
        {"GRAYSCALE with a comment and blank lines",
         pam("# made by hand\n\n" + size + "DEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\n", {9, 200}),
         kOk, 2, 1, rgb({9, 9, 9, 200, 200, 200})},
        {"BLACKANDWHITE: 1 is white",
         pam(size + "DEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\n", {0, 1}), kOk, 2, 1,
         rgb({0, 0, 0, 255, 255, 255})},
        {"RGB_ALPHA composed onto black",
         pam(size + "DEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\n",
             {255, 0, 128, 128, 16, 32, 48, 255}),
         kOk, 2, 1, rgb({128, 0, 64, 16, 32, 48})},
        {"GRAYSCALE_ALPHA of 16-bit samples",
         pam(size + "DEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\n",
             {0xFF, 0xFF, 0x80, 0x00, 0x80, 0x00, 0xFF, 0xFF}),
         kOk, 2, 1, rgb({127, 127, 127, 127, 127, 127})},
        {"RGB of maxval 1000 scaled as PNM samples are",
         pam(size + "DEPTH 3\nMAXVAL 1000\nTUPLTYPE RGB\n",
             {0x03, 0xE8, 0, 0, 0x01, 0xF4, 0, 1, 0, 2, 0, 3}),
         kOk, 2, 1, rgb({255, 0, 127, 0, 0, 0})},
        {"no tuple type, depth 2: grey and opacity",
         pam(size + "DEPTH 2\nMAXVAL 255\n", {100, 255, 100, 0}), kOk, 2, 1,
         rgb({100, 100, 100, 0, 0, 0})},
        {"RGB with a fourth plane that is not alpha: dropped",
         pam(size + "DEPTH 4\nMAXVAL 255\nTUPLTYPE RGB\n", {1, 2, 3, 4, 5, 6, 7, 8}), kOk, 2, 1,
         rgb({1, 2, 3, 5, 6, 7})},
        {"a raster that ends early: the samples there are kept, as in a PPM",
         pam(size + "DEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\n", {1, 2, 3, 4}), kOk, 2, 1,
         rgb({1, 2, 3, 4, 0, 0})},
        {"RGB of depth 2",
         pam(size + "DEPTH 2\nMAXVAL 255\nTUPLTYPE RGB\n", {1, 2, 3, 4}),
         kPamBadTuple,
         0,
         0,
         {}},
        {"an unknown type of depth 5",
         pam(size + "DEPTH 5\nMAXVAL 255\nTUPLTYPE CMYK_ALPHA\n", {}),
         kPamBadTuple,
         0,
         0,
         {}},
        {"no MAXVAL", pam(size + "DEPTH 3\nTUPLTYPE RGB\n", {}), kPamBadHeader, 0, 0, {}},
        {"an unknown keyword",
         pam(size + "DEPTH 3\nMAXVAL 255\nCOLOURS 3\n", {}),
         kPamBadHeader,
         0,
         0,
         {}},
        {"a width that is no number",
         pam("WIDTH 2x\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", {}),
         kPamBadHeader,
         0,
         0,
         {}},
        {"no ENDHDR",
         bytes_of("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n"),
         kPamBadHeader,
         0,
         0,
         {}},
        {"width 0", pam("WIDTH 0\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", {}), kPpmBadWidth, 0, 0, {}},
        {"height above 32767",
         pam("WIDTH 1\nHEIGHT 32768\nDEPTH 1\nMAXVAL 255\n", {}),
         kPpmBadHeight,
         0,
         0,
         {}},
        {"maxval 65536", pam(size + "DEPTH 1\nMAXVAL 65536\n", {}), kPpmBadMaxval, 0, 0, {}},
    };
}

TEST_F(PpmRead, DecodesPamTuplesAndRefusesBadHeaders) {
    for (const ReadCase& row : pam_cases()) {
        SCOPED_TRACE(row.reason);
        const int32_t code = load_bytes(row.file);
        ASSERT_EQ(code, row.code) << "have " << code << ", want " << row.code;
        if (code == kOk) {
            EXPECT_EQ(pic_.Width, row.width);
            EXPECT_EQ(pic_.Height, row.height);
            EXPECT_EQ(pixels(), row.pixels);
        } else {
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books();
    }
    EXPECT_GT(expect_each_allocation_failure_reported(pam_cases()[3].file), 0U);
}

TEST_F(PpmRead, PamFilesNetpbmWritesLoadAsTheirPnmSources) {
    if (!testing_support::have_program("pamtopam") || !testing_support::have_program("pamdepth")) {
        GTEST_SKIP() << "netpbm's pamtopam and pamdepth are not installed";
    }
    testing_support::TempFolder folder;
    Bytes colour = bytes_of("P6\n3 2\n255\n");
    for (uint8_t v = 0; v < 18; ++v) {
        colour.push_back(static_cast<uint8_t>(v * 14 + 3));
    }
    const Bytes grey = concat(bytes_of("P5\n3 2\n255\n"), {0, 50, 100, 150, 200, 255});
    const struct {
        const char* name;
        Bytes source;
        const char* tool;
    } rows[] = {{"RGB", colour, "pamtopam"},
                {"GRAYSCALE", grey, "pamtopam"},
                {"RGB of 16-bit samples", colour, "pamdepth 65535 | pamtopam"},
                {"GRAYSCALE of maxval 1000", grey, "pamdepth 1000 | pamtopam"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string source = folder.path("source.pnm");
        const std::string made = folder.path("made.pam");
        testing_support::write_file(source, row.source);
        ASSERT_TRUE(testing_support::run_capture(
                        "sh -c " + testing_support::shell_quote("cat " + source + " | " + row.tool +
                                                                " > " + made))
                        .has_value());
        ASSERT_EQ(load_file(source), kOk);
        const Bytes want = pixels();
        expect_clean_books();
        ASSERT_EQ(load_file(made), kOk);
        // A sample scaled to another maximum and back may differ by one step.
        const Bytes got = pixels();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_LE(std::abs(int{got[i]} - int{want[i]}), 1) << "sample " << i;
        }
        expect_clean_books();
    }
}

TEST_F(PpmRead, EveryLineRuleHeaderGivesTheSameValuesInAnyLayout) {
    const Bytes raster(12, 0x5A);
    const char* layouts[] = {"P6\n2 2\n255\n",     "P6 2 2 255\n",    "P6\n2\n2\n255\n",
                             "P6\n#c\n2 2\n255\n", "P6\t2\t2\n255\n", "P6\n2 2 255\n"};
    for (const char* header : layouts) {
        SCOPED_TRACE(header);
        ASSERT_EQ(load_bytes(concat(bytes_of(header), raster)), kOk);
        EXPECT_EQ(pic_.Width, 2);
        EXPECT_EQ(pic_.Height, 2);
        EXPECT_EQ(pixels(), raster);
        expect_clean_books();
    }
}

TEST_F(PpmRead, LargeRawPixmapsAreReadStraightIntoThePicture) {
    // 700 x 500 (over 1 MiB): the picture's block is the only one taken. Files that are
    // not exactly header and raster take the whole-file way and give what they gave.
    Bytes raster(size_t{700} * 500 * 3);
    for (size_t i = 0; i < raster.size(); ++i) {
        raster[i] = static_cast<uint8_t>(i * 7 + i / 2100);
    }
    const Bytes straight = concat(bytes_of("P6\n700 500\n255\n"), raster);
    ASSERT_EQ(load_bytes(straight), kOk);
    EXPECT_EQ(pixels(), raster);
    EXPECT_EQ(pool_.peak_bytes(), raster.size()) << "no copy of the file";
    expect_clean_books();
    const auto blocks_of = [&](const Bytes& file) {
        const uint64_t before = pool_.allocations();
        EXPECT_EQ(load_bytes(file), kOk);
        return pool_.allocations() - before;
    };
    EXPECT_EQ(blocks_of(straight), 1U);
    expect_clean_books();
    EXPECT_EQ(blocks_of(concat(bytes_of("P6\n# by hand\n700 500\n255\n"), raster)), 1U)
        << "comments follow the format's rule";
    EXPECT_EQ(pixels(), raster);
    expect_clean_books();
    const struct {
        const char* name;
        Bytes file;
    } others[] = {
        {"a trailing byte", concat(straight, {9})},
        {"a space before the line end", concat(bytes_of("P6\n700 500\n255 \n"), raster)},
        {"a CR LF line end", concat(bytes_of("P6\n700 500\n255\r\n"), raster)},
        {"maximum 254", concat(bytes_of("P6\n700 500\n254\n"), raster)},
    };
    for (const auto& other : others) {
        SCOPED_TRACE(other.name);
        EXPECT_EQ(blocks_of(other.file), 2U) << "the whole file, then the picture";
        EXPECT_EQ(pixels().size(), raster.size());
        expect_clean_books();
    }
    EXPECT_EQ(expect_each_allocation_failure_reported(straight), 2U) << "one block";
    expect_file_faults_reported(straight);
    orvi::HostPool limited(orvi::HostPool::default_limit(), 349999);
    platform::seam::set_memory_file("memory:straight", straight.data(), straight.size());
    EXPECT_EQ(call(kCommandLoad, "memory:straight", limited.handle()), kTooManyPixels);
    EXPECT_EQ(limited.allocations(), 0U) << "refused from the header alone";
    testing_support::expect_cleared(pic_);
}

TEST_F(PpmRead, ReportsFileAccessFaults) {
    expect_file_faults_reported(concat(bytes_of("P6\n1 1\n255\n"), {1, 2, 3}));
}

TEST_F(PpmRead, MissingFileGivesFiveAndAllocatesNothing) {
    EXPECT_EQ(load_file("/nonexistent/orvi/picture.ppm"), kCannotLock);
    EXPECT_EQ(pool_.allocations(), 0U);
}

TEST_F(PpmRead, EachFailedAllocationReportsOutOfMemoryAndLeavesNothing) {
    const Bytes file = concat(bytes_of("P6\n2 1\n255\n"), kSixBytes);
    EXPECT_GT(expect_each_allocation_failure_reported(file), 2U)
        << "the reader takes a file buffer and a pixel buffer";
    ASSERT_EQ(load_bytes(file), kOk);
    EXPECT_EQ(pixels(), kSixBytes);
}

TEST_F(PpmRead, PoolRefusingTheSizeGivesOutOfMemory) {
    orvi::HostPool small(1000);
    const Bytes file = bytes_of("P6\n100 100\n255\n");
    platform::seam::set_memory_file("memory:big", file.data(), file.size());
    EXPECT_EQ(call(kCommandLoad, "memory:big", small.handle()), kOutOfMemory);
    EXPECT_EQ(small.live_blocks(), 0U);
    testing_support::expect_cleared(pic_);
}

TEST_F(PpmRead, NoPoolGivesOutOfMemoryAfterMeasuring) {
    const Bytes file = bytes_of("P6\n1 1\n255\n\1\2\3");
    platform::seam::set_memory_file("memory:input", file.data(), file.size());
    EXPECT_EQ(call(kCommandLoad, "memory:input", nullptr), kOutOfMemory);
    testing_support::expect_cleared(pic_);
}

} // namespace
