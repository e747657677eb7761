// Files whose data ends early or names nothing: converted with a warning for each gap,
// refused with --strict (nothing written), shown by info, counted by a batch; the real
// files of the corpus that do this, and cut files of every format at three points.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/cli/orvi_run.h"

namespace {

using namespace testing_support;

constexpr uint32_t kWidth = 40;
constexpr uint32_t kHeight = 20;

Bytes noise(size_t count, uint32_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245U + 12345U;
        bytes[i] = static_cast<uint8_t>(seed >> 16U);
    }
    return bytes;
}

// A file of a format and where its pixel data lies: cuts fall inside [begin, end).
struct Cuttable {
    std::string name;
    Bytes file;
    size_t begin;
    size_t end;
};

class OrviReliability : public testing_support::OrviRun {
protected:
    // Files of every format holding a kWidth x kHeight picture, most written by orvi.
    std::vector<Cuttable> cuttables() {
        std::vector<Cuttable> files;
        const std::string p6_header = "P6\n40 20\n255\n";
        const Bytes pixels = noise(size_t{kWidth} * kHeight * 3, 5);
        const Bytes p6 = concat(bytes_of(p6_header), pixels);
        files.push_back({"cut.ppm", p6, p6_header.size(), p6.size()});
        const std::string p5_header = "P5\n40 20\n255\n";
        const Bytes p5 = concat(bytes_of(p5_header), noise(size_t{kWidth} * kHeight, 7));
        files.push_back({"cut.pgm", p5, p5_header.size(), p5.size()});
        write_file(path("whole.ppm"), p6);
        for (const auto& [out, options] :
             std::vector<std::pair<std::string, std::string>>{{"plain.ppm", "--plain"},
                                                              {"true.pcx", ""},
                                                              {"palette.pcx", "--depth 8 "
                                                                              "--reduce"}}) {
            EXPECT_EQ(orvi("convert whole.ppm " + out + " " + options).status, 0);
            const Bytes file = read_file(path(out));
            const size_t header = out == "plain.ppm" ? 34 : 128;
            // A palette PCX keeps its 769-byte trailer out of the cuts' reach; a plain
            // file's last cut takes its whole last number (a cut inside it leaves one).
            size_t end = out == "palette.pcx" ? file.size() - 769 : file.size();
            if (out == "plain.ppm") {
                end = file.size() - 1;
                while (file[end - 1] >= '0' && file[end - 1] <= '9') {
                    --end;
                }
            }
            files.push_back({"cut-" + out, file, header, end});
        }
        // ILBM: a BODY chunk that honestly holds fewer rows than the BMHD asks for.
        EXPECT_EQ(orvi("convert whole.ppm whole.iff --no-compress").status, 0);
        const Bytes ilbm = read_file(path("whole.iff"));
        files.push_back({"cut.iff", ilbm, ilbm.size() - size_t{kHeight} * 24 * 6, ilbm.size()});
        // ILBM cut as a file is cut, its FORM and BODY sizes saying more than there is:
        // packed and plain.
        for (const char* name : {"cut-packed.iff", "cut-plain.iff"}) {
            const std::string options = name[4] == 'p' && name[5] == 'l' ? " --no-compress" : "";
            EXPECT_EQ(orvi(std::string("convert whole.ppm whole.iff") + options).status, 0);
            const Bytes whole_iff = read_file(path("whole.iff"));
            const std::string text(whole_iff.begin(), whole_iff.end());
            const size_t body = text.find("BODY") + 8; // its data, without the pad byte
            const size_t body_size = size_t{whole_iff[body - 4]} << 24U |
                                     size_t{whole_iff[body - 3]} << 16U |
                                     size_t{whole_iff[body - 2]} << 8U | whole_iff[body - 1];
            files.push_back({name, whole_iff, body, body + body_size});
        }
        // XPM: pixel strings, the last one unterminated when cut.
        std::string xpm = "/* XPM */\nstatic char *x[] = {\n\"40 20 2 1\",\n\"a c red\",\n"
                          "\"b c blue\",\n";
        const size_t first = xpm.size();
        for (uint32_t y = 0; y < kHeight; ++y) {
            xpm += "\"" + std::string(kWidth / 2, 'a') + std::string(kWidth / 2, 'b') + "\",\n";
        }
        const size_t last_quote = xpm.size() - 3;
        xpm += "};\n";
        files.push_back({"cut.xpm", bytes_of(xpm), first, last_quote});
        return files;
    }

    // Converting, --strict and info for a file whose data leaves a gap of `words`.
    void expect_gap_handled(const std::string& name, const std::string& words) {
        SCOPED_TRACE(name);
        std::filesystem::remove(path("out.png"));
        const Outcome converted = orvi("convert " + name + " out.png");
        EXPECT_EQ(converted.status, 0);
        EXPECT_NE(converted.err.find("orvi: warning: '" + name + "': " + words), std::string::npos)
            << converted.err;
        EXPECT_TRUE(std::filesystem::exists(path("out.png")));
        std::filesystem::remove(path("strict.png"));
        const Outcome strict = orvi("convert " + name + " strict.png --strict");
        EXPECT_EQ(strict.status, 1);
        EXPECT_TRUE(strict.err.starts_with("orvi: cannot load '" + name + "': " + words))
            << strict.err;
        EXPECT_TRUE(strict.err.ends_with(" (--strict)\n")) << strict.err;
        EXPECT_FALSE(std::filesystem::exists(path("strict.png")));
        const auto json = nlohmann::json::parse(orvi("info --json " + name).out);
        EXPECT_EQ(json.value("complete", true), false);
        EXPECT_NE(json.value("gaps", "").find(words), std::string::npos);
        EXPECT_NE(orvi("info " + name).out.find(", incomplete: " + words), std::string::npos);
    }
};

TEST_F(OrviReliability, CutFilesOfEveryFormatWarnAndFailWithStrict) {
    for (const Cuttable& whole : cuttables()) {
        const size_t length = whole.end - whole.begin;
        for (const size_t at :
             {whole.begin + length / 10, whole.begin + length / 2, whole.end - 1}) {
            SCOPED_TRACE(whole.name + " cut at byte " + std::to_string(at));
            Bytes cut(whole.file.begin(), whole.file.begin() + static_cast<ptrdiff_t>(at));
            if (whole.name == "cut.iff") {
                // The BODY chunk and the FORM say the length they now have.
                const auto body = static_cast<uint32_t>(at - (whole.begin));
                const auto form = static_cast<uint32_t>(cut.size() - 8);
                for (const auto& [offset, value] :
                     {std::pair<size_t, uint32_t>{whole.begin - 4, body}, {4, form}}) {
                    for (size_t k = 0; k < 4; ++k) {
                        cut[offset + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
                    }
                }
            }
            write_file(path(whole.name), cut);
            expect_gap_handled(whole.name, "the image data ends at row ");
            EXPECT_NE(orvi("info " + whole.name).out.find(" of 20; the rest is black"),
                      std::string::npos);
        }
    }
}

TEST_F(OrviReliability, TheCorpusFilesThatLeaveGapsSayWhich) {
    const std::string corpus = ORVI_CORPUS_DIR;
    const std::pair<const char*, const char*> files[] = {
        {"pnm/bad-p6-truncated.ppm", "the image data ends at row 1 of 10"},
        {"pnm/bad-p5-truncated-9x1.pgm", "the image data ends at row 0 of 1"},
        {"xpm/bad-missing-rows.xpm", "the image data ends at row 10 of 12"},
        {"xpm/bad-short-rows.xpm", "the image data ends at row 9 of 12"},
        {"xpm/bad-too-few-rows.xpm", "the image data ends at row 22 of 220"},
        {"xpm/bad-unknown-colour-name.xpm", "1 colour names no colour orvi knows; their pixels "
                                            "are red"},
        {"xpm/bad-undefined-pixel-chars.xpm", "16 pixels have codes that no colour of the file "
                                              "defines"},
        // Five planes and a CMAP of 16 colours: half the indices have no colour.
        {"ilbm/5plane-hamflag-131x131.iff", "2975 pixels have indices past the colours of the "
                                            "palette; they are black"},
    };
    for (const auto& [file, words] : files) {
        const std::string name = std::filesystem::path(file).filename().string();
        std::filesystem::copy_file(corpus + "/" + file, path(name));
        expect_gap_handled(name, words);
    }
}

TEST_F(OrviReliability, ABatchCountsTheFilesItConvertedFromIncompleteData) {
    write_file(path("a.ppm"), concat(bytes_of("P6\n2 1\n255\n"), Bytes(6, 9)));
    write_file(path("b.ppm"), concat(bytes_of("P6\n2 2\n255\n"), Bytes(6, 9)));
    write_file(path("c.ppm"), concat(bytes_of("P6\n1 1\n255\n"), Bytes(3, 9)));
    const Outcome run = orvi("convert --to png --out-dir o --jobs 2 a.ppm b.ppm c.ppm");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("orvi: warning: 'b.ppm': the image data ends at row 1 of 2; the rest "
                           "is black\n"),
              std::string::npos);
    EXPECT_TRUE(
        run.err.ends_with("orvi: 1 of 3 files converted from incomplete data (see the warnings)\n"))
        << run.err;
    const Outcome strict = orvi("convert --to png --out-dir s --strict a.ppm b.ppm c.ppm");
    EXPECT_EQ(strict.status, 1);
    EXPECT_TRUE(strict.err.ends_with("orvi: 1 of 3 files not converted\n")) << strict.err;
    EXPECT_FALSE(std::filesystem::exists(path("s/b.png")));
}

} // namespace
