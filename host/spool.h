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

    // Copies everything readable from `fd`, which sentences call `shown`, into the spool.
    [[nodiscard]] bool fill_from(int fd, const std::string& shown, std::string& error);
    // Copies the spool's content (as now written through `path()`) to `fd`, which
    // sentences call `shown`.
    [[nodiscard]] bool drain_to(int fd, const std::string& shown, std::string& error);

private:
    explicit Spool(int fd);
    int fd_;
    std::string path_;
};

// Opens /dev/null onto each of the descriptors 0, 1 and 2 that is closed, so that no
// file the program opens later takes a standard stream's place (and is then written
// as standard output), and remembers which were closed. Called first thing.
void guard_standard_streams();

// Whether the standard stream `fd` (0, 1 or 2) was closed when the program started.
[[nodiscard]] bool standard_stream_closed(int fd);

} // namespace host
