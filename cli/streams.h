// The standard streams the command was started with.
#pragma once

namespace cli {

// Opens /dev/null onto each of the descriptors 0, 1 and 2 that is closed, so that no
// file the program opens later takes a standard stream's place (and is then written
// as standard output), and remembers which were closed. Called first thing.
void guard_standard_streams();

// Whether the standard stream `fd` (0, 1 or 2) was closed when the program started.
[[nodiscard]] bool standard_stream_closed(int fd);

} // namespace cli
