// The commands of `orvi`: convert, info and demo. Each returns the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/operations.h"

namespace host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct ConvertOptions {
    std::vector<OperationStep> steps; // applied in order between loading and saving
    bool plain = false;               // PNM text samples
    bool quiet = false;               // no progress bar
    bool progress = false;            // a progress bar even when stderr is not a terminal
    uint32_t depth = 0;               // PCX and ILBM: 1, 2, 4, 8 with a palette, or 24 (0: 24)
    bool uncompressed = false;        // ILBM: --no-compress
};

[[nodiscard]] int convert(const ConvertOptions& options, const std::string& in,
                          const std::string& out);
[[nodiscard]] int info(const std::vector<std::string>& files);
[[nodiscard]] int demo(const std::string& folder);

} // namespace host
