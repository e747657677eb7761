// A bounded, buffered writer onto a dos file handle. Bytes collect in a buffer the
// caller provides and go out in whole-buffer writes; the first write that transfers
// fewer bytes than asked is remembered and later writes are skipped.
#pragma once

#include <cstdint>
#include <span>

#include "platform/dos.h"

namespace runtime {

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
