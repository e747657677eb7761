// The deltas of an IFF ANIM: byte vertical delta (operation 5) and short and long
// vertical deltas (operations 7 and 8), applied to the planes of the frame they change.
// Every byte of a DLTA is read through a bounded cursor; a delta whose data runs out is
// damaged, one that would write below the last row is refused before it writes there.
#include <array>

#include "ilbm/ilbm_format.h"

namespace ilbm {
namespace {

// One column of one plane, written from the top down in elements of `size` bytes (1, 2 or
// 4); an element's bytes past the row (a long column at the end of a row of 4n + 2 bytes)
// fall outside the picture and are dropped.
class Column {
public:
    Column(const DeltaBitmap& bitmap, uint32_t plane, uint32_t column, uint32_t size, bool xor_in)
        : bitmap_(bitmap), size_(size), xor_(xor_in),
          base_(size_t{plane} * bitmap.row_bytes + size_t{column} * size),
          stride_(size_t{bitmap.planes} * bitmap.row_bytes),
          width_(static_cast<uint32_t>(
              std::min<size_t>(size, bitmap.row_bytes - size_t{column} * size))) {}

    // Moves down `rows` rows; false when that passes the last row (a skip may end exactly
    // there).
    bool skip(uint64_t rows) {
        y_ += rows;
        return y_ <= bitmap_.rows;
    }
    // Writes `value` (the element's bytes, most significant first) into the row it is at
    // and moves down one; false below the last row.
    bool put(uint32_t value) {
        if (y_ >= bitmap_.rows) {
            return false;
        }
        uint8_t* at = bitmap_.bytes + base_ + y_ * stride_;
        for (uint32_t k = 0; k < width_; ++k) {
            const auto byte = static_cast<uint8_t>(value >> (8U * (size_ - 1 - k)));
            at[k] = xor_ ? static_cast<uint8_t>(at[k] ^ byte) : byte;
        }
        ++y_;
        return true;
    }
    [[nodiscard]] bool room_for(uint64_t rows) const { return y_ + rows <= bitmap_.rows; }

private:
    const DeltaBitmap& bitmap_;
    uint32_t size_;
    bool xor_;
    size_t base_;
    size_t stride_;
    uint32_t width_;
    uint64_t y_ = 0;
};

uint32_t element(runtime::Cursor& data, uint32_t size) {
    return size == 1 ? data.next() : size == 2 ? data.be16() : data.be32();
}

// The columns of one plane of operation 5 (bytes throughout) or 7 (byte opcodes, values
// of `size` bytes from their own list).
DeltaResult vertical_plane(runtime::Cursor& ops, runtime::Cursor& values, const DeltaBitmap& bitmap,
                           uint32_t plane, uint32_t size, bool xor_in) {
    const uint32_t columns = (bitmap.row_bytes + size - 1) / size;
    for (uint32_t c = 0; c < columns; ++c) {
        Column column(bitmap, plane, c, size, xor_in);
        const uint32_t count = ops.next();
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t op = ops.next();
            if (op == 0) {
                const uint32_t rows = ops.next();
                const uint32_t value = element(values, size);
                if (!column.room_for(rows)) {
                    return DeltaResult::outside;
                }
                for (uint32_t r = 0; r < rows; ++r) {
                    (void)column.put(value);
                }
            } else if (op < 0x80) {
                if (!column.skip(op)) {
                    return DeltaResult::outside;
                }
            } else {
                const uint32_t rows = op & 0x7FU;
                if (!column.room_for(rows)) {
                    return DeltaResult::outside;
                }
                for (uint32_t r = 0; r < rows; ++r) {
                    (void)column.put(element(values, size));
                }
            }
            if (ops.dry() || values.dry()) {
                return DeltaResult::damaged;
            }
        }
        if (ops.dry()) {
            return DeltaResult::damaged;
        }
    }
    return DeltaResult::done;
}

// The columns of one plane of operation 8: counts, opcodes and values all of `size` bytes
// in one list; an opcode with its top bit set is a run of that many values.
DeltaResult list_plane(runtime::Cursor& list, const DeltaBitmap& bitmap, uint32_t plane,
                       uint32_t size, bool xor_in) {
    const uint32_t columns = (bitmap.row_bytes + size - 1) / size;
    const uint32_t top = 1U << (8 * size - 1);
    for (uint32_t c = 0; c < columns; ++c) {
        Column column(bitmap, plane, c, size, xor_in);
        const uint32_t count = element(list, size);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t op = element(list, size);
            if (op == 0) {
                const uint32_t rows = element(list, size);
                const uint32_t value = element(list, size);
                if (!column.room_for(rows)) {
                    return DeltaResult::outside;
                }
                for (uint32_t r = 0; r < rows; ++r) {
                    (void)column.put(value);
                }
            } else if ((op & top) == 0) {
                if (!column.skip(op)) {
                    return DeltaResult::outside;
                }
            } else {
                const uint32_t rows = op & (top - 1);
                if (!column.room_for(rows)) {
                    return DeltaResult::outside;
                }
                for (uint32_t r = 0; r < rows; ++r) {
                    (void)column.put(element(list, size));
                }
            }
            if (list.dry()) {
                return DeltaResult::damaged;
            }
        }
        if (list.dry()) {
            return DeltaResult::damaged;
        }
    }
    return DeltaResult::done;
}

// The DLTA from `offset` to its end; an offset past the end is damage.
bool from(std::span<const uint8_t> dlta, uint32_t offset, runtime::Cursor& cursor) {
    if (offset >= dlta.size()) {
        return false;
    }
    cursor = runtime::Cursor(dlta.subspan(offset));
    return true;
}

} // namespace

bool delta_operation_read(uint32_t operation) {
    return operation == 5 || operation == 7 || operation == 8;
}

DeltaResult apply_delta(uint32_t operation, uint32_t bits, std::span<const uint8_t> dlta,
                        const DeltaBitmap& bitmap) {
    // ANHD bits: bit 0 long (rather than short) data, bit 1 XOR (rather than set).
    const bool xor_in = (bits & 2U) != 0;
    const uint32_t size = operation == 5 ? 1 : (bits & 1U) != 0 ? 4 : 2;
    runtime::Cursor header(dlta);
    std::array<uint32_t, 16> offsets{};
    for (uint32_t& offset : offsets) {
        offset = header.be32();
    }
    if (header.dry()) {
        return DeltaResult::damaged;
    }
    // Operation 5 has an offset for each of 16 planes, 7 and 8 for 8 (7's other 8 are its
    // value lists).
    const uint32_t planes = std::min<uint32_t>(bitmap.planes, operation == 5 ? 16 : 8);
    for (uint32_t p = 0; p < planes; ++p) {
        if (offsets[p] == 0) {
            continue; // the plane is as it was
        }
        runtime::Cursor ops{std::span<const uint8_t>{}};
        if (!from(dlta, offsets[p], ops)) {
            return DeltaResult::damaged;
        }
        DeltaResult result = DeltaResult::done;
        if (operation == 5) {
            runtime::Cursor& values = ops;
            result = vertical_plane(ops, values, bitmap, p, 1, xor_in);
        } else if (operation == 7) {
            runtime::Cursor values{std::span<const uint8_t>{}};
            if (!from(dlta, offsets[8 + p], values)) {
                return DeltaResult::damaged;
            }
            result = vertical_plane(ops, values, bitmap, p, size, xor_in);
        } else {
            result = list_plane(ops, bitmap, p, size, xor_in);
        }
        if (result != DeltaResult::done) {
            return result;
        }
    }
    return DeltaResult::done;
}

} // namespace ilbm
