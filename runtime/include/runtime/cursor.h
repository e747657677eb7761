// The bounded cursor every parser reads file bytes through. Past the end it yields
// zero and records that it ran dry; it never reads outside [begin, end).
// Pure: no globals, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace runtime {

class Cursor {
public:
    Cursor(const uint8_t* begin, const uint8_t* end) : pos_(begin), end_(end) {}
    explicit Cursor(std::span<const uint8_t> bytes)
        : pos_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    [[nodiscard]] bool at_end() const { return pos_ == end_; }
    [[nodiscard]] size_t remaining() const { return static_cast<size_t>(end_ - pos_); }
    [[nodiscard]] bool dry() const { return dry_; }

    // The next byte without taking it; 0 at the end.
    [[nodiscard]] uint8_t peek() const { return pos_ != end_ ? *pos_ : 0; }
    // The byte `offset` places ahead without taking anything; 0 past the end.
    [[nodiscard]] uint8_t peek_at(size_t offset) const {
        return offset < remaining() ? pos_[offset] : 0;
    }
    // Takes one byte; 0 and dry at the end.
    uint8_t next() {
        if (pos_ == end_) {
            dry_ = true;
            return 0;
        }
        return *pos_++;
    }
    uint16_t be16() {
        const auto high = static_cast<uint16_t>(next());
        return static_cast<uint16_t>((high << 8U) | next());
    }
    uint16_t le16() {
        const auto low = static_cast<uint16_t>(next());
        return static_cast<uint16_t>(low | (static_cast<uint16_t>(next()) << 8U));
    }
    uint32_t be32() {
        const uint32_t high = be16();
        return (high << 16U) | be16();
    }
    uint32_t le32() {
        const uint32_t low = le16();
        return low | (static_cast<uint32_t>(le16()) << 16U);
    }
    // Up to `count` bytes; fewer (and dry) when the end comes first.
    std::span<const uint8_t> take(size_t count) {
        const size_t have = remaining();
        if (count > have) {
            dry_ = true;
            count = have;
        }
        const std::span<const uint8_t> bytes{pos_, count};
        pos_ += count;
        return bytes;
    }
    void skip(size_t count) { (void)take(count); }
    // What is left, without taking it.
    [[nodiscard]] std::span<const uint8_t> rest() const { return {pos_, remaining()}; }

private:
    const uint8_t* pos_;
    const uint8_t* end_;
    bool dry_ = false;
};

} // namespace runtime
