// A private, nameless temporary file that stands in for standard input or output, so
// that modules, which read and write files by name, can serve pipes. It has no name in
// any folder from the moment it exists, so no path of the program can leave it behind.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvi {

class Spool {
public:
    // A new empty spool in $TMPDIR (or /tmp); nullopt with a sentence when none can be made.
    [[nodiscard]] static std::optional<Spool> create(std::string& error);
    Spool(Spool&& other) noexcept;
    Spool& operator=(Spool&& other) noexcept;
    Spool(const Spool&) = delete;
    ~Spool();

    // A name by which the file can be opened again while the spool lives.
    [[nodiscard]] const std::string& path() const { return path_; }

    // Copies everything readable from `fd`, which sentences call `shown`, into the spool.
    [[nodiscard]] bool fill_from(int fd, const std::string& shown, std::string& error);
    // Writes `bytes` into the spool.
    [[nodiscard]] bool fill_with(std::span<const uint8_t> bytes, std::string& error);
    // Copies the spool's content (as now written through `path()`) to `fd`, which
    // sentences call `shown`.
    [[nodiscard]] bool drain_to(int fd, const std::string& shown, std::string& error);

private:
    explicit Spool(int fd);
    int fd_;
    std::string path_;
};

// The name by which `path` can be read as a file: the path itself for a file (or what
// will say what is wrong with it), else a spool filled from it, for what can be read only
// once (pipes, devices, /dev/stdin); nothing with a sentence when it cannot be read.
[[nodiscard]] std::optional<std::string>
readable_source(const std::string& path, std::optional<Spool>& spool, std::string& error);

} // namespace orvi
