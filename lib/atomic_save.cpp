// Atomic save: temporary file beside the target, rename on success, removal on every
// other path (an interrupt included). Devices and pipes are written through a spool.
#include "lib/atomic_save.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/names.h"
#include "lib/spool.h"

namespace orvi {
namespace {

// The temporary file in flight, for the interrupt handler. Plain storage: a signal
// handler may only touch what needs no locking.
char pending_temp[PATH_MAX];
volatile std::sig_atomic_t has_pending_temp = 0;

// Temporary names: "." + the target's name + ".orvi-" + the process id + "-" + six
// characters of mkstemp, within the 255 bytes a name may have.
constexpr std::string_view kTempMark = ".orvi-";
constexpr size_t kNameMax = 255;
constexpr size_t kTempExtra = 1 + kTempMark.size() + 10 + 1 + 6;
constexpr time_t kStaleSeconds = 24 * 60 * 60;

extern "C" void remove_pending_temp(int signal_number) {
    if (has_pending_temp != 0) {
        ::unlink(pending_temp);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void watch_interrupts() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        std::signal(SIGINT, remove_pending_temp);
        std::signal(SIGTERM, remove_pending_temp);
        std::signal(SIGHUP, remove_pending_temp);
    }
}

std::string resolve_link(const std::string& target) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return target;
    }
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) != nullptr) {
        return resolved;
    }
    // A dangling link: write the file it names.
    const ssize_t length = ::readlink(target.c_str(), resolved, sizeof resolved - 1);
    if (length <= 0) {
        return target;
    }
    std::string named(resolved, static_cast<size_t>(length));
    if (named.front() == '/') {
        return named;
    }
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? named : target.substr(0, slash + 1) + named;
}

// A path's folder and the start every temporary name for it has.
struct TempPlace {
    std::string folder;
    std::string prefix; // "." + name (cut to fit) + ".orvi-"
};

TempPlace temp_place(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string prefix = ".";
    prefix.append(base, 0, kNameMax - kTempExtra).append(kTempMark);
    return {folder, prefix};
}

// Whether `tail` (what follows ".orvi-") is "PID-XXXXXX", or the "XXXXXX" of older saves.
bool temp_tail(std::string_view tail) {
    if (tail.size() == 6) {
        return true;
    }
    const size_t dash = tail.find('-');
    return dash != std::string_view::npos && dash > 0 && tail.size() == dash + 7 &&
           tail.substr(0, dash).find_first_not_of("0123456789") == std::string_view::npos;
}

// Removes the regular files of `folder` whose names `matches` picks and that were last
// written more than `older_than` seconds ago (-1: whatever their age).
template <typename Matches>
void remove_in(const std::string& folder, const Matches& matches, time_t older_than) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        struct stat status {};
        const std::string path = folder + "/" + name;
        if (matches(name) && ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            now - status.st_mtime > older_than) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(listing);
}

// Removes the temporary files for `place` older than a day: what a killed process left.
void sweep(const TempPlace& place) {
    remove_in(
        place.folder,
        [&](const std::string& name) {
            return name.starts_with(place.prefix) &&
                   temp_tail(std::string_view(name).substr(place.prefix.size()));
        },
        kStaleSeconds);
}

SaveOutcome write_through_spool_to(const std::string& path,
                                   const std::function<int32_t(const char*)>& write) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {0, std::string("cannot write it (") + std::strerror(errno) + ")"};
    }
    SaveOutcome outcome = save_through_spool(fd, "it", write);
    if (::close(fd) != 0 && outcome.error.empty()) {
        outcome.error = std::string("cannot write it (") + std::strerror(errno) + ")";
    }
    return outcome;
}

// The target's protections to keep: its permissions without the set-ID bits, and its
// owner and group; none for a new file.
struct Protections {
    mode_t mode;
    std::optional<std::pair<uid_t, gid_t>> owner;
};

Protections protections_for(const struct stat* existing) {
    if (existing != nullptr) {
        return {static_cast<mode_t>(existing->st_mode & 0777),
                std::make_pair(existing->st_uid, existing->st_gid)};
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return {static_cast<mode_t>(0666 & ~mask), std::nullopt};
}

void give_protections(const Protections& protections, const std::string& temp) {
    if (protections.owner) {
        const auto [uid, gid] = *protections.owner;
        // The owner where the process may give it (as root), else at least the group.
        if (::chown(temp.c_str(), uid, gid) != 0) {
            (void)::chown(temp.c_str(), static_cast<uid_t>(-1), gid);
        }
    }
    // After chown, which may clear permission bits.
    ::chmod(temp.c_str(), protections.mode);
}

bool fsync_fails = false;

// Flushes a file (or, with `folder`, a folder) to the disk; false with errno set.
bool flush_to_disk(const std::string& path, bool folder) {
    if (fsync_fails) {
        errno = EIO;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) {
        return false;
    }
    const bool flushed = ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    errno = why;
    // A file system that cannot flush folders says so with EINVAL: nothing more to do.
    return flushed || (folder && why == EINVAL);
}

} // namespace

bool flush_folder(const std::string& folder, std::string& error) {
    if (flush_to_disk(folder, true)) {
        return true;
    }
    error = "the folder " + quoted(folder) + " cannot be flushed to the disk (" +
            std::strerror(errno) + ")";
    return false;
}

namespace seam {
void fail_fsync(bool failing) {
    fsync_fails = failing;
}
} // namespace seam

SaveOutcome save_through_spool(int fd, const std::string& shown,
                               const std::function<int32_t(const char*)>& write) {
    SaveOutcome outcome;
    auto spool = Spool::create(outcome.error);
    if (!spool) {
        return outcome;
    }
    outcome.code = write(spool->path().c_str());
    if (outcome.code != 0) {
        outcome.error = "not saved";
    } else {
        (void)spool->drain_to(fd, shown, outcome.error);
    }
    return outcome;
}

void remove_leftover_temps(const std::string& target, pid_t pid) {
    const TempPlace place = temp_place(resolve_link(target));
    const std::string mine = place.prefix + std::to_string(pid) + "-";
    remove_in(
        place.folder,
        [&](const std::string& name) {
            return name.size() == mine.size() + 6 && name.starts_with(mine);
        },
        -1);
}

void remove_stale_temps(const std::string& folder) {
    remove_in(
        folder,
        [](const std::string& name) {
            const size_t mark = name.rfind(kTempMark);
            return name.starts_with('.') && mark != std::string::npos && mark > 0 &&
                   temp_tail(std::string_view(name).substr(mark + kTempMark.size()));
        },
        kStaleSeconds);
}

SaveOutcome save_atomically(const std::string& target,
                            const std::function<int32_t(const char*)>& write,
                            const ReplaceRules& rules) {
    const std::string path = resolve_link(target);
    struct stat status {};
    const bool exists = ::stat(path.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        return {0, "it is a folder"};
    }
    if (exists && S_ISSOCK(status.st_mode)) {
        return {0, "it is a socket, which orvi does not write to"};
    }
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe: what is written goes to it; it is not a file to replace.
        return write_through_spool_to(path, write);
    }
    if (exists && !rules.force && ::access(path.c_str(), W_OK) != 0 && errno == EACCES) {
        return {0, "it is write-protected", true};
    }
    const TempPlace place = temp_place(path);
    if (rules.sweep_leftovers) {
        sweep(place);
    }
    std::string temp = place.folder + "/" + place.prefix + std::to_string(::getpid()) + "-XXXXXX";
    if (temp.size() >= PATH_MAX) {
        return {0, "its name is too long"};
    }
    watch_interrupts();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return {0, "cannot create a file in " + quoted(place.folder) + " (" + std::strerror(errno) +
                       ")"};
    }
    ::close(fd);
    std::memcpy(pending_temp, temp.c_str(), temp.size() + 1);
    has_pending_temp = 1;

    SaveOutcome outcome;
    outcome.code = write(temp.c_str());
    if (outcome.code != 0) {
        outcome.error = "not saved";
    } else if (!flush_to_disk(temp, false)) {
        outcome.error = std::string("it cannot be flushed to the disk (") + std::strerror(errno) +
                        "); the old file is kept";
    } else {
        give_protections(protections_for(exists ? &status : nullptr), temp);
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            outcome.error = std::string("cannot put it in place (") + std::strerror(errno) + ")";
        } else if (rules.flush_folder && !flush_to_disk(place.folder, true)) {
            has_pending_temp = 0;
            return {0,
                    std::string("it was written, but its folder cannot be flushed to the disk (") +
                        std::strerror(errno) + ")"};
        }
    }
    if (!outcome.error.empty()) {
        ::unlink(temp.c_str());
    }
    has_pending_temp = 0;
    return outcome;
}

} // namespace orvi
