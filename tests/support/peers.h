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

// The corpus files of a format ("pnm", "pcx", ...): the project's copy, and those left out
// of it (their licences do not let them travel) from ../shared/corpus when it is there;
// when it is not, says on standard output which were not tried and why.
std::vector<std::string> corpus_files(const std::string& format);

// The files of a folder, sorted by name.
std::vector<std::string> files_in(const std::string& folder);

// A path quoted for the shell.
std::string shell_quote(const std::string& text);

} // namespace testing_support
