// PNG through libpng: files of every colour type made here with libpng itself, loaded
// into three-byte pictures, and pictures written back and read again.
#include <gtest/gtest.h>

#include <csetjmp>
#include <png.h>

#include "png/png_file.h"
#include "tests/support/files.h"

namespace {

using testing_support::Bytes;
using testing_support::read_file;
using testing_support::TempFolder;
using testing_support::write_file;

// A PNG as it will stand in the file: rows of samples packed as the format packs them.
struct PngLayout {
    uint32_t width;
    uint32_t height;
    int bit_depth;
    int colour_type;
    Bytes rows; // height rows of png rowbytes each
    std::vector<png_color> palette = {};
    Bytes alphas = {};                    // tRNS for palettes
    std::optional<png_color_16> key = {}; // tRNS for grey and RGB
    bool interlaced = false;
};

struct WriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
};

bool write_rows(WriteState& state, const PngLayout& layout) {
    if (setjmp(png_jmpbuf(state.png)) != 0) {
        return false;
    }
    png_init_io(state.png, state.file);
    png_set_IHDR(state.png, state.info, layout.width, layout.height, layout.bit_depth,
                 layout.colour_type, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty()) {
        png_set_PLTE(state.png, state.info, layout.palette.data(),
                     static_cast<int>(layout.palette.size()));
    }
    if (!layout.alphas.empty() || layout.key) {
        png_color_16 key = layout.key.value_or(png_color_16{});
        png_set_tRNS(state.png, state.info, layout.alphas.empty() ? nullptr : layout.alphas.data(),
                     static_cast<int>(layout.alphas.size()), layout.key ? &key : nullptr);
    }
    png_write_info(state.png, state.info);
    const int passes = png_set_interlace_handling(state.png);
    const size_t stride = layout.rows.size() / layout.height;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < layout.height; ++y) {
            png_write_row(state.png, layout.rows.data() + y * stride);
        }
    }
    png_write_end(state.png, nullptr);
    return true;
}

void write_png(const std::string& path, const PngLayout& layout) {
    WriteState state;
    state.file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(state.file, nullptr);
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    state.info = png_create_info_struct(state.png);
    const bool done = write_rows(state, layout);
    png_destroy_write_struct(&state.png, &state.info);
    std::fclose(state.file);
    ASSERT_TRUE(done);
}

class Png : public ::testing::Test {
protected:
    // Loads `path`; the picture's bytes, or nullopt with `error_` set.
    std::optional<Bytes> load(const std::string& path) {
        orvi::HostPool pool;
        Picture picture{};
        error_.clear();
        const bool loaded = orvi::load_png(pool, path, picture, header_, nullptr, error_);
        if (!loaded) {
            EXPECT_EQ(picture.Data, nullptr);
            EXPECT_EQ(pool.live_blocks(), 0U);
            return std::nullopt;
        }
        EXPECT_EQ(pool.live_blocks(), 1U);
        EXPECT_EQ(picture.BytesPerPixel, 3U);
        depth_ = picture.Depth;
        size_ = {static_cast<uint32_t>(picture.Width), static_cast<uint32_t>(picture.Height)};
        Bytes pixels(picture.Data, picture.Data + size_t{size_.first} * size_.second * 3);
        pool.free(picture.Data);
        return pixels;
    }

    TempFolder folder_;
    orvi::PngHeader header_;
    std::string error_;
    uint32_t depth_ = 0;
    std::pair<uint32_t, uint32_t> size_;
};

struct ReadCase {
    const char* name;
    PngLayout layout;
    Bytes pixels;
    uint32_t depth;
    bool transparency;
};

TEST_F(Png, ReadsEveryColourTypeAsThreeBytePixels) {
    const std::vector<ReadCase> cases = {
        {"RGB",
         {2, 1, 8, PNG_COLOR_TYPE_RGB, {255, 0, 7, 1, 2, 3}},
         {255, 0, 7, 1, 2, 3},
         24,
         false},
        {"grey",
         {3, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 128, 255}},
         {0, 0, 0, 128, 128, 128, 255, 255, 255},
         8,
         false},
        {"grey, one bit, packed",
         {9, 1, 1, PNG_COLOR_TYPE_GRAY, {0xA0, 0x80}},
         {255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0,   0,   0,  0,
          0,   0,   0,   0, 0, 0, 0,   0,   0,   0, 255, 255, 255},
         1,
         false},
        {"palette, two bits",
         {3, 1, 2, PNG_COLOR_TYPE_PALETTE, {0x24}, {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}}},
         {10, 20, 30, 70, 80, 90, 40, 50, 60},
         2,
         false},
        // 16-bit samples scale to 8: v x 257 gives v; 255 (0.99 of a step) gives 1.
        {"RGB, 16 bits",
         {2,
          1,
          16,
          PNG_COLOR_TYPE_RGB,
          {0xFF, 0xFF, 0x80, 0x80, 0x00, 0xFF, 0x01, 0x01, 0x00, 0x00, 0x7F, 0x7F}},
         {255, 128, 1, 1, 0, 127},
         48,
         false},
        {"grey, 16 bits",
         {1, 1, 16, PNG_COLOR_TYPE_GRAY, {0xC8, 0xC8}},
         {200, 200, 200},
         16,
         false},
        // Alpha composes onto black: sample x alpha / 255, rounded.
        {"grey + alpha",
         {2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {200, 128, 200, 255}},
         {100, 100, 100, 200, 200, 200},
         16,
         true},
        {"RGBA",
         {3, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {255, 0, 100, 0, 255, 0, 100, 255, 255, 51, 1, 102}},
         {0, 0, 0, 255, 0, 100, 102, 20, 0},
         32,
         true},
        {"RGBA, 16 bits",
         {1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, {0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0x80}},
         {128, 0, 0},
         64,
         true},
        {"palette with transparency",
         {2, 1, 8, PNG_COLOR_TYPE_PALETTE, {0, 1}, {{10, 20, 30}, {40, 50, 60}}, {255, 0}},
         {10, 20, 30, 0, 0, 0},
         8,
         true},
        {"RGB with a transparent colour",
         {2, 1, 8, PNG_COLOR_TYPE_RGB, {9, 9, 9, 8, 8, 8}, {}, {}, png_color_16{0, 9, 9, 9, 0}},
         {0, 0, 0, 8, 8, 8},
         24,
         true},
    };
    for (const ReadCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = folder_.path("case.png");
        write_png(path, row.layout);
        const auto pixels = load(path);
        ASSERT_TRUE(pixels) << error_;
        EXPECT_EQ(*pixels, row.pixels);
        EXPECT_EQ(size_, std::make_pair(row.layout.width, row.layout.height));
        EXPECT_EQ(depth_, row.depth);
        EXPECT_EQ(header_.transparency, row.transparency);
        EXPECT_EQ(header_.colour_type, row.layout.colour_type);
    }
}

TEST_F(Png, InterlacedFilesLoadLikePlainOnes) {
    Bytes rows;
    for (uint8_t i = 0; i < 9 * 7 * 3; ++i) {
        rows.push_back(static_cast<uint8_t>(i * 37));
    }
    PngLayout layout{9, 7, 8, PNG_COLOR_TYPE_RGB, rows};
    write_png(folder_.path("plain.png"), layout);
    layout.interlaced = true;
    write_png(folder_.path("interlaced.png"), layout);
    const auto plain = load(folder_.path("plain.png"));
    const auto interlaced = load(folder_.path("interlaced.png"));
    ASSERT_TRUE(plain && interlaced);
    EXPECT_TRUE(header_.interlaced);
    EXPECT_EQ(*interlaced, *plain);
    EXPECT_EQ(*plain, rows);
}

TEST_F(Png, DamagedFilesAreRefusedWithCleanBooks) {
    write_png(folder_.path("good.png"), {4, 4, 8, PNG_COLOR_TYPE_RGB, Bytes(48, 77)});
    const Bytes good = read_file(folder_.path("good.png"));
    Bytes bad_crc = good;
    bad_crc[29] ^= 1U; // the IHDR chunk's CRC
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"cut in the pixels", Bytes(good.begin(), good.end() - 20)},
        {"cut after the signature", Bytes(good.begin(), good.begin() + 8)},
        {"header CRC wrong", bad_crc},
        {"no PNG at all", Bytes(100, 'x')},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        write_file(folder_.path("bad.png"), bytes);
        EXPECT_FALSE(load(folder_.path("bad.png")));
        EXPECT_TRUE(error_.starts_with("damaged PNG file (")) << error_;
    }
    EXPECT_FALSE(load(folder_.path("missing.png")));
    EXPECT_TRUE(error_.starts_with("it cannot be read")) << error_;
}

TEST_F(Png, APictureLargerThanThePoolIsRefused) {
    write_png(folder_.path("big.png"), {512, 512, 8, PNG_COLOR_TYPE_GRAY, Bytes(512 * 512, 1)});
    // Room for libpng's own state, but not for the picture; then not even for libpng.
    for (const auto& [limit, want] :
         {std::pair<uint64_t, std::string>{200000, "not enough memory for a 512 x 512 picture"},
          std::pair<uint64_t, std::string>{1000, "not enough memory to read the PNG file"}}) {
        orvi::HostPool pool(limit);
        Picture picture{};
        EXPECT_FALSE(
            orvi::load_png(pool, folder_.path("big.png"), picture, header_, nullptr, error_));
        EXPECT_EQ(error_, want);
        EXPECT_EQ(pool.live_blocks(), 0U);
        EXPECT_EQ(picture.Data, nullptr);
    }
}

// The colour type and bit depth a written file declares.
std::pair<int, int> declared(const Bytes& file) {
    return {file.at(25), file.at(24)};
}

// Channel `c` of a colour unique to each pixel number below 65536.
uint8_t pixel_sample(size_t pixel, size_t c) {
    return static_cast<uint8_t>(c == 0 ? pixel & 0xFFU : c == 1 ? pixel >> 8U : 3);
}

struct WriteCase {
    const char* name;
    uint32_t width;
    uint32_t bytes_per_pixel;
    std::function<uint8_t(size_t)> sample; // byte i of the picture
    int colour_type;
    int bit_depth;
};

TEST_F(Png, WritesGreyPaletteOrRgbAndEveryPixelComesBack) {
    const uint32_t height = 5;
    const std::vector<WriteCase> cases = {
        {"many colours", 300, 3, [](size_t i) { return pixel_sample(i / 3, i % 3); },
         PNG_COLOR_TYPE_RGB, 8},
        {"grey in three bytes", 17, 3, [](size_t i) { return static_cast<uint8_t>(i / 3 * 11); },
         PNG_COLOR_TYPE_GRAY, 8},
        {"one-byte grey", 9, 1, [](size_t i) { return static_cast<uint8_t>(i * 5); },
         PNG_COLOR_TYPE_GRAY, 8},
        {"two colours", 9, 3,
         [](size_t i) { return static_cast<uint8_t>(i / 3 % 2 * 200 + i % 3); },
         PNG_COLOR_TYPE_PALETTE, 1},
        {"four colours", 7, 3,
         [](size_t i) { return static_cast<uint8_t>(i / 3 % 4 * 60 + i % 3); },
         PNG_COLOR_TYPE_PALETTE, 2},
        {"sixteen colours", 31, 3,
         [](size_t i) { return static_cast<uint8_t>(i / 3 % 16 * 15 + i % 3); },
         PNG_COLOR_TYPE_PALETTE, 4},
        {"256 colours", 256, 3, [](size_t i) { return static_cast<uint8_t>(i / 3 + i % 3); },
         PNG_COLOR_TYPE_PALETTE, 8},
        {"257 colours", 257, 3, [](size_t i) { return pixel_sample(i / 3 % 257, i % 3); },
         PNG_COLOR_TYPE_RGB, 8},
    };
    for (const WriteCase& row : cases) {
        SCOPED_TRACE(row.name);
        Bytes data(size_t{row.width} * height * row.bytes_per_pixel);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = row.sample(i);
        }
        Picture picture{data.data(), static_cast<int32_t>(row.width),
                        height,      row.bytes_per_pixel,
                        row.width,   height,
                        24,          0,
                        0,           0};
        const std::string path = folder_.path("out.png");
        std::string error;
        orvi::HostPool pool;
        ASSERT_TRUE(orvi::save_png(pool, path.c_str(), picture, nullptr, error)) << error;
        EXPECT_EQ(declared(read_file(path)), std::make_pair(row.colour_type, row.bit_depth));
        const auto pixels = load(path);
        ASSERT_TRUE(pixels) << error_;
        Bytes expected;
        for (size_t p = 0; p < size_t{row.width} * height; ++p) {
            for (size_t c = 0; c < 3; ++c) {
                expected.push_back(data[p * row.bytes_per_pixel + c % row.bytes_per_pixel]);
            }
        }
        EXPECT_EQ(*pixels, expected);
    }
}

TEST_F(Png, WriteFailuresAreReported) {
    Bytes data(12, 9);
    Picture picture{data.data(), 2, 2, 3, 2, 2, 24, 0, 0, 0};
    std::string error;
    orvi::HostPool pool;
    EXPECT_FALSE(
        orvi::save_png(pool, folder_.path("no/such/folder.png").c_str(), picture, nullptr, error));
    EXPECT_EQ(error, "it cannot be written (No such file or directory)");
    EXPECT_FALSE(orvi::save_png(pool, "/dev/full", picture, nullptr, error));
    EXPECT_EQ(error, "it cannot be written (No space left on device)");
}

TEST_F(Png, TheWritersTablesAndLibpngsMemoryCountAgainstThePool) {
    Bytes data(1024 * 1024 * 3, 0);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i % 7 * 30);
    }
    Picture picture{data.data(), 1024, 1024, 3, 1024, 1024, 24, 0, 0, 0};
    std::string error;
    orvi::HostPool small(512 << 10); // no room for the palette search's index picture
    EXPECT_FALSE(orvi::save_png(small, folder_.path("out.png").c_str(), picture, nullptr, error));
    EXPECT_EQ(error, "not enough memory to write the PNG file (the picture is too large for the "
                     "memory limit)");
    EXPECT_EQ(small.live_blocks(), 0U);
    orvi::HostPool tiny(2000); // not even for libpng's own state
    Bytes grey(1024 * 1024 * 3, 90);
    picture.Data = grey.data();
    EXPECT_FALSE(orvi::save_png(tiny, folder_.path("out.png").c_str(), picture, nullptr, error));
    EXPECT_EQ(error, "not enough memory to write the PNG file");
    EXPECT_EQ(tiny.live_blocks(), 0U);
}

TEST_F(Png, ComposingOntoBlackWorksInPlace) {
    Bytes pixels = {255, 255, 255, 255, 10, 20, 30, 0, 255, 128, 2, 128};
    orvi::compose_onto_black(pixels.data(), 3);
    pixels.resize(9);
    EXPECT_EQ(pixels, (Bytes{255, 255, 255, 0, 0, 0, 128, 64, 1}));
}

} // namespace
