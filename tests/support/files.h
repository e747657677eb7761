// Byte buffers, temporary folders and whole-file reads and writes for tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

inline Bytes bytes_of(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Numbers as the IFF family (big-endian) and DCX (little-endian) store them.
inline Bytes be32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24U), static_cast<uint8_t>(v >> 16U),
            static_cast<uint8_t>(v >> 8U), static_cast<uint8_t>(v)};
}
inline Bytes le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8U), static_cast<uint8_t>(v >> 16U),
            static_cast<uint8_t>(v >> 24U)};
}

// An IFF chunk: its four-character id, its size and its data, padded to even length.
inline Bytes chunk(const char* id, const Bytes& data) {
    Bytes out = concat(
        concat(bytes_of(std::string_view(id, 4)), be32(static_cast<uint32_t>(data.size()))), data);
    if (data.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

// A fresh temporary folder, removed with its contents at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    [[nodiscard]] std::string path(const std::string& name) const {
        return (root_ / name).string();
    }
    [[nodiscard]] const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);

} // namespace testing_support
