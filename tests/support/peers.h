// Running peer tools and finding the shared corpus, for tests that compare with other
// people's software. Both are optional: callers skip with a message when absent.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Runs a shell command; its standard output, or nothing when it exits non-zero.
std::optional<std::string> run_capture(const std::string& command);

// True when `program` is on the PATH.
bool have_program(const std::string& program);

// The corpus folder for a format ("pnm", "pcx", ...), or nothing when ../shared is absent.
std::optional<std::string> corpus_folder(const std::string& format);

// The files of a folder, sorted by name.
std::vector<std::string> files_in(const std::string& folder);

// A path quoted for the shell.
std::string shell_quote(const std::string& text);

} // namespace testing_support
