// Pages of the files that hold several pictures: DCX tables and IFF LIST and CAT
// containers, and loading a page through the library.
#include <gtest/gtest.h>

#include "ilbm/ilbm_host.h"
#include "lib/library_inside.h"
#include "lib/pages.h"
#include "orvi/orvi.h"
#include "pcx/pcx_host.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

TEST(Pages, DcxOffsetsGiveEachPageToTheNextOrTheEnd) {
    const Bytes file =
        concat(concat(concat(le32(orvi::kDcxMagic), le32(16)), concat(le32(20), le32(0))),
               bytes_of("aaaabbbbbb"));
    ASSERT_TRUE(orvi::is_dcx(file));
    const auto pages = orvi::dcx_pages(file);
    ASSERT_EQ(pages.size(), 2U);
    EXPECT_EQ(std::string(pages[0].bytes.begin(), pages[0].bytes.end()), "aaaa");
    EXPECT_EQ(std::string(pages[1].bytes.begin(), pages[1].bytes.end()), "bbbbbb");
    // An offset into the table or past the end is an empty page; a table without a zero
    // ends with the file.
    const Bytes odd = concat(concat(le32(orvi::kDcxMagic), le32(4)), le32(999));
    const auto bad = orvi::dcx_pages(odd);
    ASSERT_EQ(bad.size(), 2U);
    EXPECT_TRUE(bad[0].bytes.empty());
    EXPECT_TRUE(bad[1].bytes.empty());
    EXPECT_FALSE(orvi::is_dcx(bytes_of("\x0a\x05")));
}

TEST(Pages, IffListsAndCatsGiveEachPictureFormWithItsListsProperties) {
    const Bytes form_a = chunk("FORM", concat(bytes_of("ILBM"), chunk("BODY", {1})));
    const Bytes form_b = chunk("FORM", concat(bytes_of("PBM "), chunk("BODY", {2})));
    const Bytes other = chunk("FORM", concat(bytes_of("8SVX"), chunk("BODY", {3})));
    const Bytes prop = chunk("PROP", concat(bytes_of("ILBM"), chunk("BMHD", Bytes(20, 7))));
    const Bytes cat =
        chunk("CAT ", concat(concat(bytes_of("    "), form_a), concat(other, form_b)));
    const auto pages = orvi::iff_pages(cat);
    ASSERT_EQ(pages.size(), 2U);
    EXPECT_EQ(Bytes(pages[0].bytes.begin(), pages[0].bytes.end()), cat) << "the first is the file";
    EXPECT_EQ(Bytes(pages[1].bytes.begin(), pages[1].bytes.end()), form_b);
    const Bytes list =
        chunk("LIST", concat(concat(bytes_of("ILBM"), prop), concat(form_a, form_a)));
    const auto listed = orvi::iff_pages(list);
    ASSERT_EQ(listed.size(), 2U);
    EXPECT_EQ(Bytes(listed[1].bytes.begin(), listed[1].bytes.end()), form_a);
    ASSERT_EQ(listed[1].props.size(), 1U) << "a FORM keeps the PROP of its LIST";
    EXPECT_EQ(listed[1].props[0].data(), list.data() + 12) << "by reference, not a copy";
    // Read as a file, the page is a LIST of its own of the PROP and the FORM.
    const orvi::PageFile made(listed[1]);
    Bytes joined;
    for (const OrviSegment& segment : made.segments()) {
        joined.insert(joined.end(), segment.data, segment.data + segment.size);
    }
    EXPECT_EQ(joined, chunk("LIST", concat(concat(bytes_of("ILBM"), prop), form_a)));
    EXPECT_EQ(orvi::iff_pages(form_a).size(), 1U);
    EXPECT_TRUE(orvi::iff_pages(bytes_of("P6\n1 1\n255\n")).empty());
}

// The value of a detail, or empty.
std::string detail(const orvi::Image& image, const std::string& key) {
    for (const orvi::Detail& entry : image.details()) {
        if (entry.key == key) {
            return entry.text();
        }
    }
    return "";
}

TEST(Pages, TheLibraryLoadsThePageAskedForAndSaysHowManyThereAre) {
    std::string file;
    for (const std::string& path : testing_support::corpus_files("ilbm")) {
        if (path.find("cat-two-ilbm-forms.iff") != std::string::npos) {
            file = path;
        }
    }
    if (file.empty()) {
        GTEST_SKIP() << "the corpus file cat-two-ilbm-forms.iff is not here";
    }
    orvi::Options settings;
    settings.module_folder = MODULE_DIR;
    orvi::Library library(settings);
    orvi::Error error;
    orvi::LoadOptions second;
    second.page = 2;
    const auto first = library.load(file, error);
    ASSERT_TRUE(first) << error.sentence;
    const auto other = library.load(file, error, second);
    ASSERT_TRUE(other) << error.sentence << " (code " << error.code << ")";
    EXPECT_EQ(detail(*first, "pages"), "2");
    EXPECT_EQ(detail(*other, "page"), "2");
    EXPECT_EQ(first->width(), other->width());
    orvi::LoadOptions third;
    third.page = 3;
    EXPECT_FALSE(library.load(file, error, third));
    EXPECT_EQ(error.code, orvi::kNoSuchPage);
    EXPECT_EQ(error.sentence, "it holds 2 pictures, numbered 1 to 2");
}

TEST(Pages, ADcxOfTwoPcxPagesLoadsEachAsItsOwnFile) {
    orvi::Options settings;
    settings.module_folder = MODULE_DIR;
    orvi::Library library(settings);
    testing_support::TempFolder folder;
    orvi::Error error;
    std::vector<Bytes> pcx;
    std::vector<Bytes> pictures;
    for (uint8_t shade : {uint8_t{40}, uint8_t{200}}) {
        Bytes pixels;
        for (uint32_t i = 0; i < 12; ++i) {
            pixels.insert(pixels.end(), {shade, static_cast<uint8_t>(i * 20), 7});
        }
        auto made = library.make_image(4, 3, 3, pixels.data(), error);
        ASSERT_TRUE(made) << error.sentence;
        ASSERT_TRUE(library.save(*made, folder.path("page.pcx"), {}, error)) << error.sentence;
        pcx.push_back(testing_support::read_file(folder.path("page.pcx")));
        pictures.push_back(pixels);
    }
    const auto first = static_cast<uint32_t>(4 + 3 * 4);
    const auto second = static_cast<uint32_t>(first + pcx[0].size());
    const Bytes dcx =
        concat(concat(concat(le32(orvi::kDcxMagic), le32(first)), concat(le32(second), le32(0))),
               concat(pcx[0], pcx[1]));
    testing_support::write_file(folder.path("two.dcx"), dcx);
    for (uint32_t page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        orvi::LoadOptions options;
        options.page = page;
        const auto image = library.load(folder.path("two.dcx"), error, options);
        if (page == 3) {
            EXPECT_FALSE(image);
            EXPECT_EQ(error.sentence, "it holds 2 pictures, numbered 1 to 2");
            continue;
        }
        ASSERT_TRUE(image) << error.sentence;
        EXPECT_EQ(image->format(), "DCX");
        EXPECT_EQ(Bytes(image->pixels(), image->pixels() + 36), pictures[page - 1]);
    }
}

} // namespace

namespace {

TEST(Pages, FaultsOfDeepPicturesAndDcxTablesAreSaidInTheirOwnTerms) {
    orvi::Options settings;
    settings.module_folder = MODULE_DIR;
    orvi::Library library(settings);
    const Bytes dgbl = {0, 1, 0, 1, 0, 0, 1, 1}; // 1 x 1, compression 0
    const Bytes rgb = concat(be32(3), {0, 1, 0, 8, 0, 2, 0, 8, 0, 3, 0, 8});
    const auto deep = [](const Bytes& chunks) {
        return chunk("FORM", concat(bytes_of("DEEP"), concat(chunks, chunk("DBOD", {1, 2, 3}))));
    };
    Bytes packed_dgbl = dgbl;
    packed_dgbl[5] = 3;
    const Bytes no_dcx_page = concat(concat(le32(orvi::kDcxMagic), le32(64)), le32(0));
    const struct {
        const char* reason;
        Bytes file;
        int32_t code;
        std::string sentence;
    } rows[] = {
        {"a DEEP without DGBL", deep(chunk("DPEL", rgb)), 106,
         "the DEEP picture has no DGBL chunk giving its size (code 106)"},
        {"a DEEP of grey elements",
         deep(concat(chunk("DGBL", dgbl), chunk("DPEL", concat(be32(1), {0, 9, 0, 8})))), 105,
         "the DEEP picture's DPEL does not give red, green and blue elements of 8 or 16 bits "
         "each (at most 8 elements), which orvi needs (code 105)"},
        {"a DEEP of compression 3", deep(concat(chunk("DGBL", packed_dgbl), chunk("DPEL", rgb))),
         114, "unknown DEEP compression 3 (orvi reads 0, 1, and 5 with 8-bit elements) (code 114)"},
        {"a DCX page past the end", no_dcx_page, orvi::kPageOutside,
         "its table puts picture 1 outside the file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        orvi::Error error;
        EXPECT_FALSE(library.load(row.file, error));
        EXPECT_EQ(error.code, row.code);
        EXPECT_EQ(error.sentence, row.sentence);
        EXPECT_EQ(orvi::LibraryInside::pool(library).live_blocks(), 0U);
    }
}

} // namespace
