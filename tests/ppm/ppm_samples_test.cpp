// The fast pieces of raster decoding against the rule they must keep: the reciprocal
// scaler against the division, and the block-wise plain decoder against a byte-by-byte
// reading of the same text (numbers across block edges, long runs, junk, short text).
#include <gtest/gtest.h>

#include <random>

#include "ppm/ppm_format.h"

namespace {

TEST(PpmSamples, ReciprocalScalingEqualsTheDivisionForEverySixteenBitSample) {
    std::minstd_rand random(7);
    std::vector<uint32_t> maxima = {1,   2,   3,    7,    15,    100,   254,
                                    255, 256, 1000, 4095, 32767, 65534, 65535};
    for (int i = 0; i < 20; ++i) {
        maxima.push_back(static_cast<uint32_t>(1 + random() % 65535));
    }
    for (const uint32_t maxval : maxima) {
        const ppm::SampleScaler scaler(maxval);
        for (uint32_t value = 0; value <= 65535; ++value) {
            const auto want = static_cast<uint8_t>(uint64_t{value} * 255 / maxval);
            if (scaler(value) != want) {
                FAIL() << "maxval " << maxval << " value " << value << ": have "
                       << int{scaler(value)} << ", want " << int{want};
            }
        }
    }
}

// Plain samples read one byte at a time: digits accumulate (saturating), anything else
// ends a number, a comment ('#' to the end of its line) is skipped, a number at the very
// end counts.
std::vector<uint8_t> reference_plain(const std::string& text, size_t samples, uint32_t maxval,
                                     uint32_t channels) {
    std::vector<uint8_t> out(samples * (channels == 3 ? 1 : 3), 0);
    size_t j = 0;
    uint64_t value = 0;
    bool in_number = false;
    auto store = [&](uint64_t v) {
        const auto byte = static_cast<uint8_t>(maxval == 255 ? v : v * 255 / maxval);
        for (uint32_t c = 0; c < (channels == 3 ? 1U : 3U); ++c) {
            out[j * (channels == 3 ? 1 : 3) + c] = byte;
        }
        ++j;
    };
    bool in_comment = false;
    for (const char c : text) {
        if (j == samples) {
            break;
        }
        if (in_comment) {
            in_comment = c != '\n';
            continue;
        }
        if (c == '#') {
            in_comment = true;
        }
        if (c >= '0' && c <= '9') {
            value =
                std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), ppm::kNumberCap);
            in_number = true;
        } else if (in_number) {
            store(value);
            value = 0;
            in_number = false;
        }
    }
    if (in_number && j < samples) {
        store(value);
    }
    return out;
}

std::string random_text(std::minstd_rand& random, size_t length) {
    static const char* const kSeparators[] = {" ", "\n", "  ", "\r\n", "\t", "#", "x", "-"};
    std::string text;
    while (text.size() < length) {
        const auto digits =
            static_cast<uint32_t>(random() % 16 == 0 ? 4 + random() % 12 : 1 + random() % 3);
        for (uint32_t d = 0; d < digits; ++d) {
            text += static_cast<char>('0' + random() % 10);
        }
        text += kSeparators[random() % 8];
    }
    text.resize(length); // sometimes ends inside a number
    return text;
}

TEST(PpmSamples, BlockwisePlainDecodingEqualsByteByByteReading) {
    std::minstd_rand random(11);
    for (int round = 0; round < 400; ++round) {
        const size_t length = random() % 700;
        const std::string text = random_text(random, length);
        const uint32_t maxval = round % 3 == 0 ? 1000 : 255;
        const uint32_t channels = round % 2 == 0 ? 3 : 1;
        const size_t samples = 1 + random() % 200;
        std::vector<uint8_t> have(samples * (channels == 3 ? 1 : 3), 0);
        ppm::decode_plain({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, have,
                          maxval, channels);
        ASSERT_EQ(have, reference_plain(text, samples, maxval, channels))
            << "text \"" << text << "\" maxval " << maxval << " channels " << channels;
    }
}

} // namespace
