// Spools for standard input and output: O_TMPFILE where the file system has it, else a
// file unlinked as soon as it is made; reopened by modules through /proc/self/fd.
#include "lib/spool.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {
namespace {

// The copy buffer: on the stack, so that a spool holds no memory beyond it.
constexpr size_t kChunk = size_t{128} << 10U;

std::string temp_folder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

int make_nameless(std::string& error) {
    const std::string folder = temp_folder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string name = folder + "/.orvi-spool-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot make a temporary file in '" + folder + "' (" + std::strerror(errno) + ")";
        return -1;
    }
    ::unlink(name.c_str());
    return fd;
}

bool write_all(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t wrote = ::write(fd, bytes, size);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        bytes += wrote;
        size -= static_cast<size_t>(wrote);
    }
    return true;
}

// Copies from `from` to `to`, naming the side that fails.
bool copy(int from, int to, std::string& error, const std::string& reading,
          const std::string& writing) {
    std::array<uint8_t, kChunk> buffer;
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = "cannot read " + reading + " (" + std::strerror(errno) + ")";
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!write_all(to, buffer.data(), static_cast<size_t>(got))) {
            error = "cannot write " + writing + " (" + std::strerror(errno) + ")";
            return false;
        }
    }
}

} // namespace

std::optional<Spool> Spool::create(std::string& error) {
    const int fd = make_nameless(error);
    if (fd < 0) {
        return std::nullopt;
    }
    return Spool(fd);
}

Spool::Spool(int fd) : fd_(fd), path_("/proc/self/fd/" + std::to_string(fd)) {}

Spool::Spool(Spool&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

Spool& Spool::operator=(Spool&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

Spool::~Spool() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool Spool::fill_from(int fd, const std::string& shown, std::string& error) {
    return copy(fd, fd_, error, shown, "a temporary file");
}

bool Spool::fill_with(std::span<const uint8_t> bytes, std::string& error) {
    if (!write_all(fd_, bytes.data(), bytes.size())) {
        error = std::string("cannot write a temporary file (") + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

bool Spool::drain_to(int fd, const std::string& shown, std::string& error) {
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        error = std::string("cannot read back the output (") + std::strerror(errno) + ")";
        return false;
    }
    return copy(fd_, fd, error, "a temporary file", shown);
}

std::optional<std::string> readable_source(const std::string& path, std::optional<Spool>& spool,
                                           std::string& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
        return path; // a file, or what the reading will say is wrong with it
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    spool = Spool::create(error);
    const bool filled = spool && spool->fill_from(fd, "it", error);
    ::close(fd);
    if (!filled) {
        return std::nullopt;
    }
    return spool->path();
}

} // namespace orvi
