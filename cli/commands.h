// The commands of `orvi`: convert (one file, or many into a folder), info, filters and
// demo, each over the library. Each returns the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "orvi/orvi.h"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

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

// The library's options for the command: the limits, and the environment's.
[[nodiscard]] orvi::Options library_options(uint64_t max_pixels, uint64_t memory_limit,
                                            uint32_t threads = 0);

// Checks the filter names of the steps before any file is touched: kExitOk, or the exit
// status after saying why (2 for an unknown name, 1 without the ops module).
[[nodiscard]] int check_steps(orvi::Library& library, const Settings& options);

// Loads IN, applies the steps and saves OUT ("-": standard input or output); false with
// one sentence naming the file. A file whose data leaves gaps is converted with a warning
// for each (`incomplete`, when given, is set), or refused with --strict.
[[nodiscard]] bool convert_one(orvi::Library& library, const Settings& options,
                               const std::string& in, const std::string& out, bool progress,
                               std::string& error, bool* incomplete = nullptr);

[[nodiscard]] int convert(const Settings& options, const std::string& in, const std::string& out);
// Converts each file into the options' out_dir, in worker processes; failures are
// reported one line each and do not stop the others.
[[nodiscard]] int convert_batch(const Settings& options, const std::vector<std::string>& files);
// One line per file: text, or one JSON object with `json`.
[[nodiscard]] int info(const Settings& options);
// The predefined filters with their matrices and default divisors.
[[nodiscard]] int list_filters();
// The pictures in a window when there is a display (unless --terminal), else in the
// terminal on standard output.
[[nodiscard]] int view(const Settings& options);
// The README's first command: a test card through every writer, loaded back.
[[nodiscard]] int demo(const std::string& folder);
// Where the demo writes when no folder is given: orvi-demo in the temporary folder.
[[nodiscard]] std::string default_demo_folder();

} // namespace cli
