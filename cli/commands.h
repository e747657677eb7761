// The commands of `orvi`: convert (one file, or many into a folder), info, filters and
// demo, each over the library. Each returns the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "orvi/orvi.h"
#include "viewer/terminal.h"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct ConvertOptions {
    std::vector<Step> steps;   // applied in order between loading and saving
    bool plain = false;        // PNM text samples
    bool names = false;        // XPM colour names
    bool quiet = false;        // no progress bar
    bool progress = false;     // a progress bar even when stderr is not a terminal
    uint32_t depth = 0;        // palette writers: 1 to 8, or 24 (0: 24)
    bool uncompressed = false; // ILBM: --no-compress
    bool reduce = false;       // palette depths: median cut when the colours do not fit
    bool dither = false;       // with reduce: Floyd-Steinberg
    std::string to;            // --to as given: the output format, whatever OUT's name
    std::string out_dir;       // --out-dir: every argument is an input
    uint32_t jobs = 0;         // --jobs: worker processes for a batch (0: one per core)
    uint32_t threads = 0;      // --threads: threads for one picture's work (0: one per core)
    uint64_t max_pixels = orvi::kDefaultMaxPixels; // --max-pixels (0: none)
    uint64_t memory_limit = 0;   // the library's byte limit (0: the default); set for workers
    bool force = false;          // --force: replace an output the user may not write, or
                                 // write binary output to a terminal
    bool sweep_leftovers = true; // remove the output's temporary files older than a day
    bool flush_folder = true;    // flush the output's folder after the save (a batch
                                 // flushes it once at its end instead)
    bool strict = false;         // --strict: a file whose data leaves gaps is a failure
    uint32_t page = 1;           // --page: the picture of a file holding several
};

struct InfoOptions {
    bool json = false;                             // one JSON object per line
    uint64_t max_pixels = orvi::kDefaultMaxPixels; // --max-pixels
    uint32_t page = 0; // --page: that picture only (0: every picture of the file, a line each)
};

struct ViewOptions {
    std::vector<std::string> arguments; // files and folders
    bool terminal = false;              // --terminal: draw in the terminal with a display
    double slideshow_seconds = 0;       // --slideshow
    std::string timings;                // --timings: where the window writes frame times
    viewer::Graphics graphics = viewer::Graphics::Automatic; // --graphics
    uint32_t columns = 0; // --size: the terminal's size, or 0 to ask it
    uint32_t rows = 0;
    uint64_t max_pixels = orvi::kDefaultMaxPixels; // --max-pixels
};

// Prints "orvi: SENTENCE" on stderr.
void complain(const std::string& sentence);

// An error's sentence with the command's option that would change the outcome, when
// there is one: "... more than the limit of 100 (--max-pixels N sets the limit, 0 for
// none)".
[[nodiscard]] std::string told(const orvi::Error& error);

// Makes `folder` unless it exists; false after saying why it cannot.
[[nodiscard]] bool make_folder(const std::string& folder);

// A progress bar unless quiet; on a terminal, or anywhere when forced.
[[nodiscard]] bool show_progress(bool quiet, bool forced);

// How a file is named in sentences: quoted, or "standard input" / "standard output" for "-".
[[nodiscard]] std::string shown_name(const std::string& path, bool output);

// The library's options for the command: the limits, and $ORVI_MODULE_PATH when set.
[[nodiscard]] orvi::Options library_options(uint64_t max_pixels, uint64_t memory_limit,
                                            uint32_t threads = 0);

// Checks the filter names of the steps before any file is touched: kExitOk, or the exit
// status after saying why (2 for an unknown name, 1 without the ops module).
[[nodiscard]] int check_steps(orvi::Library& library, const ConvertOptions& options);

// Loads IN, applies the steps and saves OUT ("-": standard input or output); false with
// one sentence naming the file. A file whose data leaves gaps is converted with a warning
// for each (`incomplete`, when given, is set), or refused with --strict.
[[nodiscard]] bool convert_one(orvi::Library& library, const ConvertOptions& options,
                               const std::string& in, const std::string& out, bool progress,
                               std::string& error, bool* incomplete = nullptr);

[[nodiscard]] int convert(const ConvertOptions& options, const std::string& in,
                          const std::string& out);
// Converts each file into the options' out_dir, in worker processes; failures are
// reported one line each and do not stop the others.
[[nodiscard]] int convert_batch(const ConvertOptions& options,
                                const std::vector<std::string>& files);
// One line per file: text, or one JSON object with `json`.
[[nodiscard]] int info(const std::vector<std::string>& files, const InfoOptions& options);
// The predefined filters with their matrices and default divisors.
[[nodiscard]] int list_filters();
// The pictures in a window when there is a display (unless options.terminal), else in
// the terminal on standard output.
[[nodiscard]] int view(const ViewOptions& options);
// The README's first command: a test card through every writer, loaded back.
[[nodiscard]] int demo(const std::string& folder);
// Where the demo writes when no folder is given: orvi-demo in the temporary folder.
[[nodiscard]] std::string default_demo_folder();

} // namespace cli
