// The library's PAM and PBM writers: the bitmap rows (threshold and Floyd-Steinberg),
// files that load back through the ppm module, and what netpbm reads of them.
#include <gtest/gtest.h>

#include <numeric>

#include "lib/library_inside.h"
#include "orvi/orvi.h"
#include "ppm/ppm_host_write.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using testing_support::Bytes;
using testing_support::bytes_of;
using testing_support::read_file;

TEST(BitmapRow, BlackBelowHalfAndErrorsSpreadAsFloydSteinberg) {
    const struct {
        Bytes grey;
        Bytes bits;
    } rows[] = {
        {{0, 127, 128, 255, 10, 200, 90, 130, 5}, {0b11001010, 0b10000000}},
        {{255}, {0}},
    };
    for (const auto& row : rows) {
        Bytes bits(row.bits.size(), 0xFF);
        orvi::bitmap_row(row.grey, bits, nullptr, nullptr);
        EXPECT_EQ(bits, row.bits);
    }
    // Mid-grey dithers to about half black, and the error goes to the next row.
    const Bytes grey(64, 128);
    std::vector<int32_t> errors(2 * (64 + 2), 0);
    Bytes bits(8);
    orvi::bitmap_row(grey, bits, errors.data(), errors.data() + 66);
    const int black = std::accumulate(bits.begin(), bits.end(), 0, [](int sum, uint8_t b) {
        return sum + __builtin_popcount(b);
    });
    EXPECT_GE(black, 28);
    EXPECT_LE(black, 36);
    EXPECT_NE(std::count(errors.begin() + 66, errors.end(), 0), 66) << "errors reach the next row";
}

class NetpbmWrite : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(orvi::LibraryInside::pool(library_).live_blocks(), 0U); }
    orvi::Image image(const Bytes& pixels, uint32_t width, uint32_t height) {
        orvi::Error error;
        auto made = library_.make_image(width, height, 3, pixels.data(), error);
        EXPECT_TRUE(made) << error.sentence;
        return std::move(*made);
    }
    Bytes saved_and_loaded(const orvi::Image& picture, const std::string& name,
                           const orvi::SaveOptions& options = {}) {
        orvi::Error error;
        EXPECT_TRUE(library_.save(picture, folder_.path(name), options, error)) << error.sentence;
        auto back = library_.load(folder_.path(name), error);
        EXPECT_TRUE(back) << error.sentence;
        if (!back) {
            return {};
        }
        return Bytes(back->pixels(), back->pixels() + size_t{back->width()} * back->height() * 3);
    }

    orvi::Library library_{[] {
        orvi::Options options;
        options.module_folder = MODULE_DIR;
        return options;
    }()};
    testing_support::TempFolder folder_;
};

TEST_F(NetpbmWrite, PamKeepsColourAndWritesGreyAsGrayscale) {
    const Bytes colour{1, 2, 3, 200, 100, 50, 0, 0, 0, 255, 255, 255};
    EXPECT_EQ(saved_and_loaded(image(colour, 2, 2), "c.pam"), colour);
    EXPECT_NE(testing_support::read_file(folder_.path("c.pam")).size(), 0U);
    const std::string head(reinterpret_cast<const char*>(read_file(folder_.path("c.pam")).data()),
                           60);
    EXPECT_EQ(head.substr(0, head.find("ENDHDR")),
              "P7\nWIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\n");
    const Bytes grey{9, 9, 9, 70, 70, 70};
    EXPECT_EQ(saved_and_loaded(image(grey, 2, 1), "g.pam"), grey);
    EXPECT_EQ(
        read_file(folder_.path("g.pam")).size(),
        std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n")
                .size() +
            2);
    if (testing_support::have_program("pamtopnm")) {
        const auto peer = testing_support::run_capture(
            "pamtopnm " + testing_support::shell_quote(folder_.path("c.pam")) +
            " | tail -c 12 | od -An -tu1 | tr -s ' \n' ' '");
        ASSERT_TRUE(peer.has_value());
        EXPECT_EQ(*peer, " 1 2 3 200 100 50 0 0 0 255 255 255 ");
    }
}

TEST_F(NetpbmWrite, PbmIsBlackBelowHalfRawOrPlainAndDithersOnRequest) {
    Bytes ramp;
    for (uint32_t x = 0; x < 100; ++x) {
        const auto v = static_cast<uint8_t>(x * 255 / 99);
        ramp.insert(ramp.end(), {v, v, v});
    }
    const orvi::Image picture = image(ramp, 100, 1);
    Bytes want;
    for (uint32_t x = 0; x < 100; ++x) {
        const uint8_t v = x * 255 / 99 < 128 ? 0 : 255;
        want.insert(want.end(), {v, v, v});
    }
    EXPECT_EQ(saved_and_loaded(picture, "raw.pbm"), want);
    const Bytes raw = read_file(folder_.path("raw.pbm"));
    EXPECT_EQ(raw.size(), std::string("P4\n#Created with Orvi\n100 1\n").size() + 13);
    orvi::SaveOptions plain;
    plain.plain = true;
    EXPECT_EQ(saved_and_loaded(picture, "plain.pbm", plain), want);
    const Bytes text = read_file(folder_.path("plain.pbm"));
    const std::string whole(text.begin(), text.end());
    const std::string body = whole.substr(whole.find("100 1\n") + 6);
    EXPECT_EQ(body,
              std::string(50, '1') + std::string(20, '0') + "\n" + std::string(30, '0') + "\n")
        << "70 digits a line";
    orvi::SaveOptions dither;
    dither.dither = true;
    const Bytes dithered = saved_and_loaded(picture, "dither.pbm", dither);
    EXPECT_NE(dithered, want);
    size_t white = 0;
    for (size_t i = 0; i < dithered.size(); i += 3) {
        white += dithered[i] == 255 ? 1U : 0U;
    }
    EXPECT_NEAR(static_cast<double>(white), 50.0, 4.0) << "a ramp dithers to half white";
    if (testing_support::have_program("pamthreshold")) {
        // netpbm's own threshold at one half of the same grey gives the same bits.
        orvi::Error error;
        ASSERT_TRUE(library_.save(picture, folder_.path("ramp.pgm"), {}, error));
        const auto bits_of = [](const std::string& command) {
            const auto output =
                testing_support::run_capture(command + " | pamtopnm -plain | tail -n +3");
            std::string digits = output ? *output : "no output";
            digits.erase(std::remove_if(digits.begin(), digits.end(),
                                        [](char c) { return c == ' ' || c == '\n'; }),
                         digits.end());
            return digits;
        };
        EXPECT_EQ(bits_of("pamthreshold -simple -threshold 0.5 " +
                          testing_support::shell_quote(folder_.path("ramp.pgm")) + " 2>/dev/null"),
                  bits_of("cat " + testing_support::shell_quote(folder_.path("raw.pbm"))));
    }
}

} // namespace
