// PPM_Save: exact file bytes, size limits, failures that must not look like success,
// and round trips of every writer option through PPM_Read.
#include <gtest/gtest.h>

#include <sstream>

#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;
using testing_support::concat;

class PpmWrite : public testing_support::CodecHarness {
protected:
    Picture picture(Bytes& data, int32_t width, int32_t height, uint32_t bytes_per_pixel) {
        return Picture{data.data(), width, height, bytes_per_pixel, 0, 0, 0, 0, 0, 0};
    }
    testing_support::TempFolder folder_;
};

TEST_F(PpmWrite, WritesTheExactFileForEachKind) {
    struct WriteCase {
        const char* reason;
        Bytes data;
        int32_t width;
        uint32_t bytes_per_pixel;
        uintptr_t save_mode;
        Bytes file;
    };
    const Bytes header_tail = bytes_of("\n#Created with Orvi\n2 1\n255\n");
    const WriteCase cases[] = {
        {"raw pixmap",
         {255, 0, 7, 1, 2, 3},
         2,
         3,
         1,
         concat(concat(bytes_of("P6"), header_tail), {255, 0, 7, 1, 2, 3})},
        {"raw greymap", {10, 200}, 2, 1, 1, concat(concat(bytes_of("P5"), header_tail), {10, 200})},
        {"plain pixmap",
         {255, 0, 7, 1, 2, 3},
         2,
         3,
         0,
         concat(concat(bytes_of("P3"), header_tail), bytes_of("255 0 7 1 2 3\n"))},
        {"plain greymap",
         {10, 200},
         2,
         1,
         0,
         concat(concat(bytes_of("P2"), header_tail), bytes_of("10 200\n"))},
        {"any nonzero SaveMode is raw",
         {4, 5},
         2,
         1,
         0x100,
         concat(concat(bytes_of("P5"), header_tail), {4, 5})},
    };
    for (const WriteCase& row : cases) {
        SCOPED_TRACE(row.reason);
        Bytes data = row.data;
        Picture pic = picture(data, row.width, 1, row.bytes_per_pixel);
        const std::string path = folder_.path("out.pnm");
        ASSERT_EQ(save(path, pic, row.save_mode), kOk);
        EXPECT_EQ(testing_support::read_file(path), row.file);
    }
}

TEST_F(PpmWrite, WritesSidesInDecimalWithoutLeadingZeros) {
    struct SideCase {
        int32_t width;
        int32_t height;
        const char* size_line;
    };
    const SideCase cases[] = {
        {100, 1, "100 1"}, {0, 3, "0 3"}, {32767, 1, "32767 1"}, {1, 0, "1 0"}};
    for (const SideCase& row : cases) {
        SCOPED_TRACE(row.size_line);
        Bytes data(static_cast<size_t>(row.width) * static_cast<size_t>(row.height), 9);
        Picture pic = picture(data, row.width, row.height, 1);
        const std::string path = folder_.path("side.pgm");
        ASSERT_EQ(save(path, pic, 1), kOk);
        const Bytes file = testing_support::read_file(path);
        const Bytes want =
            bytes_of(std::string("P5\n#Created with Orvi\n") + row.size_line + "\n255\n");
        ASSERT_GE(file.size(), want.size());
        EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(want.size())), want);
        EXPECT_EQ(file.size(), want.size() + data.size());
    }
}

TEST_F(PpmWrite, RefusesSidesAboveTheLimitWithoutTouchingTheFile) {
    struct LimitCase {
        int32_t width;
        int32_t height;
        int32_t code;
    };
    const LimitCase cases[] = {{32768, 1, kPpmBadWidth},
                               {1, 32768, kPpmBadHeight},
                               {-1, 1, kPpmBadWidth},
                               {1, -5, kPpmBadHeight}};
    for (const LimitCase& row : cases) {
        Bytes data(3, 0);
        Picture pic = picture(data, row.width, row.height, 3);
        const std::string path = folder_.path("limit.ppm");
        EXPECT_EQ(save(path, pic, 1), row.code);
        EXPECT_FALSE(std::filesystem::exists(path)) << "the file must not be created";
    }
}

TEST_F(PpmWrite, ReportsFilesThatCannotBeWrittenFully) {
    Bytes data(30, 1);
    Picture pic = picture(data, 10, 1, 3);
    EXPECT_EQ(save("/nonexistent-folder/x.ppm", pic, 1), kCannotOpen);
    for (const uintptr_t mode : {uintptr_t{0}, uintptr_t{1}}) {
        SCOPED_TRACE(mode != 0 ? "raw" : "plain");
        platform::seam::faults().short_write = true;
        EXPECT_EQ(save(folder_.path("short.ppm"), pic, mode), kShortWrite);
        platform::seam::reset();
    }
}

TEST_F(PpmWrite, PlainLinesStayShortAndCarryEverySample) {
    Bytes data(37 * 5 * 3);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7);
    }
    Picture pic = picture(data, 37, 5, 3);
    const std::string path = folder_.path("plain.ppm");
    ASSERT_EQ(save(path, pic, 0), kOk);
    const Bytes file = testing_support::read_file(path);
    std::istringstream text(std::string(file.begin(), file.end()));
    std::string line;
    size_t samples = 0;
    for (int i = 0; std::getline(text, line); ++i) {
        EXPECT_LE(line.size(), 70U) << "line " << i;
        if (i >= 4) {
            std::istringstream numbers(line);
            int value = 0;
            while (numbers >> value) {
                EXPECT_EQ(value, data[samples]) << "sample " << samples;
                ++samples;
            }
        }
    }
    EXPECT_EQ(samples, data.size());
}

TEST_F(PpmWrite, EveryOptionRoundTripsThroughTheReader) {
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {7, 3}, {33, 17}, {640, 2}};
    for (const auto& [width, height] : sizes) {
        for (const uint32_t bytes_per_pixel : {1U, 3U}) {
            for (const uintptr_t mode : {uintptr_t{0}, uintptr_t{1}}) {
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " bpp " +
                             std::to_string(bytes_per_pixel) + (mode != 0 ? " raw" : " plain"));
                Bytes data(static_cast<size_t>(width * height) * bytes_per_pixel);
                for (size_t i = 0; i < data.size(); ++i) {
                    data[i] = static_cast<uint8_t>((i * 131 + 17) ^ (i >> 3));
                }
                Picture source = picture(data, width, height, bytes_per_pixel);
                const std::string path = folder_.path("trip.pnm");
                ASSERT_EQ(save(path, source, mode), kOk);
                ASSERT_EQ(load_file(path), kOk);
                Bytes want;
                for (const uint8_t sample : data) {
                    want.insert(want.end(), bytes_per_pixel == 1 ? 3 : 1, sample);
                }
                EXPECT_EQ(pixels(), want);
                expect_clean_books();
            }
        }
    }
}

class PpmEntry : public testing_support::CodecHarness {};

TEST_F(PpmEntry, OtherCommandsCallNothingAndKeepTheResult) {
    for (const uint32_t command : {0U, 3U}) {
        EXPECT_EQ(call(command, "/nonexistent", pool_.handle(), 4242), 4242);
    }
    EXPECT_EQ(pool_.allocations(), 0U);
}

TEST_F(PpmEntry, MissingDosLibraryGivesMinusOneAndTouchesNothing) {
    platform::seam::faults().missing_library = "dos.library";
    EXPECT_EQ(call(kCommandLoad, "/nonexistent", pool_.handle()), kNoDosLibrary);
    EXPECT_EQ(pool_.allocations(), 0U);
}

TEST_F(PpmEntry, IgnoresTheGauge) {
    static int calls = 0;
    const Bytes file = bytes_of("P5\n1 1\n255\n\x05");
    platform::seam::set_memory_file("memory:gauge", file.data(), file.size());
    request_.Pic = &pic_;
    CodecArgs args{&request_, "memory:gauge", kCommandLoad,
                   0,         pool_.handle(), [](int32_t) { ++calls; }};
    EXPECT_EQ(start_prog(&args), 0U);
    EXPECT_EQ(args.Result, kOk);
    EXPECT_EQ(calls, 0);
}

} // namespace
