// Closed standard streams, found and filled at start-up.
#include "cli/streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

bool closed_at_start[3] = {false, false, false};

} // namespace

void guard_standard_streams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closed_at_start[fd] = true;
            // The lowest free descriptor: this one.
            (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

bool standard_stream_closed(int fd) {
    return fd >= 0 && fd < 3 && closed_at_start[fd];
}

} // namespace cli
