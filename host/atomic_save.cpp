// Atomic save: temporary file beside the target, rename on success, removal on every
// other path (an interrupt included).
#include "host/atomic_save.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

// The temporary file in flight, for the interrupt handler. Plain storage: a signal
// handler may only touch what needs no locking.
char pending_temp[PATH_MAX];
volatile std::sig_atomic_t has_pending_temp = 0;

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

mode_t mode_for(const std::string& target) {
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0) {
        return status.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

void remove_leftover_temps(const std::string& target) {
    const std::string path = resolve_link(target);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix =
        "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".orvi-";
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix)) {
            ::unlink((folder + "/" + name).c_str());
        }
    }
    ::closedir(listing);
}

SaveOutcome save_atomically(const std::string& target,
                            const std::function<int32_t(const char*)>& write) {
    const std::string path = resolve_link(target);
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return {0, "'" + target + "' is a folder"};
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".orvi-XXXXXX";
    if (temp.size() >= PATH_MAX) {
        return {0, "the name '" + target + "' is too long"};
    }
    watch_interrupts();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return {0, "cannot create a file in '" + folder + "' (" + std::strerror(errno) + ")"};
    }
    ::close(fd);
    std::memcpy(pending_temp, temp.c_str(), temp.size() + 1);
    has_pending_temp = 1;

    SaveOutcome outcome;
    outcome.code = write(temp.c_str());
    if (outcome.code == 0) {
        ::chmod(temp.c_str(), mode_for(path));
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            outcome.error = "cannot replace '" + target + "' (" + std::strerror(errno) + ")";
        }
    } else {
        outcome.error = "not saved";
    }
    if (!outcome.error.empty()) {
        ::unlink(temp.c_str());
    }
    has_pending_temp = 0;
    return outcome;
}

} // namespace host
