// Real PBM, PGM and PPM files written by other programs: every file loads or is refused
// with a code from the table, with clean books; the well-formed ones give the pixels
// that netpbm gives, scaled to eight bits by our rule (v x 255 / maxval, truncated).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"
#include "tests/support/peers.h"

namespace {

using testing_support::Bytes;

// A plain PNM from the peer expanded to 24-bit pixels by our scaling rule.
std::optional<Bytes> plain_to_rgb(const std::string& text) {
    std::istringstream in(text);
    std::string magic;
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t maxval = 1;
    in >> magic >> width >> height;
    if (magic != "P1") {
        in >> maxval;
    }
    if (!in || maxval == 0) {
        return std::nullopt;
    }
    Bytes out;
    const uint64_t samples = width * height * (magic == "P3" ? 3 : 1);
    for (uint64_t i = 0; i < samples; ++i) {
        uint64_t value = 0;
        if (magic == "P1") {
            char digit = 0;
            in >> digit;
            value = digit == '1' ? 0 : 255;
        } else {
            in >> value;
            value = maxval == 255 ? value : value * 255 / maxval;
        }
        if (!in) {
            return std::nullopt;
        }
        out.insert(out.end(), magic == "P3" ? 1 : 3, static_cast<uint8_t>(value));
    }
    return out;
}

bool well_formed(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return name.rfind("bad-", 0) != 0 && name.rfind("fuzz-", 0) != 0;
}

class PpmCorpus : public testing_support::CodecHarness {};

TEST_F(PpmCorpus, EveryFileLoadsOrIsRefusedCleanly) {
    int loaded = 0;
    for (const std::string& path : testing_support::corpus_files("pnm")) {
        SCOPED_TRACE(path);
        const int32_t code = load_file(path);
        EXPECT_NE(result_code_text(code), nullptr) << "have code " << code << ", not in the table";
        if (code == kOk) {
            EXPECT_GT(pic_.Width, 0);
            ++loaded;
        } else {
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books();
    }
    EXPECT_GE(loaded, 30) << "most of the corpus is well-formed";
}

TEST_F(PpmCorpus, WellFormedFilesMatchNetpbm) {
    if (!testing_support::have_program("pamtopnm")) {
        GTEST_SKIP() << "netpbm's pamtopnm is not installed: no peer to compare with";
    }
    int compared = 0;
    for (const std::string& path : testing_support::corpus_files("pnm")) {
        if (!well_formed(path)) {
            continue;
        }
        const auto plain = testing_support::run_capture(
            "pamtopnm -plain " + testing_support::shell_quote(path) + " 2>/dev/null");
        if (!plain) {
            continue; // the peer refuses it (PAM, XV thumbnails): nothing to compare
        }
        SCOPED_TRACE(path);
        const auto want = plain_to_rgb(*plain);
        ASSERT_TRUE(want.has_value()) << "the peer's output did not parse";
        ASSERT_EQ(load_file(path), kOk);
        EXPECT_EQ(pixels(), *want);
        expect_clean_books();
        ++compared;
    }
    EXPECT_GE(compared, 25) << "have " << compared << " files compared";
}

} // namespace
