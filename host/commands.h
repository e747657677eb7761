// The commands of `orvi`: convert (one file, or many into a folder), info and demo.
// Each returns the exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/formats.h"
#include "host/host_pool.h"
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
    bool reduce = false;              // palette depths: median cut when the colours do not fit
    bool dither = false;              // with reduce: Floyd-Steinberg
    std::optional<Format> to;         // --to: the output format, whatever OUT's name
    std::string to_name;              // its name as given, the extension of batch outputs
    std::string out_dir;              // --out-dir: every argument is an input
    uint32_t jobs = 0;                // --jobs: worker processes for a batch (0: one per core)
    uint64_t max_pixels = kDefaultMaxPixels; // --max-pixels: the largest picture read (0: none)
    uint64_t pool_limit = 0;     // the pool's byte limit (0: the default); set for workers
    bool force = false;          // --force: replace an output the user may not write
    bool sweep_leftovers = true; // remove the output's temporary files older than a day
};

struct InfoOptions {
    bool json = false;                       // one JSON object per line
    uint64_t max_pixels = kDefaultMaxPixels; // --max-pixels
};

// The operations of a convert, resolved once: the ops module and the steps with the
// matrices of named filters.
struct PreparedSteps {
    std::optional<Module> ops;
    std::vector<OperationStep> steps;
};

// Opens the ops module and resolves filter names when there are steps. kExitOk, or
// the exit status (1, or 2 for an unknown name) after saying why.
[[nodiscard]] int prepare_steps(const ConvertOptions& options, PreparedSteps& prepared);

// Loads IN, applies the steps and saves OUT; false with one sentence naming the file.
[[nodiscard]] bool convert_one(const ConvertOptions& options, const PreparedSteps& prepared,
                               const std::string& in, const std::string& out, bool progress,
                               std::string& error);

// Converts IN to OUT; "-" is standard input or output.
[[nodiscard]] int convert(const ConvertOptions& options, const std::string& in,
                          const std::string& out);
// Converts each file into the options' out_dir, in worker processes; failures are
// reported one line each and do not stop the others.
[[nodiscard]] int convert_batch(const ConvertOptions& options,
                                const std::vector<std::string>& files);
// One line per file: text, or one JSON object with `json`.
[[nodiscard]] int info(const std::vector<std::string>& files, const InfoOptions& options);
[[nodiscard]] int demo(const std::string& folder);

} // namespace host
