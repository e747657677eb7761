// The pcx module: run-length coding both ways, the reader's layouts, palettes and
// refusals, the writer's layouts and round trips, failure paths, and the corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "pcx/pcx_format.h"
#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"
#include "tests/support/peers.h"

namespace {

using testing_support::Bytes;
using testing_support::concat;

struct Header {
    uint8_t version = 5;
    uint8_t encoding = 1;
    uint8_t bits = 8;
    uint16_t xmin = 0;
    uint16_t ymin = 0;
    uint16_t xmax = 0;
    uint16_t ymax = 0;
    uint8_t planes = 1;
    uint16_t bytes_per_line = 1;
    std::vector<uint8_t> palette; // up to 48 bytes
};

Bytes pcx_file(const Header& h, const Bytes& data, const Bytes& tail = {}) {
    Bytes file(128, 0);
    file[0] = 10;
    file[1] = h.version;
    file[2] = h.encoding;
    file[3] = h.bits;
    auto le16 = [&](size_t at, uint16_t v) {
        file[at] = static_cast<uint8_t>(v);
        file[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    le16(4, h.xmin);
    le16(6, h.ymin);
    le16(8, h.xmax);
    le16(10, h.ymax);
    std::copy(h.palette.begin(), h.palette.end(), file.begin() + 16);
    file[65] = h.planes;
    le16(66, h.bytes_per_line);
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

Bytes trailer(uint8_t first_red) {
    Bytes t(769, 0);
    t[0] = 12;
    t[1] = first_red; // entry 0
    t[4 + 1] = 77;    // entry 1 green
    return t;
}

TEST(PcxRle, DecodesRunsAcrossLinesAndStopsWhereTheDataEnds) {
    const Bytes data{0xCA, 7, 0x05, 0xC0, 9, 0xC3};
    pcx::RleDecoder stream(data);
    Bytes first(4);
    Bytes second(7);
    EXPECT_EQ(stream.DecodeRLE(first), 4U);
    EXPECT_EQ(first, Bytes(4, 7));
    EXPECT_EQ(stream.position(), 0U) << "a pending run leaves the cursor on its count byte";
    EXPECT_EQ(stream.DecodeRLE(second), 7U);
    EXPECT_EQ(second, (Bytes{7, 7, 7, 7, 7, 7, 5})) << "six more of the run, then a literal";
    Bytes rest(3, 0xEE);
    EXPECT_EQ(stream.DecodeRLE(rest), 0U) << "a run of 0 gives nothing; a count without value ends";
    EXPECT_EQ(stream.position(), data.size());
}

TEST(PcxRle, EncodesTheDocumentedBytes) {
    struct Row {
        const char* reason;
        Bytes in;
        Bytes out;
    };
    Bytes mixed = Bytes(64, 0xC5);
    const Row rows[] = {
        {"100 equal bytes", Bytes(100, 0x05), {0xFF, 0x05, 0xE5, 0x05}},
        {"63 equal bytes", Bytes(63, 0x22), {0xFF, 0x22}},
        {"64 equal bytes", Bytes(64, 0x22), {0xFF, 0x22, 0x22}},
        {"64 equal high bytes", mixed, {0xFF, 0xC5, 0xC1, 0xC5}},
        {"two equal bytes", {0x10, 0x10}, {0xC2, 0x10}},
        {"a lone high byte", {0xC5}, {0xC1, 0xC5}},
        {"a lone 0x3F", {0x3F}, {0x3F}},
        {"nothing", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        Bytes out(2 * row.in.size() + 2);
        out.resize(pcx::EncodeRLE(row.in, out.data()));
        EXPECT_EQ(out, row.out);
    }
}

class PcxRead : public testing_support::CodecHarness {};

struct ReadRow {
    const char* reason;
    Bytes file;
    int32_t code;
    uint32_t colour_type;
    uint32_t depth;
    Bytes pixels; // checked when not empty
};

Bytes repeat_pixel(size_t count, Bytes pixel) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        out.insert(out.end(), pixel.begin(), pixel.end());
    }
    return out;
}

std::vector<ReadRow> read_rows() {
    const std::vector<uint8_t> red_green{255, 0, 0, 0, 255, 0}; // header entries 0 and 1
    std::vector<uint8_t> sixteen(48);
    for (size_t i = 0; i < 48; ++i) {
        sixteen[i] = static_cast<uint8_t>(i * 5);
    }
    const Bytes black{0, 0, 0};
    const Bytes white{255, 255, 255};
    const Bytes red{255, 0, 0};
    const Bytes green{0, 255, 0};
    return {
        {"width 10 at 1 bit, BytesPerLine 2: the last six bits ignored",
         pcx_file({2, 1, 1, 0, 0, 9, 0, 1, 2, red_green}, {0xAA, 0x7F}),
         kOk,
         2,
         1,
         {0,   255, 0, 255, 0,   0, 0,   255, 0, 255, 0, 0, 0, 255, 0,
          255, 0,   0, 0,   255, 0, 255, 0,   0, 255, 0, 0, 0, 255, 0}},
        {"version 5 monochrome is black and white",
         pcx_file({5, 1, 1, 0, 0, 1, 0, 1, 1, red_green}, {0x40}), kOk, 2, 1, concat(black, white)},
        {"version 2 monochrome with two equal entries is black and white",
         pcx_file({2, 1, 1, 0, 0, 1, 0, 1, 1, {9, 9, 9, 9, 9, 9}}, {0x40}), kOk, 2, 1,
         concat(black, white)},
        {"1 bit in 4 planes builds indices from the planes",
         pcx_file({5, 1, 1, 0, 0, 0, 0, 4, 1, sixteen}, {0x80, 0x00, 0x80, 0x80}),
         kOk,
         1,
         4,
         {195, 200, 205}},
        {"1 bit in 2 planes: four colours from the header",
         pcx_file({5, 1, 1, 0, 0, 1, 0, 2, 1, sixteen}, {0x80, 0xC1, 0xC0}),
         kOk,
         0,
         2,
         {45, 50, 55, 30, 35, 40}},
        {"version 3, 4 planes: the EGA palette",
         pcx_file({3, 1, 1, 0, 0, 0, 0, 4, 1, sixteen}, {0x80, 0x00, 0x00, 0x80}),
         kOk,
         1,
         4,
         {85, 85, 255}},
        {"16 equal header entries: the EGA palette",
         pcx_file({5, 1, 1, 0, 0, 0, 0, 4, 1, std::vector<uint8_t>(48, 3)}, {0x80, 0, 0, 0}),
         kOk,
         1,
         4,
         {0, 0, 170}},
        {"256 colours with the marker after the data",
         pcx_file({5, 1, 8, 0, 0, 1, 0, 1, 2, {}}, {0, 1}, trailer(200)),
         kOk,
         4,
         8,
         {200, 0, 0, 0, 77, 0}},
        {"256 colours with padding before the trailer",
         pcx_file({5, 1, 8, 0, 0, 1, 0, 1, 2, {}}, {0, 1, 0, 0, 0}, trailer(200)),
         kOk,
         4,
         8,
         {200, 0, 0, 0, 77, 0}},
        {"256 colours without a trailer: the header palette, far indices black",
         pcx_file({5, 1, 8, 0, 0, 1, 0, 1, 2, red_green}, {1, 100}), kOk, 4, 8,
         concat(green, black)},
        {"a run pending after the last line: no marker there, the header palette",
         pcx_file({5, 1, 8, 0, 0, 1, 0, 1, 2, red_green}, {0xC3, 1, 12}), kOk, 4, 8,
         concat(green, green)},
        {"version 4 with a trailer",
         pcx_file({4, 1, 8, 0, 0, 0, 0, 1, 1, {}}, {1}, trailer(5)),
         kOk,
         4,
         8,
         {0, 77, 0}},
        {"2 bits: four pixels a byte",
         pcx_file({5, 1, 2, 0, 0, 3, 0, 1, 1, sixteen}, {0x1B}),
         kOk,
         3,
         2,
         {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55}},
        {"4 bits, one plane",
         pcx_file({5, 1, 4, 0, 0, 1, 0, 1, 1, sixteen}, {0x2F}),
         kOk,
         0,
         4,
         {30, 35, 40, 225, 230, 235}},
        {"24-bit", pcx_file({5, 1, 8, 0, 0, 0, 0, 3, 1, {}}, {1, 2, 3}), kOk, 5, 24, {1, 2, 3}},
        {"8 bits in 4 planes drops the fourth",
         pcx_file({5, 1, 8, 0, 0, 0, 0, 4, 1, {}}, {1, 2, 3, 4}),
         kOk,
         0,
         32,
         {1, 2, 3}},
        {"data that ends early leaves black rows",
         pcx_file({5, 1, 8, 0, 0, 0, 2, 3, 1, {}}, {9, 8, 7}), kOk, 5, 24,
         concat({9, 8, 7}, Bytes(6, 0))},
        {"a run crossing plane lines", pcx_file({5, 1, 8, 0, 0, 1, 0, 3, 2, {}}, {0xC6, 4}), kOk, 5,
         24, repeat_pixel(2, {4, 4, 4})},
        {"4 bits in 3 planes is direct colour within the line",
         pcx_file({5, 1, 4, 0, 0, 3, 0, 3, 1, {}}, {9, 8, 7}), kOk, 0, 12,
         concat({9, 8, 7}, Bytes(9, 0))},
        {"2 planes of 8 bits",
         pcx_file({5, 1, 8, 0, 0, 0, 0, 2, 1, {}}, {0, 0}),
         kPcxBadPlanes,
         0,
         0,
         {}},
        {"5 bits", pcx_file({5, 1, 5, 0, 0, 0, 0, 2, 1, {}}, {0}), kPcxBadBitsPerPixel, 0, 0, {}},
        {"encoding 0", pcx_file({5, 0, 8, 0, 0, 0, 0, 1, 1, {}}, {0}), kPcxBadEncoding, 0, 0, {}},
        {"window end before its start",
         pcx_file({5, 1, 8, 5, 0, 4, 0, 1, 1, {}}, {0}),
         kPcxBadWindow,
         4,
         0,
         {}},
        {"a file shorter than its header", Bytes{10, 5, 1, 8}, kNotPcx, 0, 0, {}},
        {"65535 x 65535 is above the pixel limit",
         pcx_file({5, 1, 8, 0, 0, 65534, 65534, 3, 65535, {}}, {0}),
         kTooManyPixels,
         5,
         0,
         {}},
        {"not a PCX file", Bytes(200, 0), kNotPcx, 0, 0, {}},
    };
}

TEST_F(PcxRead, DecodesEveryLayoutOfTheTable) {
    for (const ReadRow& row : read_rows()) {
        SCOPED_TRACE(row.reason);
        request_.ColorType = 99;
        const int32_t code = load_bytes(row.file);
        ASSERT_EQ(code, row.code) << "have " << code << ", want " << row.code;
        if (row.code != kNotPcx && row.code != kPcxBadEncoding) {
            EXPECT_EQ(request_.ColorType, row.colour_type);
        } else {
            EXPECT_EQ(request_.ColorType, 99U) << "written only after the first checks";
        }
        if (code != kOk) {
            testing_support::expect_cleared(pic_);
        } else {
            EXPECT_EQ(pic_.Depth, row.depth);
            EXPECT_EQ(pic_.BytesPerPixel, 3U);
            if (!row.pixels.empty()) {
                EXPECT_EQ(pixels(), row.pixels);
            }
        }
        expect_clean_books();
    }
}

TEST_F(PcxRead, ReportsProgressPerTenthOfTheRows) {
    for (const uint16_t height : {uint16_t{3}, uint16_t{20}}) {
        const Bytes file = pcx_file({5, 1, 8, 0, 0, 0, static_cast<uint16_t>(height - 1), 3, 1, {}},
                                    Bytes(size_t{height} * 3, 1));
        const std::vector<int32_t> want =
            height == 3 ? std::vector<int32_t>{0, 100}
                        : std::vector<int32_t>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        EXPECT_EQ(gauge_reports(file), want) << "height " << height;
        expect_clean_books();
    }
}

TEST_F(PcxRead, FailuresFreeEverything) {
    const Bytes file = pcx_file({5, 1, 8, 0, 0, 1, 0, 1, 2, {}}, {0, 1}, trailer(1));
    EXPECT_GT(expect_each_allocation_failure_reported(file), 3U)
        << "the file, line and pixel buffers";
    expect_file_faults_reported(file);
}

class PcxWrite : public testing_support::CodecHarness {
protected:
    testing_support::TempFolder folder_;
};

TEST_F(PcxWrite, EveryDepthRoundTripsForAwkwardWidths) {
    std::minstd_rand random(13);
    for (const uint32_t depth : {1U, 2U, 4U, 8U, 24U}) {
        for (const int width_value : {1, 7, 8, 9, 15, 16, 17, 31}) {
            const auto width = static_cast<uint16_t>(width_value);
            SCOPED_TRACE("depth " + std::to_string(depth) + " width " + std::to_string(width));
            const uint16_t height = 3;
            std::vector<uint32_t> palette(256);
            for (uint32_t& entry : palette) {
                entry = static_cast<uint32_t>(random()) & 0xFFFFFFU;
            }
            palette[0] = 0;
            palette[1] = 0xFFFFFF; // depth 1 reads back black and white
            Bytes indices(size_t{width} * height);
            Bytes rgb;
            for (uint8_t& index : indices) {
                index =
                    static_cast<uint8_t>(depth == 24 ? 0 : random() % (1U << std::min(depth, 8U)));
            }
            Bytes truecolour(indices.size() * 3);
            std::generate(truecolour.begin(), truecolour.end(),
                          [&] { return static_cast<uint8_t>(random()); });
            IndexedPicture indexed{width, height, depth, 0, palette.data(), indices.data()};
            Picture pic{truecolour.data(), width, height, 3, 0, 0, 0, 0, 0, 0};
            const std::string path = folder_.path("trip.pcx");
            ASSERT_EQ(save(path, pic, depth == 24 ? 0 : reinterpret_cast<uintptr_t>(&indexed)),
                      kOk);
            ASSERT_EQ(load_file(path), kOk);
            Bytes want = truecolour;
            if (depth != 24) {
                want.clear();
                for (const uint8_t index : indices) {
                    const uint32_t c = palette[index];
                    want.insert(want.end(),
                                {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                 static_cast<uint8_t>(c)});
                }
            }
            EXPECT_EQ(pixels(), want);
            const Bytes file = testing_support::read_file(path);
            const uint32_t bytes_per_line = file[66] | (uint32_t{file[67]} << 8U);
            const uint32_t expected_line =
                depth == 2 ? (width + 3) / 4u
                           : (depth == 8 || depth == 24 ? width : (width + 7) / 8u);
            EXPECT_EQ(bytes_per_line, expected_line) << "odd counts stay odd";
            EXPECT_EQ(file[12] | (uint32_t{file[13]} << 8U), width)
                << "resolution fields hold the size";
            EXPECT_EQ(file.size() >= 769 && file[file.size() - 769] == 12, depth == 8);
            expect_clean_books();
        }
    }
}

TEST_F(PcxWrite, RoundsAndBandsOfRowsGiveTheBytesOfOneThread) {
    // 1531 x 1021: rounds of 228 24-bit rows, or of 1021 palette rows, whose bands on two
    // or three threads split unevenly.
    constexpr uint16_t kWidth = 1531;
    constexpr uint16_t kHeight = 1021;
    std::minstd_rand random(17);
    Bytes truecolour(size_t{kWidth} * kHeight * 3);
    for (size_t i = 0; i < truecolour.size(); i += 3) {
        const auto level = static_cast<uint8_t>(random() % 5 == 0 ? random() : i / 9000);
        truecolour[i] = level;
        truecolour[i + 1] = static_cast<uint8_t>(level / 2);
        truecolour[i + 2] = 7;
    }
    Bytes indices(size_t{kWidth} * kHeight);
    std::transform(truecolour.begin(), truecolour.begin() + static_cast<ptrdiff_t>(indices.size()),
                   indices.begin(), [](uint8_t v) { return static_cast<uint8_t>(v / 64); });
    std::vector<uint32_t> palette(256, 0x102030);
    Picture pic{truecolour.data(), kWidth, kHeight, 3, 0, 0, 0, 0, 0, 0};
    for (const uint32_t depth : {1U, 2U, 4U, 8U, 24U}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        IndexedPicture indexed{kWidth, kHeight, depth, 0, palette.data(), indices.data()};
        const uintptr_t mode = depth == 24 ? 0 : reinterpret_cast<uintptr_t>(&indexed);
        ASSERT_EQ(load_file(expect_same_file_on_any_threads(folder_.path(""), pic, mode)), kOk);
        if (depth == 24) {
            EXPECT_EQ(pixels(), truecolour);
        }
        expect_clean_books();
    }
}

TEST_F(PcxWrite, DepthTwoMasksIndicesAndGreyPicturesGiveEqualPlanes) {
    std::vector<uint32_t> palette(256, 0);
    palette[1] = 0x112233;
    Bytes indices{5, 0, 0, 0};
    IndexedPicture indexed{4, 1, 2, 0, palette.data(), indices.data()};
    Bytes none(12, 0);
    Picture pic{none.data(), 4, 1, 3, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(save(folder_.path("two.pcx"), pic, reinterpret_cast<uintptr_t>(&indexed)), kOk);
    ASSERT_EQ(load_file(folder_.path("two.pcx")), kOk);
    EXPECT_EQ(pixels(), concat({0x11, 0x22, 0x33}, Bytes(9, 0)))
        << "index 5 keeps its low two bits";
    expect_clean_books();
    Bytes grey{10, 20};
    Picture grey_pic{grey.data(), 2, 1, 1, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(save(folder_.path("grey.pcx"), grey_pic, 0), kOk);
    ASSERT_EQ(load_file(folder_.path("grey.pcx")), kOk);
    EXPECT_EQ(pixels(), (Bytes{10, 10, 10, 20, 20, 20}));
}

TEST_F(PcxWrite, ReportsEachFailure) {
    std::vector<uint32_t> palette(256, 0);
    Bytes indices(4, 0);
    Bytes rgb(12, 0);
    Picture pic{rgb.data(), 4, 1, 3, 0, 0, 0, 0, 0, 0};
    IndexedPicture odd_depth{4, 1, 3, 0, palette.data(), indices.data()};
    EXPECT_EQ(save(folder_.path("x.pcx"), pic, reinterpret_cast<uintptr_t>(&odd_depth)),
              kPcxBadBitsPerPixel);
    EXPECT_EQ(save("/nonexistent-folder/x.pcx", pic, 0), kCannotOpen);
    platform::seam::faults().short_write = true;
    EXPECT_EQ(save(folder_.path("x.pcx"), pic, 0), kShortWrite);
    platform::seam::reset();
    for (uint64_t nth = 1; nth <= 2; ++nth) {
        pool_.fail_allocation(nth);
        EXPECT_EQ(save(folder_.path("mem.pcx"), pic, 0), kOutOfMemory);
        EXPECT_FALSE(std::filesystem::exists(folder_.path("mem.pcx"))) << "no file without memory";
        pool_.fail_allocation(0);
    }
    request_.Pic = &pic;
    request_.SaveMode = 0;
    const std::string path = folder_.path("nopool.pcx");
    CodecArgs args{&request_, path.c_str(), kCommandSave, 0, nullptr, nullptr};
    start_prog(&args);
    EXPECT_EQ(args.Result, kOutOfMemory);
}

// Files where our rules differ from netpbm's on purpose: version-dependent palettes
// (version 5 monochrome is black and white; version 3 uses the EGA colours), the fourth
// plane dropped, a trailer found at the end of the file, and a damaged file.
const char* const kDiffersOnPurpose[] = {"mono-27x27.pcx", "mono-640x200-cga.pcx",
                                         "v3-3x1bit-239x157.pcx", "32bit-rgba-63x47-oddbpl.pcx",
                                         "8bit-581x400-bpl584.pcx"};

class PcxCorpus : public testing_support::CodecHarness {};

TEST_F(PcxCorpus, EveryFileLoadsOrIsRefusedAndMatchesNetpbmWhereTheRulesAgree) {
    const int compared = check_corpus("pcx", "pcxtoppm", kDiffersOnPurpose);
    if (testing_support::have_program("pcxtoppm")) {
        EXPECT_GE(compared, 18) << "files compared with the peer";
    }
}

} // namespace
