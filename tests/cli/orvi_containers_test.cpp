// Files of several pictures against the command: IFF LISTs whose PROPs their FORMs share,
// containers of thousands of pictures, and a file of pages read from standard input.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/orvi_run.h"

namespace {

using namespace testing_support;

// A BMHD of a 1 x 1 picture of one plane, uncompressed.
Bytes bmhd() {
    Bytes raw(20, 0);
    raw[1] = 1;
    raw[3] = 1;
    raw[8] = 1;
    raw[14] = 10;
    raw[15] = 11;
    return chunk("BMHD", raw);
}

// A FORM ILBM of `chunks` and a BODY whose one pixel is index 1.
Bytes form_of(const Bytes& chunks) {
    return chunk("FORM", concat(concat(bytes_of("ILBM"), chunks), chunk("BODY", {0x80, 0})));
}

Bytes cmap(uint8_t r, uint8_t g, uint8_t b) {
    return chunk("CMAP", {0, 0, 0, r, g, b});
}

class OrviContainers : public testing_support::OrviRun {
protected:
    // The last three bytes of page `page` converted to PPM: its one pixel.
    Bytes pixel_of(const std::string& file, int page) {
        const Outcome run =
            orvi("convert " + file + " --page " + std::to_string(page) + " - --to ppm");
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out.size() < 3 ? Bytes{} : Bytes(run.out.end() - 3, run.out.end());
    }
};

TEST_F(OrviContainers, AListsPropsGiveItsFormsWhatTheyLackAndAFormsOwnChunkWins) {
    const Bytes prop = chunk("PROP", concat(concat(bytes_of("ILBM"), bmhd()), cmap(255, 0, 0)));
    const Bytes list = chunk("LIST", concat(concat(bytes_of("ILBM"), prop),
                                            concat(form_of({}), form_of(cmap(0, 255, 0)))));
    // The same LIST inside a CAT, after a FORM of its own.
    const Bytes cat = chunk(
        "CAT ", concat(concat(bytes_of("ILBM"), form_of(concat(bmhd(), cmap(0, 0, 9)))), list));
    write_file(path("list.iff"), list);
    write_file(path("cat.iff"), cat);
    const Bytes red{255, 0, 0};
    const Bytes green{0, 255, 0};
    const Bytes blue{0, 0, 9};
    EXPECT_EQ(pixel_of("list.iff", 1), red) << "the first FORM takes BMHD and CMAP of the PROP";
    EXPECT_EQ(pixel_of("list.iff", 2), green) << "the second FORM's own CMAP wins";
    EXPECT_EQ(pixel_of("cat.iff", 1), blue);
    EXPECT_EQ(pixel_of("cat.iff", 2), red);
    EXPECT_EQ(pixel_of("cat.iff", 3), green);
    const Outcome info = orvi("info cat.iff");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("cat.iff (page 3): ILBM, 1 x 1"), std::string::npos) << info.out;
}

TEST_F(OrviContainers, ALargePropIsSharedByThousandsOfPagesNotCopied) {
    // A PROP of a 1 MB CMAP and 20,000 FORMs that take it: a 1.5 MB file, which a copy
    // of the PROP for every page would turn into 20 GB.
    const Bytes prop = chunk("PROP", concat(concat(bytes_of("ILBM"), bmhd()),
                                            chunk("CMAP", Bytes(size_t{1} << 20U, 0x7F))));
    const Bytes form = form_of({});
    Bytes forms;
    forms.reserve(form.size() * 20000);
    for (int i = 0; i < 20000; ++i) {
        forms.insert(forms.end(), form.begin(), form.end());
    }
    write_file(path("big.iff"), chunk("LIST", concat(concat(bytes_of("ILBM"), prop), forms)));
#if defined(__SANITIZE_ADDRESS__)
    const std::string cap; // the sanitizers reserve terabytes of address space
#else
    const std::string cap = "ulimit -v 1000000 && "; // a gigabyte
#endif
    ASSERT_EQ(shell(cap + ORVI_BINARY + " info big.iff >info.out 2>info.err"), 0);
    const Bytes out = read_file(path("info.out"));
    const std::string text(out.begin(), out.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20000);
    EXPECT_NE(text.find("big.iff (page 20000): ILBM, 1 x 1"), std::string::npos);
    EXPECT_EQ(pixel_of("big.iff", 20000), (Bytes{0x7F, 0x7F, 0x7F}));
}

TEST_F(OrviContainers, InfoReadsStandardInputOnceForEveryPage) {
    const Bytes cat =
        chunk("CAT ", concat(concat(bytes_of("ILBM"), form_of(concat(bmhd(), cmap(1, 2, 3)))),
                             form_of(concat(bmhd(), cmap(4, 5, 6)))));
    write_file(path("two.iff"), cat);
    ASSERT_EQ(shell(std::string(ORVI_BINARY) + " info - <two.iff >info.out 2>info.err"), 0)
        << testing_support::read_file(path("info.err")).size();
    const Bytes out = read_file(path("info.out"));
    const std::string text(out.begin(), out.end());
    EXPECT_NE(text.find("- (page 2): ILBM, 1 x 1"), std::string::npos) << text;
}

} // namespace
