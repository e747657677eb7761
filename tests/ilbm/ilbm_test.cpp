// The ilbm module and the iffparse stand-in: ByteRun1 both ways, plane conversion, the
// IFF walk and writing on their own, every display mode pixel by pixel, refusals, the
// writer's layouts and round trips, failure paths, and the corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "ilbm/ilbm_format.h"
#include "platform/iffparse.h"
#include "runtime/result_codes.h"
#include "tests/support/codec_harness.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

Bytes form(const char* type, const Bytes& chunks) {
    return chunk("FORM", concat(bytes_of(std::string(type, 4)), chunks));
}

Bytes bmhd(uint16_t w, uint16_t h, uint8_t planes, uint8_t masking = 0, uint8_t compression = 0,
           uint16_t transparent = 0) {
    return {static_cast<uint8_t>(w >> 8),
            static_cast<uint8_t>(w),
            static_cast<uint8_t>(h >> 8),
            static_cast<uint8_t>(h),
            0,
            0,
            0,
            0,
            planes,
            masking,
            compression,
            0,
            static_cast<uint8_t>(transparent >> 8),
            static_cast<uint8_t>(transparent),
            1,
            1,
            0,
            0,
            0,
            0};
}

Bytes cmap(size_t entries) {
    Bytes out;
    for (size_t i = 0; i < entries; ++i) {
        out.insert(out.end(), {static_cast<uint8_t>(10 * i), static_cast<uint8_t>(10 * i + 1),
                               static_cast<uint8_t>(10 * i + 2)});
    }
    return out;
}

Bytes rgb_of(size_t entry) {
    return {static_cast<uint8_t>(10 * entry), static_cast<uint8_t>(10 * entry + 1),
            static_cast<uint8_t>(10 * entry + 2)};
}

TEST(IlbmPieces, CompactRowPacksTheDocumentedExamples) {
    Bytes counting(130);
    for (size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<uint8_t>(i);
    }
    counting.insert(counting.end(), {0, 0});
    Bytes counting_packed{0x7F};
    counting_packed.insert(counting_packed.end(), counting.begin(), counting.begin() + 128);
    counting_packed.insert(counting_packed.end(), {0x01, 0x80, 0x81, 0xFF, 0x00});
    const std::pair<Bytes, Bytes> rows[] = {
        {{1, 2, 3, 4}, {2, 1, 2, 3, 0, 4}},
        {{5, 5, 5, 7}, {0xFE, 5, 0, 7}},
        {{5, 5, 5, 5}, {0xFD, 5}},
        {{1, 2}, {0, 1, 0, 2}},
        {{1, 2, 2, 3, 4, 4}, {0, 1, 0xFF, 2, 0, 3, 0xFF, 4}},
        {Bytes(200, 0), {0x81, 0, 0xB9, 0}},
        {counting, counting_packed},
    };
    for (const auto& [row, want] : rows) {
        Bytes out(2 * row.size());
        out.resize(ilbm::CompactRow(row.data(), out.data(), row.size(), 1));
        EXPECT_EQ(out, want);
        Bytes back(row.size());
        EXPECT_EQ(ilbm::unpack_row(out, 0, back), static_cast<int64_t>(out.size()));
        EXPECT_EQ(back, row);
    }
}

TEST(IlbmPieces, UnpackRefusesOverrunsAndStopsAtTheEnd) {
    Bytes out(4);
    EXPECT_EQ(ilbm::unpack_row(Bytes{0x80, 0x03, 1, 2, 3, 4}, 0, out), 6) << "-128 does nothing";
    EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(ilbm::unpack_row(Bytes{0x01, 1, 2, 0xFE, 9}, 0, out), -1)
        << "a run of 3 at the last 2";
    EXPECT_EQ(ilbm::unpack_row(Bytes{0x05, 1, 2}, 0, out), -1) << "a literal past the row";
    EXPECT_EQ(ilbm::unpack_row(Bytes{0x03, 1, 2}, 0, out), 0) << "the data ends";
    Bytes none;
    EXPECT_EQ(ilbm::unpack_row(Bytes{0x00, 1}, 0, none), -1)
        << "a row of no bytes consumes nothing";
}

// ByteRun1 a byte at a time, as the rule reads: what unpack_row must agree with.
int64_t unpack_slowly(const Bytes& packed, size_t at, Bytes& out) {
    size_t i = at;
    for (size_t made = 0; made < out.size();) {
        if (i >= packed.size()) {
            return 0;
        }
        const auto control = static_cast<int8_t>(packed[i++]);
        if (control == -128) {
            continue;
        }
        const size_t length = control >= 0 ? size_t(control) + 1 : size_t(1 - control);
        if (made + length > out.size()) {
            return -1;
        }
        for (size_t k = 0; k < length; ++k) {
            if (i >= packed.size()) {
                return 0;
            }
            out[made++] = packed[control >= 0 ? i++ : i];
        }
        i += control >= 0 ? 0 : 1;
    }
    return static_cast<int64_t>(i - at);
}

TEST(IlbmPieces, UnpackAgreesWithTheRuleOnLongRowsOfEveryRun) {
    // Random controls of every kind (long and short copies and repeats, -128), rows long
    // enough for the wide stores and short ones, data cut anywhere and starting late.
    std::minstd_rand random(77);
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes packed;
        const size_t controls = random() % 120;
        for (size_t c = 0; c < controls; ++c) {
            const auto control = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 20);
            packed.push_back(control);
            const size_t data = control < 128 ? control + 1U : 1U;
            for (size_t k = 0; k < data; ++k) {
                packed.push_back(static_cast<uint8_t>(random()));
            }
        }
        packed.resize(packed.size() -
                      std::min<size_t>(packed.size(), random() % 3 == 0 ? random() % 40 : 0));
        const size_t at = packed.empty() ? 0 : random() % 3 == 0 ? random() % packed.size() : 0;
        const size_t width = 1 + random() % 600;
        SCOPED_TRACE("trial " + std::to_string(trial));
        Bytes want(width, 0xEE);
        Bytes got(width, 0xEE);
        const int64_t used = ilbm::unpack_row(packed, at, got);
        ASSERT_EQ(used, unpack_slowly(packed, at, want));
        if (used > 0) {
            ASSERT_EQ(got, want);
        }
    }
}

// Unpacks runs until `wanted` bytes are made, dropping what the last run makes past
// them, as some readers of FORM PBM do; the bytes the runs took, or 0 when they end first.
size_t unpack_dropping(const Bytes& packed, size_t at, size_t wanted, Bytes& out) {
    const size_t start = at;
    out.clear();
    while (out.size() < wanted && at < packed.size()) {
        const auto control = static_cast<int8_t>(packed[at++]);
        if (control >= 0) {
            for (int i = 0; i <= control && at < packed.size(); ++i) {
                out.push_back(packed[at++]);
            }
        } else if (control != -128 && at < packed.size()) {
            out.insert(out.end(), size_t(1 - control), packed[at++]);
        }
    }
    if (out.size() < wanted) {
        return 0;
    }
    out.resize(wanted);
    return at - start;
}

TEST(IlbmPieces, AnOddChunkyRowKeepsItsPadInsideTheRunOfItsLastPixel) {
    const struct {
        const char* reason;
        Bytes row;
    } rows[] = {
        {"one pixel", {7}},
        {"a literal at the end", {1, 2, 3}},
        {"a repeat at the end", {1, 2, 2, 2, 2}},
        {"a long literal, the last pixel alone",
         [] {
             Bytes row(131);
             for (size_t i = 0; i < row.size(); ++i) {
                 row[i] = static_cast<uint8_t>(i * 7 + 1);
             }
             return row;
         }()},
        {"a repeat of 128 at the end",
         [] {
             Bytes row(129, 5);
             row[0] = 1;
             return row;
         }()},
        {"an even row has no pad", {4, 4, 4, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        const size_t width = row.row.size();
        const size_t padded = width + (width & 1U);
        Bytes packed(2 * (width + 1) + 2);
        packed.resize(ilbm::pack_chunky_row(row.row.data(), width, packed.data()));
        // Twice in a row: a reader of the padded length, and one that drops what a run
        // makes past the pixels, both find the second row where it starts.
        const Bytes twice = concat(packed, packed);
        Bytes whole(padded);
        const int64_t used = ilbm::unpack_row(twice, 0, whole);
        ASSERT_EQ(used, static_cast<int64_t>(packed.size())) << "the padded row ends its runs";
        EXPECT_EQ(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(width)), row.row);
        Bytes pixels;
        ASSERT_EQ(unpack_dropping(twice, 0, width, pixels), packed.size());
        EXPECT_EQ(pixels, row.row);
        ASSERT_EQ(unpack_dropping(twice, packed.size(), width, pixels), packed.size());
        EXPECT_EQ(pixels, row.row);
    }
}

TEST(IlbmPieces, PlanesGatherAndSpreadBackForEveryWidth) {
    std::minstd_rand random(3);
    for (uint32_t width = 1; width <= 40; ++width) {
        Bytes indices(width);
        for (uint8_t& index : indices) {
            index = static_cast<uint8_t>(random());
        }
        Bytes lane(width, 0);
        for (uint32_t bit = 0; bit < 8; ++bit) {
            Bytes plane(ilbm::row_bytes(width), 0);
            ilbm::gather_plane(indices.data(), plane.data(), width, bit);
            for (uint32_t x = 0; x < width; ++x) {
                ASSERT_EQ((plane[x / 8] >> (7 - x % 8)) & 1, (indices[x] >> bit) & 1) << "x " << x;
            }
            ilbm::spread_plane(plane, lane.data(), width, bit);
        }
        EXPECT_EQ(lane, indices) << "width " << width;
    }
}

class IffParse : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(platform::seam::live_iff_handles(), 0);
        EXPECT_EQ(platform::seam::live_dos_objects(), 0);
        platform::seam::reset();
    }
    // Opens `bytes` as a memory file and parses to the BODY of an ILBM with the usual
    // properties; returns the parse result.
    int32_t parse(const Bytes& bytes) {
        using namespace platform;
        bytes_ = bytes;
        seam::set_memory_file("memory:iff", bytes_.data(), bytes_.size());
        iff_ = AllocIFF();
        file_ = Open("memory:iff", MODE_OLDFILE);
        SetIFFStream(iff_, file_);
        InitIFFasDOS(iff_);
        EXPECT_EQ(OpenIFF(iff_, IFFF_READ), 0);
        EXPECT_EQ(PropChunk(iff_, ilbm::ID_ILBM, ilbm::ID_BMHD), 0);
        EXPECT_EQ(StopChunk(iff_, ilbm::ID_ILBM, ilbm::ID_BODY), 0);
        return ParseIFF(iff_, IFFPARSE_SCAN);
    }
    void close() {
        platform::CloseIFF(iff_);
        platform::Close(file_);
        platform::FreeIFF(iff_);
    }
    Bytes bytes_;
    platform::IFFHandle* iff_ = nullptr;
    platform::BPTR file_ = 0;
};

TEST_F(IffParse, FindsPropertiesAndTheStopChunkAndRefusesMangledFiles) {
    const Bytes good =
        form("ILBM", concat(concat(chunk("BMHD", bmhd(1, 1, 1)), chunk("ANNO", {1, 2, 3})),
                            chunk("BODY", {7, 8, 9})));
    ASSERT_EQ(parse(good), 0);
    const platform::StoredProperty* property =
        platform::FindProp(iff_, ilbm::ID_ILBM, ilbm::ID_BMHD);
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(property->sp_Size, 20);
    EXPECT_EQ(platform::FindProp(iff_, ilbm::ID_ILBM, ilbm::ID_CMAP), nullptr);
    ASSERT_NE(platform::CurrentChunk(iff_), nullptr);
    EXPECT_EQ(platform::CurrentChunk(iff_)->cn_Size, 3);
    Bytes body(5, 0);
    EXPECT_EQ(platform::ReadChunkBytes(iff_, body.data(), 5), 3) << "no more than the chunk holds";
    close();
    struct Row {
        const char* reason;
        Bytes file;
        int32_t code;
        int32_t body_size = -1; // the stop chunk's size, when it is checked
    };
    Bytes past = form("ILBM", chunk("BMHD", bmhd(1, 1, 1)));
    past[past.size() - 21] = 60;       // the BMHD claims more than its FORM holds,
    past = concat(past, Bytes(80, 0)); // and the file goes on after the FORM
    const Row rows[] = {
        {"not IFF", bytes_of("GIF89a and more bytes"), platform::IFFERR_NOTIFF},
        {"a FORM of another type", form("PBM ", chunk("BODY", {1})), platform::IFFERR_EOF},
        {"no BODY", form("ILBM", chunk("BMHD", bmhd(1, 1, 1))), platform::IFFERR_EOF},
        {"a chunk past its FORM", past, platform::IFFERR_MANGLED},
        {"400 BMHD chunks",
         [] {
             Bytes chunks;
             for (int i = 0; i < 400; ++i) {
                 chunks = concat(chunks, chunk("BMHD", bmhd(1, 1, 1)));
             }
             return form("ILBM", concat(chunks, chunk("BODY", {1})));
         }(),
         0},
        {"a FORM inside a CAT",
         chunk("CAT ", concat(bytes_of("ILBM"), form("ILBM", chunk("BODY", {1})))), 0},
        {"a BODY cut by the end of the file", Bytes(good.begin(), good.end() - 2), 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(parse(row.file), row.code);
        if (row.body_size >= 0) {
            ASSERT_NE(platform::CurrentChunk(iff_), nullptr);
            EXPECT_EQ(platform::CurrentChunk(iff_)->cn_Size, row.body_size)
                << "the BODY as far as it goes";
        }
        close();
    }
}

TEST_F(IffParse, WritesNestedChunksWithFixedSizesAndPadding) {
    using namespace platform;
    testing_support::TempFolder folder;
    const std::string path = folder.path("w.iff");
    IFFHandle* iff = AllocIFF();
    const BPTR file = Open(path.c_str(), MODE_NEWFILE);
    SetIFFStream(iff, file);
    InitIFFasDOS(iff);
    ASSERT_EQ(OpenIFF(iff, IFFF_WRITE), 0);
    ASSERT_EQ(PushChunk(iff, ilbm::ID_ILBM, ID_FORM, IFFSIZE_UNKNOWN), 0);
    ASSERT_EQ(PushChunk(iff, ilbm::ID_ILBM, ilbm::ID_BMHD, 2), 0);
    EXPECT_EQ(WriteChunkBytes(iff, "abc", 3), 2) << "no more than the declared size";
    ASSERT_EQ(PopChunk(iff), 0);
    ASSERT_EQ(PushChunk(iff, ilbm::ID_ILBM, ilbm::ID_BODY, IFFSIZE_UNKNOWN), 0);
    EXPECT_EQ(WriteChunkBytes(iff, "xyz", 3), 3);
    ASSERT_EQ(PopChunk(iff), 0);
    ASSERT_EQ(PopChunk(iff), 0);
    CloseIFF(iff);
    Close(file);
    FreeIFF(iff);
    EXPECT_EQ(
        testing_support::read_file(path),
        concat(bytes_of("FORM"),
               concat(be32(26),
                      concat(bytes_of("ILBMBMHD"),
                             concat(be32(2),
                                    concat(bytes_of("abBODY"),
                                           concat(be32(3), bytes_of(std::string("xyz\0", 4)))))))));
}

class IlbmRead : public testing_support::CodecHarness {
protected:
    // A table row's file gives `code`; when it loads, `pixels`, and 7 with clean books
    // for each allocation failing in turn; when refused, a cleared picture.
    void expect_row(const Bytes& file, int32_t code, const Bytes& pixels) {
        ASSERT_EQ(load_bytes(file), code);
        if (code == kOk) {
            EXPECT_EQ(this->pixels(), pixels);
            expect_clean_books();
            EXPECT_GT(expect_each_allocation_failure_reported(file), 0U);
        } else {
            testing_support::expect_cleared(pic_);
        }
        expect_clean_books();
    }
};

struct ReadRow {
    const char* reason;
    Bytes file;
    int32_t code;
    uint32_t mode;
    Bytes pixels; // checked when not empty
    uint32_t transparency = 0;
};

std::vector<ReadRow> read_rows() {
    const Bytes two_planes =
        form("ILBM", concat(concat(chunk("BMHD", bmhd(10, 1, 2)), chunk("CMAP", cmap(4))),
                            chunk("BODY", {0xC0, 0x00, 0xA0, 0x3F})));
    Bytes ten_pixels;
    const size_t indices[] = {3, 1, 2, 0, 0, 0, 0, 0, 0, 0};
    for (const size_t index : indices) {
        ten_pixels = concat(ten_pixels, rgb_of(index));
    }
    const Bytes ham_body{0xA0, 0, 0x00, 0, 0x80, 0, 0x00, 0, 0x00, 0, 0x80, 0}; // codes 0x25, 0x00
    Bytes ehb_body(12, 0);
    ehb_body[0] = 0x80;     // plane 0: index bit 0 of pixel 0
    ehb_body[10] = 0x80;    // plane 5: index bit 5 of pixel 0 -> index 33
    Bytes mask_body(50, 0); // 24 plane rows and a mask row of 2 bytes
    mask_body[0] = 0x80;    // red bit 0
    mask_body[32] = 0x80;   // blue bit 0
    mask_body[48] = 0x80;   // the mask plane, dropped
    const Bytes masked = form(
        "ILBM", concat(concat(chunk("BMHD", bmhd(2, 1, 1, 2, 0, 0x0101)), chunk("CMAP", cmap(2))),
                       chunk("BODY", {0x40, 0})));
    // Property chunks repeated or larger than the store: the last of each counts.
    Bytes repeated_cmaps = chunk("BMHD", bmhd(1, 1, 1));
    for (int i = 0; i < 400; ++i) {
        repeated_cmaps = concat(repeated_cmaps, chunk("CMAP", cmap(i == 399 ? 4 : 256)));
    }
    Bytes huge_cmap = cmap(2);
    huge_cmap.resize(300 * 1024, 7);
    return {
        {"400 CMAP chunks: the last one colours",
         form("ILBM", concat(repeated_cmaps, chunk("BODY", {0x80, 0}))), kOk, 0, rgb_of(1)},
        {"a CMAP of 300 KB is kept in part",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(1, 1, 1)), chunk("CMAP", huge_cmap)),
                             chunk("BODY", {0x80, 0}))),
         kOk, 0, rgb_of(1)},
        {"2 planes, width 10: padding bits ignored", two_planes, kOk, 0, ten_pixels},
        {"6 planes without CAMG, 16 colours: HAM (0x25 from black)",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(2, 1, 6)), chunk("CMAP", cmap(16))),
                             chunk("BODY", ham_body))),
         kOk, ilbm::kModeHam6, concat({85, 0, 0}, rgb_of(0))},
        {"6 planes without CAMG, 32 colours: a palette picture",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(2, 1, 6)), chunk("CMAP", cmap(64))),
                             chunk("BODY", ham_body))),
         kOk, 0, concat(rgb_of(0x25), rgb_of(0))},
        {"6 planes with CAMG 0: a palette picture",
         form("ILBM", concat(concat(concat(chunk("BMHD", bmhd(2, 1, 6)), chunk("CAMG", be32(0))),
                                    chunk("CMAP", cmap(64))),
                             chunk("BODY", ham_body))),
         kOk, 0, concat(rgb_of(0x25), rgb_of(0))},
        {"extra half-brite halves entry 1",
         form("ILBM", concat(concat(concat(chunk("BMHD", bmhd(1, 1, 6)), chunk("CAMG", be32(0x80))),
                                    chunk("CMAP", cmap(32))),
                             chunk("BODY", ehb_body))),
         kOk,
         ilbm::kModeHalfBrite,
         {5, 5, 6}},
        {"HAM8 modifies blue keeping its low bits",
         form("ILBM",
              concat(concat(concat(chunk("BMHD", bmhd(2, 1, 8)), chunk("CAMG", be32(0x800))),
                            chunk("CMAP", cmap(64))),
                     chunk("BODY", {0x80, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0}))),
         kOk, ilbm::kModeHam8, concat(rgb_of(1), {2, 11, 12})},
        {"24 planes with a mask plane",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 24, 1)), chunk("BODY", mask_body))),
         kOk,
         0,
         {1, 0, 1}},
        {"transparent index with the switch on", masked, kOk, 0, concat(rgb_of(0), {0, 0, 0}), 1},
        {"transparent index with the switch off", masked, kOk, 0, concat(rgb_of(0), rgb_of(1)), 0},
        {"index past the CMAP is black",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(1, 1, 2)), chunk("CMAP", cmap(2))),
                             chunk("BODY", {0x80, 0, 0x80, 0}))),
         kOk,
         0,
         {0, 0, 0}},
        {"a packed row with the -128 control",
         form("ILBM", concat(chunk("BMHD", bmhd(17, 1, 1, 0, 1)),
                             concat(chunk("CMAP", cmap(2)), chunk("BODY", {0x80, 0xFD, 0xFF})))),
         kOk,
         0,
         {}},
        {"a BODY that ends early leaves black rows",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(1, 2, 1)), chunk("CMAP", cmap(2))),
                             chunk("BODY", {0x80, 0}))),
         kOk, 0, concat(rgb_of(1), {0, 0, 0})},
        {"a replicate run past its row",
         form("ILBM", concat(chunk("BMHD", bmhd(16, 1, 1, 0, 1)), chunk("BODY", {0xFC, 1}))),
         kIffCorruptRuns,
         0,
         {}},
        {"compression 2",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 1, 0, 2)), chunk("BODY", {0}))),
         kIffBadCompression,
         0,
         {}},
        {"height 0",
         form("ILBM", concat(chunk("BMHD", bmhd(4, 0, 1)), chunk("BODY", {0}))),
         kIffNoPixels,
         0,
         {}},
        {"packed width 0",
         form("ILBM", concat(chunk("BMHD", bmhd(0, 2, 1, 0, 1)), chunk("BODY", {0}))),
         kIffCorruptRuns,
         0,
         {}},
        {"12 planes",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 12)), chunk("BODY", {0}))),
         kIffBadPlanes,
         0,
         {}},
        {"BMHD after BODY",
         form("ILBM", concat(chunk("BODY", {0, 0}), chunk("BMHD", bmhd(1, 1, 1)))),
         kIffNoBmhd,
         0,
         {}},
        {"empty CMAP",
         form("ILBM",
              concat(concat(chunk("BMHD", bmhd(1, 1, 1)), chunk("CMAP", {})), chunk("BODY", {0}))),
         kIffEmptyCmap,
         0,
         {}},
        {"empty CAMG",
         form("ILBM",
              concat(concat(chunk("BMHD", bmhd(1, 1, 1)), chunk("CAMG", {})), chunk("BODY", {0}))),
         kIffEmptyCamg,
         0,
         {}},
        {"no BODY", form("ILBM", chunk("BMHD", bmhd(1, 1, 1))), kIffParseError, 0, {}},
        {"empty BODY",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 1)), chunk("BODY", {}))),
         kIffEmptyBody,
         0,
         {}},
        {"a FORM of another type",
         form("8SVX", concat(chunk("BMHD", bmhd(1, 1, 8)), chunk("BODY", {0}))),
         kIffParseError,
         0,
         {}},
        {"not IFF at all", bytes_of("P6\n1 1\n255\nabc"), kIffParseError, 0, {}},
    };
}

TEST_F(IlbmRead, DecodesEveryModeAndRefusesWhatItMust) {
    for (const ReadRow& row : read_rows()) {
        SCOPED_TRACE(row.reason);
        request_.ColorType = row.transparency;
        request_.DisplayMode = 77;
        const int32_t code = load_bytes(row.file);
        ASSERT_EQ(code, row.code) << "have " << code << ", want " << row.code;
        if (code != kOk) {
            testing_support::expect_cleared(pic_);
            EXPECT_EQ(request_.DisplayMode, 0U);
            EXPECT_EQ(pic_.BytesPerPixel, 3U);
        } else {
            EXPECT_EQ(request_.DisplayMode, row.mode);
            if (!row.pixels.empty()) {
                EXPECT_EQ(pixels(), row.pixels);
            }
        }
        expect_clean_books();
    }
}

// A plane row of two bytes with only its first pixel's bit set, or none.
Bytes first_pixel(bool set) {
    return {static_cast<uint8_t>(set ? 0x80 : 0), 0};
}

std::vector<ReadRow> other_form_rows() {
    const Bytes palette = chunk("CMAP", cmap(16));
    Bytes deep32; // red 255, green 0, blue 128, alpha 128
    for (uint32_t p = 0; p < 32; ++p) {
        deep32 = concat(deep32, first_pixel(p < 8 || p == 23 || p == 31));
    }
    Bytes deep48; // red 0xFF00, green 0x0100, blue 0xFFFF
    for (uint32_t p = 0; p < 48; ++p) {
        deep48 = concat(deep48, first_pixel(p < 8 || p == 16 || p >= 32));
    }
    const Bytes abit{0xC0, 0x00, 0x00, 0x00, 0xA0, 0x3F, 0x80, 0x00}; // plane 0 rows, plane 1 rows
    Bytes acbm_pixels = concat(concat(rgb_of(3), rgb_of(1)), rgb_of(2));
    for (int i = 0; i < 7; ++i) {
        acbm_pixels = concat(acbm_pixels, rgb_of(0));
    }
    acbm_pixels = concat(acbm_pixels, rgb_of(2));
    for (int i = 0; i < 9; ++i) {
        acbm_pixels = concat(acbm_pixels, rgb_of(0));
    }
    return {
        {"PBM: a byte a pixel, rows padded to even length",
         form("PBM ", concat(concat(chunk("BMHD", bmhd(3, 2, 8)), palette),
                             chunk("BODY", {1, 2, 3, 9, 0, 1, 2, 9}))),
         kOk, 0,
         concat(concat(concat(rgb_of(1), rgb_of(2)), concat(rgb_of(3), rgb_of(0))),
                concat(rgb_of(1), rgb_of(2)))},
        {"PBM, ByteRun1 rows of the padded length",
         form("PBM ", concat(concat(chunk("BMHD", bmhd(3, 1, 8, 0, 1)), palette),
                             chunk("BODY", {3, 1, 2, 3, 9}))),
         kOk, 0, concat(concat(rgb_of(1), rgb_of(2)), rgb_of(3))},
        {"PBM of 4 planes: the index keeps 4 bits",
         form("PBM ",
              concat(concat(chunk("BMHD", bmhd(1, 1, 4)), palette), chunk("BODY", {0x13, 0}))),
         kOk, 0, rgb_of(3)},
        {"PBM of 9 planes",
         form("PBM ", concat(chunk("BMHD", bmhd(1, 1, 9)), chunk("BODY", {1, 0}))),
         kIffBadPlanes,
         0,
         {}},
        {"ACBM: every row of a plane, then the next plane",
         form("ACBM", concat(concat(chunk("BMHD", bmhd(10, 2, 2)), palette), chunk("ABIT", abit))),
         kOk, 0, acbm_pixels},
        {"ACBM whose ABIT ends in plane 1: its second row black",
         form("ACBM", concat(concat(chunk("BMHD", bmhd(10, 2, 2)), palette),
                             chunk("ABIT", Bytes(abit.begin(), abit.begin() + 6)))),
         kOk, 0, concat(Bytes(acbm_pixels.begin(), acbm_pixels.begin() + 30), Bytes(30, 0))},
        {"RGBN: 4-bit guns, a count in the word, then a byte count",
         form("RGBN", concat(chunk("BMHD", bmhd(3, 1, 13, 0, 4)),
                             chunk("BODY", {0xF0, 0x8A, 0x0F, 0x00, 1}))),
         kOk,
         0,
         {255, 0, 136, 255, 0, 136, 0, 255, 0}},
        {"RGB8: a run across rows, then a word count",
         form("RGB8", concat(chunk("BMHD", bmhd(2, 2, 25, 0, 4)),
                             chunk("BODY", {10, 20, 30, 0x83, 1, 2, 3, 0, 0, 0, 1}))),
         kOk,
         0,
         {10, 20, 30, 10, 20, 30, 10, 20, 30, 1, 2, 3}},
        {"RGBN whose word count is 0: the data ends there",
         form("RGBN", concat(chunk("BMHD", bmhd(2, 1, 13, 0, 4)),
                             chunk("BODY", {0xF0, 0x01, 0xF0, 0x00, 0, 0, 0}))),
         kOk,
         0,
         {255, 0, 0, 0, 0, 0}},
        {"RGB8 packed with ByteRun1",
         form("RGB8", concat(chunk("BMHD", bmhd(1, 1, 25, 0, 1)), chunk("BODY", {1, 2, 3, 1}))),
         kIffBadCompression,
         0,
         {}},
        {"RGBN of 12 planes",
         form("RGBN", concat(chunk("BMHD", bmhd(1, 1, 12, 0, 4)), chunk("BODY", {0, 1}))),
         kIffBadPlanes,
         0,
         {}},
        {"32 planes: alpha composed onto black",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 32)), chunk("BODY", deep32))),
         kOk,
         0,
         {128, 0, 64}},
        {"48 planes: the first byte of each channel its high byte",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 48)), chunk("BODY", deep48))),
         kOk,
         0,
         {254, 0, 255}},
        {"40 planes",
         form("ILBM", concat(chunk("BMHD", bmhd(1, 1, 40)), chunk("BODY", Bytes(80, 0)))),
         kIffBadPlanes,
         0,
         {}},
    };
}

TEST_F(IlbmRead, ReadsTheOtherFormsAndDeepPlanes) {
    for (const ReadRow& row : other_form_rows()) {
        SCOPED_TRACE(row.reason);
        expect_row(row.file, row.code, row.pixels);
    }
}

// A 1 x 3 picture of index 1 in every row, its CMAP black and (10, 11, 12), with the
// line-palette chunks given.
Bytes index_one_rows(const Bytes& extra, uint32_t camg = 0) {
    Bytes chunks = concat(chunk("BMHD", bmhd(1, 3, 1)), chunk("CAMG", be32(camg)));
    chunks = concat(concat(chunks, chunk("CMAP", {0, 0, 0, 10, 11, 12})), extra);
    return form("ILBM", concat(chunks, chunk("BODY", {0x80, 0, 0x80, 0, 0x80, 0})));
}

Bytes pchg(uint16_t compression, uint16_t flags, int16_t start, uint16_t lines, const Bytes& data) {
    const auto first = static_cast<uint16_t>(start);
    const Bytes header{static_cast<uint8_t>(compression >> 8),
                       static_cast<uint8_t>(compression),
                       static_cast<uint8_t>(flags >> 8),
                       static_cast<uint8_t>(flags),
                       static_cast<uint8_t>(first >> 8),
                       static_cast<uint8_t>(first),
                       static_cast<uint8_t>(lines >> 8),
                       static_cast<uint8_t>(lines),
                       0,
                       0,
                       0,
                       0,
                       0,
                       31,
                       0,
                       1,
                       0,
                       0,
                       0,
                       2};
    return chunk("PCHG", concat(header, data));
}

// Sixteen 0x0RGB words, register 1 set to `rgb`.
Bytes table(uint16_t rgb) {
    Bytes words(32, 0);
    words[2] = static_cast<uint8_t>(rgb >> 8);
    words[3] = static_cast<uint8_t>(rgb);
    return words;
}

TEST_F(IlbmRead, PalettesChangeLineByLine) {
    const Bytes small_data{0xC0, 0, 0, 0, 1, 0, 0x1C, 0x00, 1, 0, 0x1C, 0x1C};
    // A Huffman tree of four leaves (codes 11, 10, 01, 00 for C0, 00, 01, 1C) and the
    // small-change data above in those codes.
    const Bytes tree{0x01, 0x00, 0x00, 0xC0, 0x01, 0x1C, 0x00, 0x01, 0xFF, 0xFA};
    uint64_t bits = 0;
    size_t count = 0;
    for (const uint8_t byte : small_data) {
        const uint64_t code = byte == 0xC0 ? 3U : byte == 0x00 ? 2U : byte == 0x01 ? 1U : 0U;
        bits = bits << 2U | code;
        count += 2;
    }
    Bytes stream;
    for (size_t shift = count; shift >= 8; shift -= 8) {
        stream.push_back(static_cast<uint8_t>(bits >> (shift - 8)));
    }
    const Bytes packed =
        concat(concat(be32(static_cast<uint32_t>(tree.size())), be32(12)), concat(tree, stream));
    const Bytes red_then_pink = {0xCC, 0, 0, 0xCC, 0x11, 0xCC, 0xCC, 0x11, 0xCC};
    const struct {
        const char* reason;
        Bytes file;
        Bytes pixels;
    } rows[] = {
        {"PCHG small changes, kept after its last line",
         index_one_rows(pchg(0, 1, 0, 2, small_data)), red_then_pink},
        {"PCHG packed with its Huffman tree", index_one_rows(pchg(1, 1, 0, 2, packed)),
         red_then_pink},
        {"PCHG big changes: register, alpha, red, blue, green",
         index_one_rows(pchg(0, 2, 1, 1, {0x80, 0, 0, 0, 0, 1, 0, 1, 0, 1, 2, 3})),
         {10, 11, 12, 1, 3, 2, 1, 3, 2}},
        {"PCHG lines above the picture fold into its first row",
         index_one_rows(pchg(0, 1, -1, 2, {0xC0, 0, 0, 0, 1, 0, 0x1F, 0x00, 1, 0, 0x10, 0xF0})),
         {0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0}},
        {"CTBL: a table a row, the last kept",
         index_one_rows(chunk("CTBL", concat(table(0x0F00), table(0x00F0)))),
         {0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0}},
        {"SHAM of an interlaced picture: a table for two rows",
         index_one_rows(chunk("SHAM", concat(Bytes{0, 0}, concat(table(0x0F00), table(0x00F0)))),
                        0x4),
         {0xFF, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0}},
        {"a PCHG of neither kind leaves the CMAP",
         index_one_rows(pchg(0, 0, 0, 1, {0x80, 0, 0, 0})),
         {10, 11, 12, 10, 11, 12, 10, 11, 12}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        ASSERT_EQ(load_bytes(row.file), kOk);
        EXPECT_EQ(pixels(), row.pixels);
        expect_clean_books();
    }
    EXPECT_GT(expect_each_allocation_failure_reported(rows[1].file), 0U);
}

TEST_F(IlbmRead, PalettesThatFallShortAreReportedAsGaps) {
    const Bytes cut_pchg = pchg(0, 1, 0, 2, {0xC0, 0, 0, 0, 1, 0, 0x1C, 0x00, 1});
    const struct {
        const char* reason;
        Bytes file;
        uint32_t line_rows; // the rows the line palettes give; 0: they give every row
        uint64_t past;      // pixels past the CMAP
    } rows[] = {
        {"a SHAM of one table for three rows",
         index_one_rows(chunk("SHAM", concat(Bytes{0, 0}, table(0x0F00)))), 1, 0},
        {"a CTBL of two tables for three rows",
         index_one_rows(chunk("CTBL", concat(table(0x0F00), table(0x00F0)))), 2, 0},
        {"a PCHG whose data ends inside the record of its second line", index_one_rows(cut_pchg), 1,
         0},
        {"a whole PCHG",
         index_one_rows(pchg(0, 1, 0, 2, {0xC0, 0, 0, 0, 1, 0, 0x1C, 0x00, 1, 0, 0x1C, 0x1C})), 0,
         0},
        {"a CMAP of one colour for pixels of index 1",
         form("ILBM", concat(concat(chunk("BMHD", bmhd(1, 3, 1)), chunk("CMAP", {1, 2, 3})),
                             chunk("BODY", {0x80, 0, 0x80, 0, 0, 0}))),
         0, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        pool_.clear_report();
        ASSERT_EQ(load_bytes(row.file), kOk);
        const OrviJobReport& report = pool_.report();
        EXPECT_EQ(report.line_palettes_short != 0, row.line_rows != 0);
        EXPECT_EQ(report.line_palette_rows, row.line_rows);
        EXPECT_EQ(report.pixels_past_palette, row.past);
        expect_clean_books();
    }
}

TEST_F(IlbmRead, APackedPchgReservesNoMoreThanItsBitsCanFill) {
    // A 1 x 3 picture whose packed PCHG claims 4 GiB unpacked from four bytes of bits.
    const Bytes tree{0x01, 0x00, 0x00, 0xC0, 0x01, 0x1C, 0x00, 0x01, 0xFF, 0xFA};
    const Bytes packed = concat(concat(be32(static_cast<uint32_t>(tree.size())), be32(0xFFFFFFFF)),
                                concat(tree, Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(load_bytes(index_one_rows(pchg(1, 1, 0, 2, packed))), kOk);
    EXPECT_LT(pool_.peak_bytes(), uint64_t{1} << 20U) << "have " << pool_.peak_bytes();
    EXPECT_EQ(pixels(), (Bytes{10, 11, 12, 10, 11, 12, 10, 11, 12})) << "the claim is refused";
    expect_clean_books();
}

// A FORM DEEP of the given size, compression and elements (type, depth), DBOD and other
// chunks.
Bytes deep(uint16_t w, uint16_t h, uint16_t compression,
           std::initializer_list<std::pair<uint16_t, uint16_t>> elements, const Bytes& body,
           const Bytes& extra = {}) {
    const Bytes dgbl{static_cast<uint8_t>(w >> 8),
                     static_cast<uint8_t>(w),
                     static_cast<uint8_t>(h >> 8),
                     static_cast<uint8_t>(h),
                     static_cast<uint8_t>(compression >> 8),
                     static_cast<uint8_t>(compression),
                     1,
                     1};
    Bytes dpel = be32(static_cast<uint32_t>(elements.size()));
    for (const auto& [type, depth] : elements) {
        dpel = concat(dpel, {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
                             static_cast<uint8_t>(depth >> 8), static_cast<uint8_t>(depth)});
    }
    return form("DEEP", concat(concat(concat(chunk("DGBL", dgbl), chunk("DPEL", dpel)), extra),
                               chunk("DBOD", body)));
}

TEST_F(IlbmRead, ReadsDeepPixels) {
    Bytes tvdc(32, 0); // deltas: 1 for nibble 1, 100 for nibble 3, 0 (repeat) for nibble 0
    tvdc[3] = 1;
    tvdc[7] = 100;
    const struct {
        const char* reason;
        Bytes file;
        int32_t code;
        Bytes pixels;
    } rows[] = {
        {"RGB of 8 bits, plain",
         deep(2, 1, 0, {{1, 8}, {2, 8}, {3, 8}}, {1, 2, 3, 4, 5, 6}),
         kOk,
         {1, 2, 3, 4, 5, 6}},
        {"BGR and alpha: composed onto black",
         deep(1, 1, 0, {{3, 8}, {2, 8}, {1, 8}, {4, 8}}, {200, 100, 50, 128}),
         kOk,
         {25, 50, 100}},
        {"RGB of 16 bits, scaled",
         deep(1, 1, 0, {{1, 16}, {2, 16}, {3, 16}}, {0xFF, 0xFF, 0x80, 0x00, 0, 0}),
         kOk,
         {255, 127, 0}},
        {"runs of whole pixels, across rows",
         deep(2, 2, 1, {{1, 8}, {2, 8}, {3, 8}, {4, 8}}, {0xFE, 9, 8, 7, 255, 0x00, 1, 2, 3, 255}),
         kOk,
         {9, 8, 7, 9, 8, 7, 9, 8, 7, 1, 2, 3}},
        {"TVDC delta nibbles, an element at a time",
         deep(2, 1, 5, {{1, 8}, {2, 8}, {3, 8}}, {0x11, 0x01, 0x31}, chunk("TVDC", tvdc)),
         kOk,
         {1, 0, 100, 2, 0, 101}},
        {"DLOC's size in place of DGBL's",
         deep(4, 4, 0, {{1, 8}, {2, 8}, {3, 8}}, {7, 8, 9},
              chunk("DLOC", {0, 1, 0, 1, 0, 0, 0, 0})),
         kOk,
         {7, 8, 9}},
        {"a DBOD that ends early: the rest black",
         deep(1, 2, 0, {{1, 8}, {2, 8}, {3, 8}}, {7, 8, 9, 1}),
         kOk,
         {7, 8, 9, 0, 0, 0}},
        {"no red element", deep(1, 1, 0, {{2, 8}, {3, 8}, {4, 8}}, {1, 2, 3}), kIffBadPlanes, {}},
        {"12-bit elements",
         deep(1, 1, 0, {{1, 12}, {2, 12}, {3, 12}}, {1, 2, 3, 4, 5}),
         kIffBadPlanes,
         {}},
        {"Huffman compression",
         deep(1, 1, 2, {{1, 8}, {2, 8}, {3, 8}}, {1, 2, 3}),
         kIffBadCompression,
         {}},
        {"no DGBL", form("DEEP", chunk("DBOD", {1, 2, 3})), kIffNoBmhd, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        expect_row(row.file, row.code, row.pixels);
    }
}

TEST_F(IlbmRead, ReportsProgressInTenthsOfTheStep) {
    for (const uint16_t height : {uint16_t{3}, uint16_t{12}}) {
        const Bytes file = form("ILBM", concat(chunk("BMHD", bmhd(1, height, 24)),
                                               chunk("BODY", Bytes(size_t{height} * 48, 0))));
        const std::vector<int32_t> want =
            height == 3
                ? std::vector<int32_t>{100}
                : std::vector<int32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 100};
        EXPECT_EQ(gauge_reports(file), want) << "height " << height;
        expect_clean_books();
    }
}

TEST_F(IlbmRead, FailuresFreeEverything) {
    const Bytes file = form(
        "ILBM", concat(concat(concat(chunk("BMHD", bmhd(3, 2, 2, 0, 1)), chunk("CAMG", be32(0))),
                              chunk("CMAP", cmap(4))),
                       chunk("BODY", {0xFF, 0x40, 0xFF, 0x80, 0xFF, 0, 0xFF, 0})));
    EXPECT_GT(expect_each_allocation_failure_reported(file), 6U)
        << "BMHD, CMAP and CAMG copies, pixels, BODY, row and lanes";
    struct Fault {
        const char* reason;
        void (*arm)(platform::seam::Faults&);
        int32_t code;
    };
    const Fault faults[] = {
        {"no handle", [](auto& f) { f.fail_alloc_iff = true; }, kIffNoHandle},
        {"cannot open", [](auto& f) { f.fail_open = true; }, kIffCannotOpen},
        {"stream fails", [](auto& f) { f.fail_open_iff = true; }, kIffStreamFailed},
        {"short read", [](auto& f) { f.short_read = true; }, kIffParseError},
        {"BODY read short", [](auto& f) { f.short_chunk_data = true; }, kIffBodyShort},
        {"no library", [](auto& f) { f.missing_library = "iffparse.library"; }, kNoIffParseLibrary},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.reason);
        fault.arm(platform::seam::faults());
        EXPECT_EQ(load_bytes(file), fault.code);
        platform::seam::reset();
        expect_clean_books();
    }
}

class IlbmWrite : public testing_support::CodecHarness {
protected:
    testing_support::TempFolder folder_;
};

TEST_F(IlbmWrite, EveryDepthAndCompressionRoundTrips) {
    std::minstd_rand random(21);
    for (const uint32_t depth : {1U, 2U, 3U, 4U, 5U, 6U, 7U, 8U, 24U}) {
        for (const int width_value : {1, 7, 8, 9, 15, 16, 17, 31}) {
            for (const uintptr_t mode :
                 {uintptr_t{0}, uintptr_t{1}, ilbm::kSaveChunky, ilbm::kSaveChunky | 1U}) {
                if (depth == 24 && (mode & ilbm::kSaveChunky) != 0) {
                    continue; // FORM PBM holds palette pictures only
                }
                const uintptr_t compression = mode & 0xFFU;
                SCOPED_TRACE("depth " + std::to_string(depth) + " width " +
                             std::to_string(width_value) + " mode " + std::to_string(mode));
                const auto width = static_cast<uint16_t>(width_value);
                const uint16_t height = 3;
                std::vector<uint32_t> palette(256);
                for (uint32_t& entry : palette) {
                    entry = static_cast<uint32_t>(random()) & 0xFFFFFFU;
                }
                Bytes indices(size_t{width} * height);
                for (uint8_t& index : indices) {
                    index = static_cast<uint8_t>(random() % (1U << std::min(depth, 8U)));
                }
                Bytes truecolour(indices.size() * 3);
                std::generate(truecolour.begin(), truecolour.end(),
                              [&] { return static_cast<uint8_t>(random()); });
                IndexedPicture indexed{width, height, depth, 0, palette.data(), indices.data()};
                Picture pic{truecolour.data(), width, height, 3, 0, 0, 0, 0, 0, 9};
                request_.IndexedPic = depth == 24 ? nullptr : &indexed;
                const std::string path = folder_.path("trip.iff");
                ASSERT_EQ(save(path, pic, mode), kOk);
                EXPECT_EQ(pic.Extra, 0U);
                request_.IndexedPic = nullptr;
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
                EXPECT_EQ(pic_.Compression, compression);
                expect_clean_books();
            }
        }
    }
}

TEST_F(IlbmWrite, RoundsAndBandsOfRowsGiveTheBytesOfOneThread) {
    // 1531 x 1021: rounds of several rows for every layout, bands of uneven rows.
    constexpr uint16_t kWidth = 1531;
    constexpr uint16_t kHeight = 1021;
    std::minstd_rand random(19);
    Bytes truecolour(size_t{kWidth} * kHeight * 3);
    for (size_t i = 0; i < truecolour.size(); ++i) {
        truecolour[i] = static_cast<uint8_t>(random() % 7 == 0 ? random() : i / 30000);
    }
    Bytes indices(truecolour.begin(), truecolour.begin() + size_t{kWidth} * kHeight);
    std::vector<uint32_t> palette(256, 0x405060);
    Picture pic{truecolour.data(), kWidth, kHeight, 3, 0, 0, 0, 0, 0, 0};
    IndexedPicture indexed{kWidth, kHeight, 8, 0, palette.data(), indices.data()};
    const struct {
        const char* name;
        const IndexedPicture* indexed;
        uintptr_t mode;
    } layouts[] = {
        {"24 planes, packed", nullptr, 1},
        {"24 planes", nullptr, 0},
        {"8 planes, packed", &indexed, 1},
        {"chunky", &indexed, ilbm::kSaveChunky},
        {"chunky, packed", &indexed, ilbm::kSaveChunky | 1U},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        request_.IndexedPic = const_cast<IndexedPicture*>(layout.indexed);
        const std::string one = expect_same_file_on_any_threads(folder_.path(""), pic, layout.mode);
        request_.IndexedPic = nullptr;
        ASSERT_EQ(load_file(one), kOk);
        if (layout.indexed == nullptr) {
            EXPECT_EQ(pixels(), truecolour);
        }
        expect_clean_books();
    }
}

TEST_F(IlbmWrite, WritesTheDocumentedLayout) {
    std::vector<uint32_t> palette(256, 0x102030);
    Bytes indices(20 * 2, 5);
    IndexedPicture indexed{20, 2, 4, 0, palette.data(), indices.data()};
    Bytes unused(3, 0);
    Picture pic{unused.data(), 20, 2, 3, 0, 0, 0, 0, 0, 0};
    request_.IndexedPic = &indexed;
    ASSERT_EQ(save(folder_.path("d4.iff"), pic, 0), kOk);
    const Bytes file = testing_support::read_file(folder_.path("d4.iff"));
    const std::string text(file.begin(), file.end());
    // The bytes after a chunk id in the file.
    auto after = [&](const char* id, size_t count) {
        const auto at = static_cast<ptrdiff_t>(text.find(id)) + 4;
        return Bytes(file.begin() + at, file.begin() + at + static_cast<ptrdiff_t>(count));
    };
    ASSERT_NE(text.find("CMAP"), std::string::npos);
    EXPECT_EQ(after("CMAP", 4), be32(48));
    EXPECT_EQ(after("BODY", 4), be32(4 * 4 * 2));
    EXPECT_EQ(after("CAMG", 8), concat(be32(4), be32(0)));
    request_.IndexedPic = nullptr;
    Bytes grey{10, 20, 30};
    Picture grey_pic{grey.data(), 3, 1, 1, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(save(folder_.path("grey.iff"), grey_pic, 1), kOk);
    const Bytes grey_file = testing_support::read_file(folder_.path("grey.iff"));
    const std::string grey_text(grey_file.begin(), grey_file.end());
    EXPECT_EQ(grey_text.find("CMAP"), std::string::npos);
    EXPECT_NE(grey_text.find("CAMG"), std::string::npos) << "CAMG is written for 24 planes too";
    EXPECT_EQ(grey_file.size() % 2, 0U) << "odd chunks are padded";
    ASSERT_EQ(load_file(folder_.path("grey.iff")), kOk);
    EXPECT_EQ(pixels(), (Bytes{10, 10, 10, 20, 20, 20, 30, 30, 30}));
    expect_clean_books();
}

TEST_F(IlbmWrite, WritesChunkyPicturesAsDeluxePaintOnThePcReadsThem) {
    // Three colours at depth 2 in a row of 3: eight planes whatever the depth, a CMAP of
    // 256 entries (black past the palette's four), no CAMG, rows padded to even length.
    std::vector<uint32_t> palette = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    Bytes indices = {0, 1, 2, 3, 2, 1};
    IndexedPicture indexed{3, 2, 2, 0, palette.data(), indices.data()};
    Bytes unused(3, 0);
    Picture pic{unused.data(), 3, 2, 3, 0, 0, 0, 0, 0, 0};
    request_.IndexedPic = &indexed;
    ASSERT_EQ(save(folder_.path("c.lbm"), pic, ilbm::kSaveChunky), kOk);
    const Bytes file = testing_support::read_file(folder_.path("c.lbm"));
    const std::string text(file.begin(), file.end());
    auto after = [&](const char* id, size_t count) {
        const auto at = static_cast<ptrdiff_t>(text.find(id)) + 4;
        return Bytes(file.begin() + at, file.begin() + at + static_cast<ptrdiff_t>(count));
    };
    EXPECT_EQ(text.substr(8, 4), "PBM ");
    EXPECT_EQ(text.find("CAMG"), std::string::npos);
    EXPECT_EQ(after("BMHD", 4 + 9)[4 + 8], 8) << "eight planes";
    EXPECT_EQ(after("CMAP", 4), be32(768));
    EXPECT_EQ(after("CMAP", 4 + 15),
              concat(be32(768), Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0,
                                      0xB0, 0xC0, 0, 0, 0}));
    EXPECT_EQ(after("BODY", 12), concat(be32(8), Bytes{0, 1, 2, 0, 3, 2, 1, 0}));
    // Without a palette picture there is nothing a byte a pixel can hold.
    request_.IndexedPic = nullptr;
    EXPECT_EQ(save(folder_.path("t.lbm"), pic, ilbm::kSaveChunky | 1U), kIffBadPlanes);
    expect_clean_books();
}

TEST_F(IlbmWrite, ReportsEachFailure) {
    Bytes rgb(12, 1);
    Picture pic{rgb.data(), 4, 1, 3, 0, 0, 0, 0, 0, 0};
    std::vector<uint32_t> palette(256, 0);
    Bytes indices(4, 0);
    IndexedPicture odd{4, 1, 12, 0, palette.data(), indices.data()};
    request_.IndexedPic = &odd;
    EXPECT_EQ(save(folder_.path("x.iff"), pic, 1), kIffBadPlanes);
    request_.IndexedPic = nullptr;
    EXPECT_EQ(save("/nonexistent-folder/x.iff", pic, 1), kIffCannotOpen);
    struct Fault {
        const char* reason;
        void (*arm)(platform::seam::Faults&);
        int32_t code;
    };
    const Fault faults[] = {
        {"no handle", [](auto& f) { f.fail_alloc_iff = true; }, kIffNoHandle},
        {"stream fails", [](auto& f) { f.fail_open_iff = true; }, kIffStreamFailed},
        {"push fails", [](auto& f) { f.fail_push_chunk = true; }, kIffWriteError},
        {"short header write", [](auto& f) { f.short_write = true; }, kIffWriteError},
        {"short chunk data", [](auto& f) { f.short_chunk_data = true; }, kIffChunkWriteFailed},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.reason);
        fault.arm(platform::seam::faults());
        EXPECT_EQ(save(folder_.path("f.iff"), pic, 1), fault.code);
        platform::seam::reset();
        expect_clean_books();
    }
    for (uint64_t nth = 1; nth <= 4; ++nth) {
        pool_.fail_allocation(nth);
        EXPECT_EQ(save(folder_.path("m.iff"), pic, 1), kOutOfMemory);
        pool_.fail_allocation(0);
        expect_clean_books();
    }
}

// Files where our rules differ from netpbm's on purpose: HAM6 modify values and row
// starts, extra half-brite from the first 32 entries (these files carry 64 in their
// CMAP), 6 planes with HAM flags judged by CAMG and CMAP, no colour from CMYK chunks.
const char* const kDiffersOnPurpose[] = {
    "48plane-rgb16-131x131-byterun1.iff", // netpbm takes each channel's planes low bit first
    "5plane-hamflag-131x131.iff",
    "8plane-cmyk-chunk-no-cmap.iff",
    "ehb-320x256-crng.iff",
    "ehb-320x256-uncompressed.iff",
    "ham6-124x124-byterun1.iff",
    "ham6-384x480-uncompressed-trailing-bytes.iff"};

class IlbmCorpus : public testing_support::CodecHarness {};

TEST_F(IlbmCorpus, EveryFileLoadsOrIsRefusedAndMatchesNetpbmWhereTheRulesAgree) {
    const int compared = check_corpus("ilbm", "ilbmtoppm", kDiffersOnPurpose);
    if (testing_support::have_program("ilbmtoppm")) {
        EXPECT_GE(compared, 20) << "files compared with the peer";
    }
}

} // namespace
