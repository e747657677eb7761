// Palettes that change from line to line: PCHG (small and big line changes, plain or
// Huffman-packed), SHAM and CTBL. Pure: every read stays inside the chunk's bytes.
#include <algorithm>
#include <cstring>

#include "ilbm/ilbm_format.h"
#include "runtime/cursor.h"

namespace ilbm {
namespace {

constexpr size_t kPchgHeaderBytes = 20;
constexpr uint32_t kSmallLineChanges = 1;
constexpr uint32_t kBigLineChanges = 2;
constexpr size_t kTableBytes = 32; // SHAM and CTBL: 16 words of 0x0RGB

/* unpack_huffman: the PCHG tree is an array of big-endian words walked from its last
 * word; a 1 bit follows a negative word's backward offset (in bytes) or emits a
 * non-negative word's low byte; a 0 bit steps back one word and emits it when it has
 * 0x100 set. Stops when `out` is full; false when the bits or the tree run out first. */
bool unpack_huffman(std::span<const uint8_t> tree, std::span<const uint8_t> bits,
                    std::span<uint8_t> out) {
    const size_t words = tree.size() / 2;
    if (words == 0) {
        return out.empty();
    }
    const auto word = [&](size_t i) {
        return static_cast<int16_t>(static_cast<uint16_t>(tree[2 * i] << 8U | tree[2 * i + 1]));
    };
    size_t made = 0;
    size_t p = words - 1;
    for (size_t bit = 0; made < out.size(); ++bit) {
        if (bit / 8 >= bits.size()) {
            return false;
        }
        const bool one = (bits[bit / 8] & (0x80U >> (bit % 8))) != 0;
        if (one) {
            const int16_t value = word(p);
            if (value < 0) {
                const auto back = static_cast<size_t>(-(value / 2));
                if (back > p) {
                    return false;
                }
                p -= back;
                continue;
            }
            out[made++] = static_cast<uint8_t>(value);
            p = words - 1;
        } else {
            if (p == 0) {
                return false;
            }
            --p;
            const int16_t value = word(p);
            if (value >= 0 && (value & 0x100) != 0) {
                out[made++] = static_cast<uint8_t>(value);
                p = words - 1;
            }
        }
    }
    return true;
}

} // namespace

bool LinePalettes::start(std::span<const uint8_t> cmap, const LineChunks& chunks, uint32_t height,
                         bool lace, std::span<uint8_t> unpacked) {
    entries_ = std::min<size_t>(cmap.size() / 3, 256);
    if (entries_ != 0) {
        std::memcpy(current_.data(), cmap.data(), entries_ * 3);
    }
    if (!chunks.pchg.empty()) {
        return start_pchg(chunks.pchg, unpacked);
    }
    if (!chunks.ctbl.empty()) {
        kind_ = Kind::tables;
        tables_ = chunks.ctbl;
        table_count_ = chunks.ctbl.size() / kTableBytes;
        rows_per_table_ = 1;
        given_rows_ = static_cast<uint32_t>(std::min<size_t>(table_count_, UINT32_MAX));
        return true;
    }
    if (chunks.sham.size() >= 2) {
        kind_ = Kind::tables;
        tables_ = chunks.sham.subspan(2);
        table_count_ = tables_.size() / kTableBytes;
        // Interlaced pictures share a table between two rows: said by CAMG's LACE bit, or
        // by a table for every other row.
        rows_per_table_ =
            lace || (table_count_ < height && table_count_ == (height + 1) / 2) ? 2 : 1;
        given_rows_ = static_cast<uint32_t>(
            std::min<uint64_t>(uint64_t{table_count_} * rows_per_table_, UINT32_MAX));
        return true;
    }
    return true;
}

/* pchg_bytes_needed: the unpacked size the header claims, but no more than the packed
 * bits can make: every byte the tree emits takes at least one bit, so a claim above
 * eight bytes for each byte of bits could never be filled (and is not reserved). */
size_t LinePalettes::pchg_bytes_needed(std::span<const uint8_t> pchg) {
    runtime::Cursor cursor(pchg);
    const uint16_t compression = cursor.be16();
    cursor.skip(kPchgHeaderBytes - 2);
    const uint32_t tree_size = cursor.be32();
    const uint32_t original = cursor.be32();
    if (compression != 1 || cursor.dry()) {
        return 0;
    }
    const size_t bits = cursor.remaining() - std::min<size_t>(tree_size, cursor.remaining());
    return std::min<uint64_t>(original, uint64_t{bits} * 8);
}

bool LinePalettes::start_pchg(std::span<const uint8_t> pchg, std::span<uint8_t> unpacked) {
    runtime::Cursor header(pchg);
    const uint16_t compression = header.be16();
    flags_ = header.be16();
    start_line_ = static_cast<int16_t>(header.be16());
    line_count_ = header.be16();
    header.skip(kPchgHeaderBytes - 8);
    if (header.dry() || (flags_ & (kSmallLineChanges | kBigLineChanges)) == 0 || compression > 1) {
        return false; // not a PCHG this reader knows: the CMAP alone colours the picture
    }
    std::span<const uint8_t> data = header.rest();
    if (compression == 1) {
        const uint32_t tree_size = header.be32();
        const uint32_t original = header.be32();
        // A claim the bits cannot fill was given no room (pchg_bytes_needed): it fails
        // as its bits would run out.
        if (header.dry() || tree_size > header.remaining() || original > unpacked.size() ||
            !unpack_huffman(header.rest().first(tree_size), header.rest().subspan(tree_size),
                            unpacked)) {
            return false;
        }
        data = unpacked;
    }
    const size_t mask_bytes = 4 * ((size_t{line_count_} + 31) / 32);
    if (data.size() < mask_bytes) {
        return false;
    }
    kind_ = Kind::pchg;
    mask_ = data.first(mask_bytes);
    records_ = runtime::Cursor(data.subspan(mask_bytes));
    next_line_ = 0;
    return true;
}

void LinePalettes::set(size_t reg, uint8_t red, uint8_t green, uint8_t blue) {
    if (reg < entries_) { // changes to registers beyond the CMAP are ignored
        current_[3 * reg] = red;
        current_[3 * reg + 1] = green;
        current_[3 * reg + 2] = blue;
    }
}

// Applies one PCHG record (the next in the data); false when the data ends inside it.
bool LinePalettes::apply_record() {
    if ((flags_ & kSmallLineChanges) != 0) {
        const uint8_t low = records_.next();
        const uint8_t high = records_.next();
        for (uint32_t i = 0; i < uint32_t{low} + high && !records_.dry(); ++i) {
            const uint16_t change = records_.be16();
            const size_t reg = (change >> 12U) + (i < low ? 0U : 16U);
            set(reg, static_cast<uint8_t>((change >> 8U & 15U) * 17),
                static_cast<uint8_t>((change >> 4U & 15U) * 17),
                static_cast<uint8_t>((change & 15U) * 17));
        }
    } else {
        const uint16_t count = records_.be16();
        for (uint32_t i = 0; i < count && !records_.dry(); ++i) {
            const uint16_t reg = records_.be16();
            (void)records_.next(); // alpha
            const uint8_t red = records_.next();
            const uint8_t blue = records_.next();
            const uint8_t green = records_.next();
            if (!records_.dry()) {
                set(reg, red, green, blue);
            }
        }
    }
    return !records_.dry();
}

Palette LinePalettes::at_row(uint32_t y) {
    if (kind_ == Kind::pchg) {
        // Every record of a line at or above this row, in order; lines above row 0 are
        // folded into the first row's palette, and the last palette stays after the last.
        while (next_line_ < line_count_ && int64_t{start_line_} + next_line_ <= int64_t{y}) {
            const uint32_t line = next_line_++;
            const bool changed = (mask_[line / 8] & (0x80U >> (line % 8))) != 0;
            if (changed && !apply_record()) {
                // The data ends inside this line's record: the rows from here keep the
                // palette as it was.
                next_line_ = line_count_;
                given_rows_ =
                    static_cast<uint32_t>(std::max<int64_t>(start_line_ + int64_t{line}, 0));
            }
        }
    } else if (kind_ == Kind::tables) {
        const size_t table = y / rows_per_table_;
        if (table < table_count_) { // more rows than tables: the last table stays
            const uint8_t* words = tables_.data() + table * kTableBytes;
            for (size_t reg = 0; reg < 16; ++reg) {
                const uint32_t rgb = uint32_t{words[2 * reg]} << 8U | words[2 * reg + 1];
                set(reg, static_cast<uint8_t>((rgb >> 8U & 15U) * 17),
                    static_cast<uint8_t>((rgb >> 4U & 15U) * 17),
                    static_cast<uint8_t>((rgb & 15U) * 17));
            }
        }
    }
    return {current_.data(), entries_};
}

} // namespace ilbm
