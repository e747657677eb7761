// Saving without risk to an existing file: the module writes a temporary file beside
// the target, which replaces the target only when the module reports success.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace host {

struct SaveOutcome {
    int32_t code = 0;  // the module's result code; 0 when the module was not at fault
    std::string error; // empty on success
};

// Calls `write` with the temporary file's name. On code 0 the temporary file takes the
// target's place (and its permissions, or the usual ones for a new file); otherwise
// it is removed and the target is left as it was. A symbolic link as target is
// followed, so the link stays and the file it names is replaced.
[[nodiscard]] SaveOutcome save_atomically(const std::string& target,
                                          const std::function<int32_t(const char*)>& write);

// Removes the temporary files a save to `target` leaves when its process is killed
// outright (no handler runs then); for a caller that knows no other save to `target`
// is under way.
void remove_leftover_temps(const std::string& target);

} // namespace host
