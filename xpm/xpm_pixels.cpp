// Pixel strings: codes to colours through the direct table (1 and 2 characters) or a
// hash index (3 to 5). Pure: reads the string and the tables, writes only `out`.
#include <cstring>

#include "xpm/xpm_format.h"

namespace xpm {
namespace {

constexpr uint64_t kEmptySlot = ~uint64_t{0};

// A code of up to five characters (32..127) as a number; the slot keeps it in the low
// 40 bits and the entry index above.
uint64_t code_key(const uint8_t* code, uint32_t cpp) {
    uint64_t key = 0;
    for (uint32_t i = 0; i < cpp; ++i) {
        key = (key << 8U) | normalised(code[i]);
    }
    return key;
}

size_t slot_of(uint64_t key, size_t mask) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 24U) & mask;
}

} // namespace

size_t index_slots(int32_t colours) {
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(colours)) {
        slots *= 2;
    }
    return slots;
}

CodeIndex::CodeIndex(std::span<const ColourEntry> colours, uint32_t cpp, int16_t* lookup,
                     std::span<uint64_t> slots)
    : colours_(colours), cpp_(cpp), lookup_(lookup), slots_(slots) {
    if (cpp <= 2) {
        // Entries in order: a later entry with the same code wins.
        for (size_t i = 0; i < colours.size(); ++i) {
            const uint8_t* code = colours[i].code;
            const size_t second = cpp == 2 ? code[1] - 32U : 0;
            lookup[(code[0] - 32U) * kLookupSide + second] = static_cast<int16_t>(i);
        }
        return;
    }
    std::fill(slots.begin(), slots.end(), kEmptySlot);
    const size_t mask = slots.size() - 1;
    for (size_t i = 0; i < colours.size() && !slots.empty(); ++i) {
        const uint64_t key = code_key(colours[i].code, cpp);
        size_t slot = slot_of(key, mask);
        while (slots[slot] != kEmptySlot && (slots[slot] & 0xFFFFFFFFFFULL) != key) {
            slot = (slot + 1) & mask;
        }
        if (slots[slot] == kEmptySlot) { // the first entry with a code wins
            slots[slot] = key | (uint64_t{i} << 40U);
        }
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
    const size_t mask = slots_.size() - 1;
    for (size_t slot = slot_of(key, mask); slots_[slot] != kEmptySlot; slot = (slot + 1) & mask) {
        if ((slots_[slot] & 0xFFFFFFFFFFULL) == key) {
            return static_cast<int32_t>(slots_[slot] >> 40U);
        }
    }
    return -1;
}

size_t decode_pixels(std::span<const uint8_t> string, const CodeIndex& index,
                     const uint8_t* colours_rgb, uint8_t* out, size_t room) {
    size_t written = 0;
    const size_t cpp = index.cpp();
    for (size_t i = 0; i + cpp <= string.size() && written < room; i += cpp) {
        const int32_t entry = index.find(string.data() + i);
        if (entry < 0) {
            continue; // an unknown long code moves the following pixels up
        }
        std::memcpy(out + written * 3, colours_rgb + static_cast<size_t>(entry) * 3, 3);
        ++written;
    }
    return written;
}

} // namespace xpm
