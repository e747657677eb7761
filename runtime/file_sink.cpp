// Buffered writes onto a dos handle; remembers the first short write.
#include "runtime/file_sink.h"

#include <cstring>

namespace runtime {

void FileSink::put(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return; // an empty picture may come without a buffer
    }
    if (bytes.size() <= buffer_.size() - used_) {
        std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
        return;
    }
    flush();
    write_out(bytes);
}

void FileSink::flush() {
    write_out(buffer_.first(used_));
    used_ = 0;
}

void FileSink::write_out(std::span<const uint8_t> bytes) {
    if (failed_ || bytes.empty()) {
        return;
    }
    const auto length = static_cast<int64_t>(bytes.size());
    if (platform::Write(file_, bytes.data(), length) != length) {
        failed_ = true;
    }
}

} // namespace runtime
