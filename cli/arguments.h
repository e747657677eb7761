// The command line of `orvi`: one table of every option (the commands taking it, its
// value, what it does and how it is read), from which the arguments are read into one
// settings record and the short usage and --help are written. Pure: no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "orvi/orvi.h"
#include "viewer/viewer.h"

namespace cli {

enum class Command : uint8_t { Convert, Info, Filters, View, Demo };

// Everything a command line says, for any command: each option has one field.
struct Settings {
    Command command = Command::Convert;
    std::vector<std::string> arguments; // the files, folders or IN and OUT

    // convert
    std::vector<Step> steps;   // applied in order between loading and saving
    bool plain = false;        // PNM text samples
    bool names = false;        // XPM colour names
    bool quiet = false;        // no progress bar
    bool progress = false;     // a progress bar even when stderr is not a terminal
    uint32_t depth = 0;        // palette writers: 1 to 8, or 24 (0: the writer's default)
    bool uncompressed = false; // ILBM: --no-compress
    bool reduce = false;       // palette depths: reduce without a note
    bool exact = false;        // palette depths: refuse colours that do not fit
    bool dither = false;       // when reducing: Floyd-Steinberg
    std::optional<uint32_t> background; // --background: 0xRRGGBB under transparent pixels
    std::string to;            // --to as given: the output format, whatever OUT's name
    std::string out_dir;       // --out-dir: every argument is an input
    uint32_t jobs = 0;         // --jobs: worker processes for a batch (0: one per core)
    uint32_t threads = 0;      // --threads: threads for one picture's work (0: one per core)
    bool force = false;        // --force: replace an output the user may not write, or
                               // write binary output to a terminal
    bool strict = false;       // --strict: a file whose data leaves gaps is a failure
    double cycle = 0;          // --cycle: seconds of a still's colour cycling to write (0: none)
    // convert and info
    uint32_t page = 0; // --page: the picture of a file holding several (0: convert the
                       // first, list every one in info)
    // every command that reads files
    uint64_t max_pixels = orvi::kDefaultMaxPixels; // --max-pixels (0: none)
    // info
    bool json = false;   // one JSON object per line
    bool chunks = false; // the chunks of files made of them
    // view
    viewer::ViewOptions view;

    // --divisor and --mode as given, for the --kernel steps once all is read.
    std::vector<std::pair<std::string, std::string>> kernel_settings;

    // What a batch's workers are given, not the command line.
    uint64_t memory_limit = 0;   // the library's byte limit (0: the default)
    bool sweep_leftovers = true; // remove the output's temporary files older than a day
    bool flush_folder = true;    // flush the output's folder after the save (a batch
                                 // flushes it once at its end instead)
};

// What reading a command line came to: settings to run, text to print (--help,
// --version) with status 0, or a usage error's sentence with status 2.
struct Reading {
    std::optional<Settings> settings;
    std::string print; // for standard output
    std::string error; // a usage error, without "orvi: "
};

// Reads the arguments after the program's name (some, or the short usage is the error).
[[nodiscard]] Reading read_arguments(const std::vector<std::string>& args);

// The synopsis of every command, one line each (wrapped to 80 columns), as the short
// usage and the manual show it: "orvi info [--json] [--max-pixels N] [--page N] FILE...".
[[nodiscard]] std::vector<std::string> synopsis();

// What a bare `orvi` prints: the synopsis and where to look for more.
[[nodiscard]] std::string short_usage();

// What --help prints: the synopsis, then every option of every command with its range,
// the formats read and written (from the format table), in 80 columns.
[[nodiscard]] std::string full_usage();

} // namespace cli
