// PCX run-length coding, both directions. Pure: reads and writes only the spans given.
#include <algorithm>
#include <array>
#include <cstring>

#include "pcx/pcx_format.h"
#include "pcx/pcx_rules.h"

namespace pcx {
namespace {

constexpr uint8_t kRunFlag = 0xC0;
constexpr uint32_t kLongestRun = 63;

// A pending run of `count` bytes `value` (count 0 writes nothing).
size_t flush(uint8_t* out, uint8_t value, uint32_t count) {
    if (count == 0) {
        return 0;
    }
    if (count == 1 && value < kRunFlag) {
        out[0] = value;
        return 1;
    }
    out[0] = static_cast<uint8_t>(kRunFlag + count);
    out[1] = value;
    return 2;
}

// Whether any of eight bytes starts a run (has both top bits set): each byte's bit 6 is
// moved onto its bit 7 and both must be there.
bool any_run_flag(const uint8_t* bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    const uint64_t top = word & 0xC0C0C0C0C0C0C0C0ULL;
    return ((top & (top << 1U)) & 0x8080808080808080ULL) != 0;
}

} // namespace

/* DecodeRLE: with `RLEReads` bytes of the run under the cursor already delivered to an
 * earlier line, a run delivers what is left of it up to the line's end; a run that goes
 * on past the line leaves the cursor on its count byte for the next line. A count of 0
 * consumes its value byte and delivers nothing. Stops where the data ends. */
size_t RleDecoder::DecodeRLE(std::span<uint8_t> out) {
    size_t delivered = 0;
    const size_t count = out.size();
    while (delivered < count && position_ < data_.size()) {
        const uint8_t byte = data_[position_];
        if (byte < kRunFlag) {
            // A stretch of literal bytes is copied at once, found eight bytes at a time.
            const size_t start = position_;
            const size_t end = std::min(data_.size(), start + (count - delivered));
            size_t stop = start + 1;
            while (stop + 8 <= end && !any_run_flag(&data_[stop])) {
                stop += 8;
            }
            while (stop < end && data_[stop] < kRunFlag) {
                ++stop;
            }
            std::memcpy(out.data() + delivered, &data_[start], stop - start);
            delivered += stop - start;
            position_ = stop;
            continue;
        }
        ++position_;
        if (position_ >= data_.size()) {
            position_ = data_.size();
            break; // a run count with no value: the data ends here
        }
        const uint32_t total = byte & 0x3FU;
        const auto left = static_cast<uint8_t>(total - RLEReads); // 8-bit, as the run count
        const uint8_t value = data_[position_++];
        const size_t copies = std::min<size_t>(left, count - delivered);
        std::memset(out.data() + delivered, value, copies);
        delivered += copies;
        RLEReads = static_cast<uint16_t>(RLEReads + copies);
        if (RLEReads < total) {
            position_ -= 2; // the run goes on in the next line
        } else {
            RLEReads = 0;
        }
    }
    return delivered;
}

size_t RleDecoder::Skip(size_t count) {
    std::array<uint8_t, 1024> scratch;
    size_t skipped = 0;
    while (skipped < count) {
        const size_t wanted = std::min(scratch.size(), count - skipped);
        const size_t got = DecodeRLE(std::span<uint8_t>(scratch.data(), wanted));
        skipped += got;
        if (got < wanted) {
            break;
        }
    }
    return skipped;
}

/* EncodeRLE: equal bytes gather into runs of at most 63 (0xFF and the value when one
 * fills up); a pending run is flushed when the value changes and at the end. */
size_t EncodeRLE(std::span<const uint8_t> bytes, uint8_t* out) {
    if (bytes.empty()) {
        return 0;
    }
    size_t written = 0;
    uint8_t value = bytes[0];
    uint32_t count = 1;
    for (size_t i = 1; i < bytes.size(); ++i) {
        const uint8_t byte = bytes[i];
        if (byte == value) {
            if (++count == kLongestRun) {
                out[written++] = 0xFF;
                out[written++] = value;
                count = 0;
            }
            continue;
        }
        written += flush(out + written, value, count);
        value = byte;
        count = 1;
    }
    return written + flush(out + written, value, count);
}

} // namespace pcx
