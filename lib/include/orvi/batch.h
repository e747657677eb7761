// For a program that saves many files into one folder, as `orvi convert --out-dir` does:
// the leftovers of saves that did not finish, and one flush of the folder at the end
// (with SaveOptions::flush_folder false for each save). Not included by orvi/orvi.h.
#pragma once

#include <string>

#include "orvi/export.h"

namespace orvi {

// Removes the temporary files a save to `target` by process `pid` left when that process
// was killed outright (no handler runs then), for a parent that watched it die.
ORVI_API void remove_leftover_temps(const std::string& target, int pid);

// Removes the temporary files that saves into `folder` left more than a day ago.
ORVI_API void remove_stale_temps(const std::string& folder);

// Flushes a folder to the disk, so that the saves into it made with
// SaveOptions::flush_folder false survive a power cut as whole files; false with the
// reason in `error`.
[[nodiscard]] ORVI_API bool flush_folder(const std::string& folder, std::string& error);

} // namespace orvi
