// A private, nameless temporary file that stands in for standard input or output, so
// that modules, which read and write files by name, can serve pipes. It has no name in
// any folder from the moment it exists, so no path of the program can leave it behind.
#pragma once

#include <optional>
#include <string>

namespace host {

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

    // Copies everything readable from `fd` into the spool.
    [[nodiscard]] bool fill_from(int fd, std::string& error);
    // Copies the spool's content (as now written through `path()`) to `fd`.
    [[nodiscard]] bool drain_to(int fd, std::string& error);

private:
    explicit Spool(int fd);
    int fd_;
    std::string path_;
};

} // namespace host
