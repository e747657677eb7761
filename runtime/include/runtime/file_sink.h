// A bounded, buffered writer onto a dos file handle. Bytes collect in a buffer the
// caller provides and go out in whole-buffer writes; the first write that transfers
// fewer bytes than asked is remembered and later writes are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/dos.h"

namespace runtime {

// The decimal digits of `value` at `out` (which holds 10): no sign, no leading zeros, 0
// as "0". Returns their count.
inline size_t put_decimal(uint8_t* out, uint32_t value) {
    uint8_t reversed[10] = {};
    size_t count = 0;
    do {
        reversed[count++] = static_cast<uint8_t>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < count; ++i) {
        out[i] = reversed[count - 1 - i];
    }
    return count;
}

class FileSink {
public:
    FileSink(platform::BPTR file, std::span<uint8_t> buffer) : file_(file), buffer_(buffer) {}

    void put(uint8_t byte) {
        if (used_ == buffer_.size()) {
            flush();
        }
        buffer_[used_++] = byte;
    }
    void put(std::span<const uint8_t> bytes);
    // Room for at least `count` more bytes (count <= buffer size), flushing if needed.
    [[nodiscard]] uint8_t* reserve(size_t count) {
        if (buffer_.size() - used_ < count) {
            flush();
        }
        return buffer_.data() + used_;
    }
    void commit(size_t count) { used_ += count; }
    // Writes what is buffered.
    void flush();
    [[nodiscard]] bool failed() const { return failed_; }

private:
    void write_out(std::span<const uint8_t> bytes);

    platform::BPTR file_;
    std::span<uint8_t> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
};

} // namespace runtime
