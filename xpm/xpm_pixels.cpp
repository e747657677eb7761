// Pixel strings: codes to colours through the direct table (1 and 2 characters) or the
// sorted codes (3 to 5). Pure: reads the string and the tables, writes only `out`.
#include <algorithm>
#include <cstring>

#include "xpm/xpm_format.h"

namespace xpm {
namespace {

// Each sorted entry holds a code of up to five characters (32..127) as a number above
// the colour entry's index: sorting puts equal codes together, the first entry first.
constexpr uint32_t kIndexBits = 16;
// Long codes are searched in buckets of their first two characters from this many on.
constexpr size_t kBucketedFrom = 256;
static_assert(kMaxColours < (1 << kIndexBits));

uint64_t code_key(const uint8_t* code, uint32_t cpp) {
    uint64_t key = 0;
    for (uint32_t i = 0; i < cpp; ++i) {
        key = (key << 8U) | normalised(code[i]);
    }
    return key;
}

// The bucket of a long code's first two characters in the 96 x 96 table; buckets follow
// the order of the sorted codes.
size_t bucket_of(uint64_t key, uint32_t cpp) {
    const uint64_t first_two = key >> (8U * (cpp - 2U));
    return static_cast<size_t>(((first_two >> 8U) - 32U) * kLookupSide + (first_two & 0xFFU) - 32U);
}

} // namespace

size_t index_slots(int32_t colours) {
    return static_cast<size_t>(colours);
}

CodeIndex::CodeIndex(std::span<const ColourEntry> colours, uint32_t cpp, int16_t* lookup,
                     std::span<uint64_t> slots)
    : colours_(colours), cpp_(cpp), lookup_(lookup),
      slots_(slots.first(std::min(slots.size(), colours.size()))) {
    if (cpp <= 2) {
        // Entries in order: a later entry with the same code wins.
        for (size_t i = 0; i < colours.size(); ++i) {
            const uint8_t* code = colours[i].code;
            const size_t second = cpp == 2 ? code[1] - 32U : 0;
            lookup[(code[0] - 32U) * kLookupSide + second] = static_cast<int16_t>(i);
        }
        return;
    }
    for (size_t i = 0; i < slots_.size(); ++i) {
        slots_[i] = (code_key(colours[i].code, cpp) << kIndexBits) | i;
    }
    std::sort(slots_.begin(), slots_.end());
    if (slots_.size() <= kBucketedFrom) {
        return; // a search of the few codes there are is as quick as any bucket's
    }
    // The table holds where each bucket starts in the sorted codes, so that a search
    // covers only the codes that share the first two characters.
    size_t at = 0;
    for (size_t bucket = 0; bucket < kLookupSide * kLookupSide; ++bucket) {
        while (at < slots_.size() && bucket_of(slots_[at] >> kIndexBits, cpp) < bucket) {
            ++at;
        }
        lookup[bucket] = static_cast<int16_t>(at);
    }
}

int32_t CodeIndex::find(const uint8_t* code) const {
    if (cpp_ == 1) {
        return lookup_[(normalised(code[0]) - 32U) * kLookupSide];
    }
    if (cpp_ == 2) {
        return lookup_[(normalised(code[0]) - 32U) * kLookupSide + (normalised(code[1]) - 32U)];
    }
    const uint64_t key = code_key(code, cpp_);
    if (slots_.empty()) {
        for (size_t i = 0; i < colours_.size(); ++i) {
            if (code_key(colours_[i].code, cpp_) == key) {
                return static_cast<int32_t>(i);
            }
        }
        return -1;
    }
    // The first entry with the code, by binary search in its bucket: no set of codes
    // costs more than the logarithm of their number.
    auto begin = slots_.begin();
    auto end = slots_.end();
    if (slots_.size() > kBucketedFrom) {
        const size_t bucket = bucket_of(key, cpp_);
        begin = slots_.begin() + lookup_[bucket];
        end = bucket + 1 < kLookupSide * kLookupSide ? slots_.begin() + lookup_[bucket + 1]
                                                     : slots_.end();
    }
    const auto found = std::lower_bound(begin, end, key << kIndexBits);
    if (found == end || (*found >> kIndexBits) != key) {
        return -1;
    }
    return static_cast<int32_t>(*found & ((1U << kIndexBits) - 1U));
}

namespace {

// decode_pixels, with the indices kept or not: a loop of its own each, so that a load
// that keeps none runs the loop it always ran.
template <bool kKeep>
[[gnu::noinline]] size_t decode_into(std::span<const uint8_t> string, const CodeIndex& index,
                   const uint8_t* colours_rgb, uint8_t* out, size_t room, size_t& undefined,
                   uint8_t* indices) {
    size_t written = 0;
    const size_t cpp = index.cpp();
    for (size_t i = 0; i + cpp <= string.size() && written < room; i += cpp) {
        int32_t entry = index.find(string.data() + i);
        if (entry < 0) {
            ++undefined;
            if (cpp > 2) {
                continue; // an unknown long code moves the following pixels up
            }
            entry = 0; // an unknown short code takes the first colour
        }
        std::memcpy(out + written * 3, colours_rgb + static_cast<size_t>(entry) * 3, 3);
        if constexpr (kKeep) {
            indices[written] = static_cast<uint8_t>(entry);
        }
        ++written;
    }
    return written;
}

} // namespace

size_t decode_pixels(std::span<const uint8_t> string, const CodeIndex& index,
                     const uint8_t* colours_rgb, uint8_t* out, size_t room, size_t& undefined,
                     uint8_t* indices) {
    return indices != nullptr
               ? decode_into<true>(string, index, colours_rgb, out, room, undefined, indices)
               : decode_into<false>(string, index, colours_rgb, out, room, undefined, nullptr);
}

} // namespace xpm
