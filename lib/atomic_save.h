// Saving without risk to an existing file: the module writes a temporary file beside
// the target, which replaces the target only when the module reports success. Devices
// and pipes named as the target are written, never replaced.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

#include "orvi/batch.h"

namespace orvi {

struct SaveOutcome {
    int32_t code = 0;      // the writer's result code; 0 when the writer was not at fault
    std::string error;     // empty on success; else what went wrong, without the target's name
    bool forcible = false; // the target may not be written, which ReplaceRules::force allows
};

struct ReplaceRules {
    bool force = false;          // replace a file the user may not write, as `cp -f` does
    bool sweep_leftovers = true; // remove this target's temporary files older than a day
    bool flush_folder = true;    // flush the folder after the rename; false when the caller
                                 // flushes it once after many saves (flush_folder below)
};

// Calls `write` with the temporary file's name. On code 0 the temporary file is flushed
// to the disk (fsync) and takes the target's place, and the folder is flushed too, so
// that after a power cut the target is either the old file or the whole new one; a
// failed flush of the file is a failed save. The new file has
// an existing target's permissions (never set-user-ID or set-group-ID),
// and its owner and group where the process may give them, or the usual ones for a new
// file; it is a new file, so hard links to the old one keep the old content. Otherwise
// it is removed and the target is left as it was. A symbolic link as target is followed,
// so the link stays and the file it names is replaced. A character or block device or a
// pipe as target is written in place, through a nameless spool, only once the module
// succeeded; a folder or a socket is refused, and so is a file the user may not write
// unless `rules.force`.
[[nodiscard]] SaveOutcome save_atomically(const std::string& target,
                                          const std::function<int32_t(const char*)>& write,
                                          const ReplaceRules& rules = {});

// Calls `write` with the name of a nameless spool and, when it reports code 0, copies
// what it wrote to `fd` (named `shown` in sentences: "cannot write SHOWN (reason)"): how
// standard output, devices and pipes are written, none of which can be renamed over.
[[nodiscard]] SaveOutcome save_through_spool(int fd, const std::string& shown,
                                             const std::function<int32_t(const char*)>& write);

// flush_folder, remove_leftover_temps and remove_stale_temps (orvi/batch.h) are here: a
// file system that cannot flush folders is not a failure.

namespace seam {
// Test seam: makes every fsync of a save fail with EIO while set.
void fail_fsync(bool failing);
} // namespace seam

} // namespace orvi
